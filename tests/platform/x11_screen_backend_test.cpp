// The X11 screen backend against a private Xvfb: pixels, damage, interrupts, the cursor, screen
// changes and a server that goes away.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/screen/screen_backend.h"
#include "platform/sync/waitable.h"
#include "platform/time/clock.h"
#include "private_x_server.h"
#include "x11_painter.h"

namespace vexa::platform {
namespace {

using Kind = DamageReport::Kind;
constexpr int64_t kMs = 10'000;  // 100-ns units per millisecond

class X11ScreenBackendTest : public ::testing::Test {
  protected:
    void SetUp() override { StartServer({}); }

    void StartServer(const std::vector<std::string>& args) {
        if (!testing::XvfbAvailable()) GTEST_SKIP() << "Xvfb is not installed";
        backend_.reset();
        painter_.reset();
        server_ = std::make_unique<testing::PrivateXServer>(args);
        ASSERT_TRUE(server_->Running());
        painter_ = std::make_unique<testing::Painter>(server_->Name());
        ASSERT_TRUE(painter_->Valid());
        painter_->Fill(0, 0, 1920, 1080, 0x000000);
        Result<std::unique_ptr<ScreenBackend>> opened = CreateX11ScreenBackend(server_->Name());
        ASSERT_TRUE(opened.ok()) << opened.error().message();
        backend_ = std::move(opened).value();
    }

    void OpenDamage() { ASSERT_TRUE(backend_->Open(CaptureMethod::kDamage).ok()); }

    std::vector<uint32_t> GrabPixels(const ScreenRect& crop, int stride_pixels) {
        std::vector<uint32_t> pixels(static_cast<size_t>(stride_pixels) * (crop.bottom - crop.top),
                                     0x5A5A5A5A);
        EXPECT_TRUE(backend_->Grab(crop, reinterpret_cast<uint8_t*>(pixels.data()), stride_pixels * 4));
        return pixels;
    }

    std::unique_ptr<testing::PrivateXServer> server_;
    std::unique_ptr<testing::Painter> painter_;
    std::unique_ptr<ScreenBackend> backend_;
    Event interrupt_;
};

// Every pixel of the crop is red inside the drawn rectangle and black elsewhere (BGRA, alpha
// ignored); the stride padding stays untouched.
void ExpectRedRectangle(const std::vector<uint32_t>& pixels, const ScreenRect& crop, int stride,
                        const ScreenRect& red) {
    int wrong = 0;
    for (int y = crop.top; y < crop.bottom; ++y) {
        const uint32_t* row = &pixels[static_cast<size_t>(y - crop.top) * stride];
        for (int x = crop.left; x < crop.right; ++x) {
            const bool inside = x >= red.left && x < red.right && y >= red.top && y < red.bottom;
            const uint32_t want = inside ? 0x00FF0000u : 0u;
            if ((row[x - crop.left] & 0x00FFFFFFu) != want && ++wrong < 5) {
                ADD_FAILURE() << "pixel " << x << "," << y << " = " << std::hex << row[x - crop.left];
            }
        }
        for (int pad = crop.right - crop.left; pad < stride; ++pad) EXPECT_EQ(row[pad], 0x5A5A5A5Au);
    }
    EXPECT_EQ(wrong, 0);
}

TEST_F(X11ScreenBackendTest, BothMethodsOpenOnTheWholeScreen) {
    for (CaptureMethod method : {CaptureMethod::kPolling, CaptureMethod::kDamage}) {
        ASSERT_TRUE(backend_->Open(method).ok());
        EXPECT_EQ(backend_->Width(), 1920);
        EXPECT_EQ(backend_->Height(), 1080);
        EXPECT_EQ(backend_->Order(), RowOrder::kTopDown);
        EXPECT_GE(backend_->CursorSize(), 32);
    }
    EXPECT_EQ(backend_->Open(CaptureMethod::kNone).code(), ErrorCode::kInvalidArgument);
}

TEST_F(X11ScreenBackendTest, ADisplayThatIsNotThereIsNamedInTheError) {
    const Error missing = CreateX11ScreenBackend(":4711").error();
    EXPECT_EQ(missing.code(), ErrorCode::kUnavailable);
    EXPECT_EQ(missing.message(), "cannot open X display :4711");
}

TEST_F(X11ScreenBackendTest, GrabCopiesExactlyTheCropWithBothMethods) {
    const ScreenRect red{100, 200, 150, 230};
    painter_->Fill(red.left, red.top, red.right - red.left, red.bottom - red.top, 0xFF0000);
    painter_->Fill(1900, 1070, 20, 10, 0xFF0000);  // touches the bottom-right corner
    for (CaptureMethod method : {CaptureMethod::kPolling, CaptureMethod::kDamage}) {
        ASSERT_TRUE(backend_->Open(method).ok());
        const ScreenRect crop{90, 190, 161, 241};
        ExpectRedRectangle(GrabPixels(crop, 75), crop, 75, red);
        const ScreenRect corner{1890, 1060, 1920, 1080};
        ExpectRedRectangle(GrabPixels(corner, 30), corner, 30, ScreenRect{1900, 1070, 1920, 1080});
        // A second, differently sized crop re-fits the shared image.
        ExpectRedRectangle(GrabPixels(crop, 80), crop, 80, red);
    }
}

// A grab the server writes straight into shared pixels equals the grab copied into ordinary memory,
// pixel for pixel, for the whole screen and for a crop, with both methods; the pixels outlive a new
// method and keep serving. Rows that are not packed are copied as before.
TEST_F(X11ScreenBackendTest, GrabsIntoSharedPixelsEqualCopiedGrabs) {
    // Every pixel differs from its neighbours: 64 bands of colour, each split by a column of others.
    for (int band = 0; band < 64; ++band) {
        painter_->Fill(band * 30, 0, 30, 1080, static_cast<uint32_t>(band * 0x030507 + 0x102030));
        painter_->Fill(band * 30 + 7, band * 15, 3, 200, static_cast<uint32_t>(0xFFFFFF - band * 0x010203));
    }
    const ScreenRect whole{0, 0, 1920, 1080};
    const ScreenRect crop{333, 101, 1201, 777};
    const auto bytes = [](const ScreenRect& r) {
        return static_cast<size_t>(r.right - r.left) * (r.bottom - r.top) * 4;
    };
    std::unique_ptr<SharedPixels> shared;
    for (CaptureMethod method : {CaptureMethod::kDamage, CaptureMethod::kPolling}) {
        ASSERT_TRUE(backend_->Open(method).ok());
        if (!shared) shared = backend_->CreateSharedPixels(bytes(whole));
        ASSERT_TRUE(shared);
        ASSERT_GE(shared->Size(), bytes(whole));
        for (const ScreenRect& r : {whole, crop}) {
            const int width = r.right - r.left;
            const std::vector<uint32_t> copied = GrabPixels(r, width);
            std::fill_n(shared->Data(), bytes(r), 0x5A);
            ASSERT_TRUE(backend_->Grab(r, shared->Data(), width * 4));
            EXPECT_EQ(std::memcmp(shared->Data(), copied.data(), bytes(r)), 0) << "crop at " << r.left;
        }
        // A stride wider than the crop: the shared memory is filled by a copy, padding untouched.
        std::fill_n(shared->Data(), bytes(whole), 0x5A);
        ASSERT_TRUE(backend_->Grab(crop, shared->Data(), 1000 * 4));
        const std::vector<uint32_t> padded = GrabPixels(crop, 1000);
        EXPECT_EQ(std::memcmp(shared->Data(), padded.data(), padded.size() * 4), 0);
    }
}

TEST_F(X11ScreenBackendTest, GrabRefusesCropsOffTheScreenOrTooWideForTheStride) {
    ASSERT_TRUE(backend_->Open(CaptureMethod::kPolling).ok());
    std::vector<uint8_t> buffer(1921 * 4 * 2);
    EXPECT_FALSE(backend_->Grab(ScreenRect{1900, 0, 1921, 2}, buffer.data(), 1921 * 4));
    EXPECT_FALSE(backend_->Grab(ScreenRect{-1, 0, 10, 2}, buffer.data(), 1921 * 4));
    EXPECT_FALSE(backend_->Grab(ScreenRect{10, 10, 10, 12}, buffer.data(), 1921 * 4));
    EXPECT_FALSE(backend_->Grab(ScreenRect{0, 0, 100, 2}, buffer.data(), 99 * 4));
    EXPECT_TRUE(backend_->Grab(ScreenRect{0, 0, 1920, 2}, buffer.data(), 1920 * 4));
    backend_->Close();
    EXPECT_FALSE(backend_->Grab(ScreenRect{0, 0, 10, 2}, buffer.data(), 1921 * 4));
}

TEST_F(X11ScreenBackendTest, WithoutSharedMemoryOnlyPollingWorksAndStillCopiesRightly) {
    StartServer({"-extension", "MIT-SHM"});
    const Error damage = backend_->Open(CaptureMethod::kDamage);
    EXPECT_EQ(damage.code(), ErrorCode::kUnsupported);
    EXPECT_EQ(damage.message(), "the X server lacks MIT-SHM");
    ASSERT_TRUE(backend_->Open(CaptureMethod::kPolling).ok());
    const ScreenRect red{300, 10, 333, 77};
    painter_->Fill(red.left, red.top, red.right - red.left, red.bottom - red.top, 0xFF0000);
    const ScreenRect crop{290, 0, 350, 90};
    ExpectRedRectangle(GrabPixels(crop, 64), crop, 64, red);
}

TEST_F(X11ScreenBackendTest, DamageReportsChangesMadeAfterOpenAndNothingElse) {
    painter_->Fill(10, 10, 50, 50, 0x0000FF);  // before Open: the caller's first grab shows it
    ASSERT_TRUE(backend_->Open(CaptureMethod::kDamage).ok());
    EXPECT_EQ(backend_->WaitForDamage(150 * kMs, interrupt_).kind, Kind::kTimeout);

    const ScreenRect changed{500, 600, 540, 630};
    const int64_t before_draw = PerformanceCounter();
    painter_->Fill(changed.left, changed.top, 40, 30, 0x00FF00);
    const DamageReport report = backend_->WaitForDamage(2000 * kMs, interrupt_);
    ASSERT_EQ(report.kind, Kind::kUpdate);
    EXPECT_GE(report.present_time, before_draw);
    EXPECT_LE(report.present_time, PerformanceCounter());
    bool meets = false;
    for (const ScreenRect& r : report.dirty) {
        meets = meets || r.Intersects(changed);
        EXPECT_FALSE(r.Intersects(ScreenRect{0, 0, 400, 500})) << "damage far from the change";
    }
    EXPECT_TRUE(meets);
    // The change was reported once; the screen is still again.
    EXPECT_EQ(backend_->WaitForDamage(150 * kMs, interrupt_).kind, Kind::kTimeout);
}

TEST_F(X11ScreenBackendTest, InterruptCutsTheWaitShortAndIsConsumed) {
    OpenDamage();
    std::thread signaller([this] {
        Sleep100ns(50 * kMs);
        interrupt_.Set();
    });
    const DamageReport report = backend_->WaitForDamage(20'000 * kMs, interrupt_);
    signaller.join();
    EXPECT_EQ(report.kind, Kind::kInterrupted);
    EXPECT_FALSE(interrupt_.TryConsume());

    // A semaphore released twice interrupts twice, then the wait times out.
    Semaphore gate(2);
    EXPECT_EQ(backend_->WaitForDamage(20'000 * kMs, gate).kind, Kind::kInterrupted);
    EXPECT_EQ(backend_->WaitForDamage(20'000 * kMs, gate).kind, Kind::kInterrupted);
    EXPECT_EQ(backend_->WaitForDamage(50 * kMs, gate).kind, Kind::kTimeout);
}

TEST_F(X11ScreenBackendTest, PointerMovesAndShapeChangesAreMouseUpdates) {
    OpenDamage();
    painter_->MovePointer(700, 400);
    DamageReport moved = backend_->WaitForDamage(2000 * kMs, interrupt_);
    ASSERT_EQ(moved.kind, Kind::kUpdate);
    EXPECT_NE(moved.mouse_update_time, 0);
    EXPECT_EQ(moved.present_time, 0) << "a pointer move alone is no screen update";
    EXPECT_TRUE(moved.dirty.empty());

    CursorImage before;
    ASSERT_TRUE(backend_->ReadCursor(before));
    painter_->SetHalfWhiteCursor();
    // Skip pure pointer reports until the shape change arrives.
    DamageReport shaped;
    for (int i = 0; i < 10 && shaped.mouse_update_time == 0; ++i)
        shaped = backend_->WaitForDamage(500 * kMs, interrupt_);
    EXPECT_NE(shaped.mouse_update_time, 0);
    CursorImage after;
    ASSERT_TRUE(backend_->ReadCursor(after));
    EXPECT_NE(after.handle, before.handle);
}

// Without the cursor recorded the damage method does no pointer work: moves and shape changes are
// no reports, and the wait ends only at its time-out; a screen change still comes through.
TEST_F(X11ScreenBackendTest, WithoutTheCursorPointerMovesAndShapeChangesAreNotReported) {
    backend_->FollowPointer(false);
    OpenDamage();
    painter_->MovePointer(300, 200);
    painter_->SetHalfWhiteCursor();
    painter_->MovePointer(310, 220);
    const DamageReport quiet = backend_->WaitForDamage(300 * kMs, interrupt_);
    EXPECT_EQ(quiet.kind, Kind::kTimeout);
    EXPECT_EQ(quiet.mouse_update_time, 0);
    painter_->Fill(10, 10, 20, 20, 0x00FF00);
    const DamageReport painted = backend_->WaitForDamage(2000 * kMs, interrupt_);
    ASSERT_EQ(painted.kind, Kind::kUpdate);
    EXPECT_EQ(painted.mouse_update_time, 0);
    EXPECT_FALSE(painted.dirty.empty());
}

TEST_F(X11ScreenBackendTest, CursorImageLandsWithItsHotSpotOnThePointer) {
    ASSERT_TRUE(backend_->Open(CaptureMethod::kPolling).ok());
    painter_->SetHalfWhiteCursor();
    painter_->MovePointer(640, 480);
    CursorImage cursor;
    ASSERT_TRUE(backend_->ReadCursor(cursor));
    EXPECT_TRUE(cursor.visible);
    EXPECT_EQ(cursor.x, 640 - 3);
    EXPECT_EQ(cursor.y, 480 - 5);
    ASSERT_EQ(cursor.width, 16);
    ASSERT_EQ(cursor.height, 16);
    ASSERT_EQ(cursor.argb.size(), 256u);
    EXPECT_EQ(cursor.argb[0], 0xFFFFFFFFu);           // top half: white, opaque
    EXPECT_EQ(cursor.argb[8 * 16 + 7], 0xFF000000u);  // bottom half: black, opaque
    EXPECT_LE(cursor.width, backend_->CursorSize());

    painter_->MovePointer(0, 0);  // the image now starts left of and above the screen
    ASSERT_TRUE(backend_->ReadCursor(cursor));
    EXPECT_EQ(cursor.x, -3);
    EXPECT_EQ(cursor.y, -5);
}

TEST_F(X11ScreenBackendTest, CursorSizeFollowsTheConfiguredSizeButNeverShrinksBelow32) {
    setenv("XCURSOR_SIZE", "48", 1);
    auto large = CreateX11ScreenBackend(server_->Name());
    setenv("XCURSOR_SIZE", "16", 1);
    auto small = CreateX11ScreenBackend(server_->Name());
    unsetenv("XCURSOR_SIZE");
    ASSERT_TRUE(large.ok() && small.ok());
    EXPECT_EQ((*large)->CursorSize(), 48);
    EXPECT_EQ((*small)->CursorSize(), 32);
}

// Runs xrandr with the arguments on the private server; true when it succeeded.
bool Xrandr(const char* display, const std::string& args) {
    return std::system(("DISPLAY=" + std::string(display) + " xrandr " + args).c_str()) == 0;
}

// The server's screen shrinks to 1280x720 under the polling method and grows back to 1920x1080 under
// the damage method: each method reports the change, and a new Open sees the new size.
TEST_F(X11ScreenBackendTest, BothMethodsReportScreenChangesAndReopenSeesTheNewSize) {
    ASSERT_TRUE(backend_->Open(CaptureMethod::kPolling).ok());
    EXPECT_FALSE(backend_->ScreenChanged());
    ASSERT_TRUE(Xrandr(server_->Name(), "--newmode 1280x720 74.25 1280 1390 1430 1650 720 725 730 750"));
    ASSERT_TRUE(Xrandr(server_->Name(), "--addmode screen 1280x720"));
    ASSERT_TRUE(Xrandr(server_->Name(), "--output screen --mode 1280x720 --fb 1280x720"));
    bool changed = false;
    for (int i = 0; i < 200 && !changed; ++i) {
        changed = backend_->ScreenChanged();
        if (!changed) Sleep100ns(10 * kMs);
    }
    EXPECT_TRUE(changed);
    ASSERT_TRUE(backend_->Open(CaptureMethod::kPolling).ok());
    EXPECT_EQ(backend_->Width(), 1280);
    EXPECT_EQ(backend_->Height(), 720);
    EXPECT_FALSE(backend_->ScreenChanged()) << "a change before Open is not reported after it";
    EXPECT_FALSE(backend_->ScreenChanged());

    OpenDamage();
    ASSERT_TRUE(Xrandr(server_->Name(), "--output screen --mode 1920x1080 --fb 1920x1080"));
    DamageReport report;
    for (int i = 0; i < 10 && report.kind != Kind::kScreenChanged; ++i)
        report = backend_->WaitForDamage(500 * kMs, interrupt_);
    EXPECT_EQ(report.kind, Kind::kScreenChanged);
    EXPECT_FALSE(backend_->ScreenChanged()) << "the damage method reports changes itself";
    ASSERT_TRUE(backend_->Open(CaptureMethod::kDamage).ok());
    EXPECT_EQ(backend_->Width(), 1920);
    EXPECT_EQ(backend_->Height(), 1080);
}

TEST_F(X11ScreenBackendTest, AForcedMethodIsTheOnlyOneOffered) {
    auto polling = CreateX11ScreenBackend(server_->Name(), MethodChoice::kPolling);
    auto damage = CreateX11ScreenBackend(server_->Name(), MethodChoice::kDamage);
    ASSERT_TRUE(polling.ok() && damage.ok());
    EXPECT_EQ((*polling)->Open(CaptureMethod::kDamage).code(), ErrorCode::kUnsupported);
    EXPECT_TRUE((*polling)->Open(CaptureMethod::kPolling).ok());
    EXPECT_EQ((*damage)->Open(CaptureMethod::kPolling).code(), ErrorCode::kUnsupported);
    EXPECT_TRUE((*damage)->Open(CaptureMethod::kDamage).ok());
}

TEST_F(X11ScreenBackendTest, ServerGoingAwayFailsEveryCallWithoutEndingTheProcess) {
    OpenDamage();
    painter_.reset();  // the painter's connection has Xlib's default handlers, which end the process
    server_->Kill();
    EXPECT_EQ(backend_->WaitForDamage(2000 * kMs, interrupt_).kind, Kind::kFailed);
    std::vector<uint8_t> buffer(16 * 16 * 4);
    EXPECT_FALSE(backend_->Grab(ScreenRect{0, 0, 16, 16}, buffer.data(), 64));
    CursorImage cursor;
    EXPECT_FALSE(backend_->ReadCursor(cursor));
    EXPECT_FALSE(backend_->Open(CaptureMethod::kPolling).ok());
    backend_.reset();
}

}  // namespace
}  // namespace vexa::platform
