// The portal screen backend against a private portal setting (tests/support/portal_test_bed.h): a
// fake ScreenCast portal that grants a real PipeWire node, fed by a test source. Pixels, crop,
// damage, cursor metadata, size changes, refusals, the restore token and a PipeWire daemon that dies.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/screen/portal_screencast.h"
#include "platform/screen/screen_backend.h"
#include "platform/sync/waitable.h"
#include "tests/support/portal_test_bed.h"
#include "tests/support/wait_until.h"

namespace vexa::platform {
namespace {

using Kind = DamageReport::Kind;
using test::PortalTestBed;
using test::ProducedCursor;
using test::ProducedPicture;
constexpr int64_t kSecond = 10'000'000;  // 100-ns units

// The test source's pixel at (x, y) of picture number n: an independent oracle for what is grabbed.
uint32_t Pattern(int n, int x, int y) {
    return 0xFF000000u | static_cast<uint32_t>((x * 7 + n) & 0xFF) << 16 |
           static_cast<uint32_t>((y * 3 + n) & 0xFF) << 8 | static_cast<uint32_t>((x ^ y) & 0xFF);
}

ProducedPicture PatternPicture(int n) {
    ProducedPicture p;
    p.paint = [n](uint8_t* px, int stride, int w, int h) {
        for (int y = 0; y < h; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(px + static_cast<ptrdiff_t>(y) * stride);
            for (int x = 0; x < w; ++x) row[x] = Pattern(n, x, y);
        }
    };
    return p;
}

PortalTestBed::Options Sized(int width, int height) {
    PortalTestBed::Options options;
    options.width = width;
    options.height = height;
    return options;
}

ProducedCursor CursorAt(int x, int y, int hot_x = 0, int hot_y = 0, int size = 0, uint32_t bgra = 0) {
    ProducedCursor c;
    c.x = x, c.y = y, c.hot_x = hot_x, c.hot_y = hot_y, c.size = size, c.bgra = bgra;
    return c;
}

class MemoryTokens final : public ScreenCastTokenStore {
  public:
    std::string Load() override { return loaded; }
    void Save(const std::string& token) override { saved.push_back(token); }
    std::string loaded;
    std::vector<std::string> saved;
};

class PortalScreenBackendTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (const std::string missing = PortalTestBed::Missing(); !missing.empty()) GTEST_SKIP() << missing;
    }

    void Start(PortalTestBed::Options options = {}) {
        bed_ = std::make_unique<PortalTestBed>(options);
        ASSERT_TRUE(bed_->Ready()) << bed_->Error();
    }

    // Sends the picture once the stream is linked, as a desktop does, and again every 100 ms until
    // the backend has opened (a picture sent while the link is still being set up may be lost).
    void SendWhenLinked(const ProducedPicture& picture) {
        opened_ = false;
        sender_ = std::thread([this, picture] {
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            if (!bed_->Producer().WaitStreaming(std::chrono::seconds(10))) return;
            while (!opened_ && std::chrono::steady_clock::now() < end) {
                (void)bed_->Producer().Send(picture);
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        });
    }
    void StopSending() {
        opened_ = true;
        sender_.join();
    }

    // Sends until a buffer is free (the backend holds one picture and gives the others back).
    void Send(const ProducedPicture& picture) {
        EXPECT_TRUE(test::WaitUntil([&] { return bed_->Producer().Send(picture); })) << "no buffer came free";
    }

    void OpenBackend(bool cursor = true) {
        SendWhenLinked(PatternPicture(0));
        Result<std::unique_ptr<ScreenBackend>> created = CreatePortalScreenBackend({cursor, &tokens_});
        ASSERT_TRUE(created.ok()) << created.error().message();
        backend_ = std::move(created).value();
        const Error opened = backend_->Open(CaptureMethod::kDamage);
        // Open needs only the format; the first picture may come after it.
        const bool pictured = opened.ok() && test::WaitUntil([&] { return backend_->PictureReady(); });
        StopSending();
        ASSERT_TRUE(opened.ok()) << opened.message();
        ASSERT_TRUE(pictured) << "the first picture never came";
        while (WaitFor(0).kind == Kind::kUpdate) {  // the copies the sender sent meanwhile
        }
    }

    std::vector<uint32_t> Grab(const ScreenRect& crop) {
        std::vector<uint32_t> pixels(static_cast<size_t>(crop.right - crop.left) * (crop.bottom - crop.top));
        EXPECT_TRUE(
            backend_->Grab(crop, reinterpret_cast<uint8_t*>(pixels.data()), (crop.right - crop.left) * 4));
        return pixels;
    }

    // Whether every pixel of the grab equals picture n's (BGRx: the unused byte is not compared).
    static bool MatchesPattern(const std::vector<uint32_t>& pixels, const ScreenRect& crop, int n) {
        const int w = crop.right - crop.left;
        for (size_t i = 0; i < pixels.size(); ++i) {
            const int x = crop.left + static_cast<int>(i) % w;
            const int y = crop.top + static_cast<int>(i) / w;
            if ((pixels[i] & 0xFFFFFF) != (Pattern(n, x, y) & 0xFFFFFF)) return false;
        }
        return true;
    }

    DamageReport WaitFor(int64_t timeout = 5 * kSecond) {
        return backend_->WaitForDamage(timeout, interrupt_);
    }

    void TearDown() override {
        if (sender_.joinable()) StopSending();
        backend_.reset();
        bed_.reset();
    }

    std::unique_ptr<PortalTestBed> bed_;
    std::unique_ptr<ScreenBackend> backend_;
    std::thread sender_;
    std::atomic<bool> opened_{false};
    MemoryTokens tokens_;
    Event interrupt_;
};

TEST_F(PortalScreenBackendTest, TheGrantedMonitorIsGrabbedWholeAndCroppedWithItsDamage) {
    ASSERT_NO_FATAL_FAILURE(Start(Sized(320, 240)));
    ASSERT_NO_FATAL_FAILURE(OpenBackend());
    EXPECT_EQ(backend_->Width(), 320);
    EXPECT_EQ(backend_->Height(), 240);
    EXPECT_EQ(backend_->Order(), RowOrder::kTopDown);
    EXPECT_TRUE(MatchesPattern(Grab({0, 0, 320, 240}), {0, 0, 320, 240}, 0));
    EXPECT_FALSE(backend_->Grab({0, 0, 321, 240}, nullptr, 321 * 4)) << "a crop beyond the screen";

    ProducedPicture second = PatternPicture(1);
    second.damage = {{50, 60, 10, 10}, {300, 0, 20, 5}};
    Send(second);
    DamageReport report = WaitFor();
    ASSERT_EQ(report.kind, Kind::kUpdate);
    EXPECT_NE(report.present_time, 0);
    ASSERT_EQ(report.dirty.size(), 2u);
    EXPECT_EQ(report.dirty[0].left, 50);
    EXPECT_EQ(report.dirty[0].bottom, 70);
    EXPECT_EQ(report.dirty[1].right, 320);
    const ScreenRect crop{10, 20, 110, 70};
    EXPECT_TRUE(MatchesPattern(Grab(crop), crop, 1));

    // Without damage metadata the whole picture changed.
    Send(PatternPicture(2));
    report = WaitFor();
    ASSERT_EQ(report.kind, Kind::kUpdate);
    ASSERT_EQ(report.dirty.size(), 1u);
    EXPECT_EQ(report.dirty[0].right - report.dirty[0].left, 320);
    EXPECT_EQ(report.dirty[0].bottom - report.dirty[0].top, 240);

    // A still screen sends nothing: the wait runs out, or ends at the interrupt.
    EXPECT_EQ(WaitFor(kSecond / 10).kind, Kind::kTimeout);
    interrupt_.Set();
    EXPECT_EQ(WaitFor().kind, Kind::kInterrupted);
    EXPECT_EQ(backend_->Open(CaptureMethod::kPolling).code(), ErrorCode::kUnsupported);
}

TEST_F(PortalScreenBackendTest, CursorMetadataMovesAndHidesThePointerOverAStillPicture) {
    ASSERT_NO_FATAL_FAILURE(Start(Sized(320, 240)));
    ASSERT_NO_FATAL_FAILURE(OpenBackend());
    ProducedPicture with_cursor = PatternPicture(1);
    with_cursor.cursor = CursorAt(100, 100, 2, 3, 16, 0xFFFF0000);
    Send(with_cursor);
    DamageReport report = WaitFor();
    ASSERT_EQ(report.kind, Kind::kUpdate);
    EXPECT_NE(report.mouse_update_time, 0);
    CursorImage cursor;
    ASSERT_TRUE(backend_->ReadCursor(cursor));
    EXPECT_TRUE(cursor.visible);
    EXPECT_EQ(cursor.x, 98);
    EXPECT_EQ(cursor.y, 97);
    ASSERT_EQ(cursor.width, 16);
    ASSERT_EQ(cursor.argb.size(), 256u);
    EXPECT_EQ(cursor.argb[0], 0xFFFF0000u);
    const uint64_t shape = cursor.handle;

    // A move alone: an empty buffer with the metadata; the picture stays.
    ProducedPicture move;
    move.cursor_only = true;
    move.cursor = CursorAt(200, 150);
    Send(move);
    report = WaitFor();
    ASSERT_EQ(report.kind, Kind::kUpdate);
    EXPECT_EQ(report.present_time, 0);
    EXPECT_NE(report.mouse_update_time, 0);
    ASSERT_TRUE(backend_->ReadCursor(cursor));
    EXPECT_EQ(cursor.x, 198);
    EXPECT_EQ(cursor.y, 147);
    EXPECT_EQ(cursor.handle, shape);
    EXPECT_TRUE(MatchesPattern(Grab({0, 0, 320, 240}), {0, 0, 320, 240}, 1));

    move.cursor->invisible = true;
    Send(move);
    ASSERT_EQ(WaitFor().kind, Kind::kUpdate);
    ASSERT_TRUE(backend_->ReadCursor(cursor));
    EXPECT_FALSE(cursor.visible);
}

// GNOME and KDE send the pointer of a scaled output in stream pixels with a premultiplied bitmap at
// the output's scale, its hot spot scaled alike, the bitmap only when the shape changes, and the id 0
// while the pointer is hidden or over another monitor.
TEST_F(PortalScreenBackendTest, ScaledCursorMetadataIsTakenInStreamPixelsAndAnInvalidIdHidesThePointer) {
    PortalTestBed::Options scaled = Sized(640, 360);
    scaled.desktop_width = 320;
    scaled.desktop_height = 180;
    ASSERT_NO_FATAL_FAILURE(Start(scaled));
    ASSERT_NO_FATAL_FAILURE(OpenBackend());
    ProducedPicture with_cursor = PatternPicture(1);
    with_cursor.cursor = CursorAt(200, 120, 8, 12, 48);
    with_cursor.cursor->pixel = [](int, int y) { return y < 36 ? 0xFFFFFFFFu : 0x80808080u; };
    Send(with_cursor);
    ASSERT_EQ(WaitFor().kind, Kind::kUpdate);
    CursorImage cursor;
    ASSERT_TRUE(backend_->ReadCursor(cursor));
    EXPECT_TRUE(cursor.visible);
    EXPECT_EQ(cursor.x, 192);
    EXPECT_EQ(cursor.y, 108);
    ASSERT_EQ(cursor.width, 48);
    ASSERT_EQ(cursor.height, 48);
    EXPECT_EQ(cursor.argb[0], 0xFFFFFFFFu);
    EXPECT_EQ(cursor.argb[47 * 48 + 47], 0x80808080u) << "half-transparent white, premultiplied once";
    const uint64_t shape = cursor.handle;

    ProducedPicture move;
    move.cursor_only = true;
    move.cursor = CursorAt(0, 0);
    move.cursor->absent = true;
    Send(move);
    ASSERT_EQ(WaitFor().kind, Kind::kUpdate);
    ASSERT_TRUE(backend_->ReadCursor(cursor));
    EXPECT_FALSE(cursor.visible) << "an invalid id: no pointer over the stream";

    move.cursor = CursorAt(400, 100);  // back, with a position alone and the hot spot 0
    Send(move);
    ASSERT_EQ(WaitFor().kind, Kind::kUpdate);
    ASSERT_TRUE(backend_->ReadCursor(cursor));
    EXPECT_TRUE(cursor.visible);
    EXPECT_EQ(cursor.x, 392) << "the shape's hot spot still holds";
    EXPECT_EQ(cursor.y, 88);
    EXPECT_EQ(cursor.handle, shape);

    // The cursor size follows the output's scale (a 48-pixel pointer's 96x96 bitmap is whole), and a
    // bitmap beyond it is cut to it in place: neither moved nor shrunk.
    const int side = backend_->CursorSize();
    EXPECT_GE(side, 96);
    ASSERT_LT(side, 160);
    const auto pixel = [](int x, int y) {
        return 0xFF000000u | static_cast<uint32_t>(x) << 8 | static_cast<uint32_t>(y);
    };
    move.cursor = CursorAt(300, 200, 30, 20, 160);
    move.cursor->pixel = pixel;
    Send(move);
    ASSERT_EQ(WaitFor().kind, Kind::kUpdate);
    ASSERT_TRUE(backend_->ReadCursor(cursor));
    EXPECT_EQ(cursor.x, 270);
    EXPECT_EQ(cursor.y, 180);
    ASSERT_EQ(cursor.width, side);
    ASSERT_EQ(cursor.height, side);
    int wrong = 0;
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) wrong += cursor.argb[static_cast<size_t>(y * side + x)] != pixel(x, y);
    }
    EXPECT_EQ(wrong, 0);
}

// GNOME's mutter reserves room for a 384x384 pointer in each buffer's cursor metadata and sends
// none to a consumer that takes less; its pointer must still come through, at its place.
TEST_F(PortalScreenBackendTest, ADesktopThatReservesRoomForLargePointersSendsItsCursorMetadata) {
    PortalTestBed::Options options = Sized(320, 240);
    options.cursor_room = 384;
    ASSERT_NO_FATAL_FAILURE(Start(options));
    ASSERT_NO_FATAL_FAILURE(OpenBackend());
    ProducedPicture with_cursor = PatternPicture(1);
    with_cursor.cursor = CursorAt(50, 60, 4, 4, 24, 0xFF00FF00);
    Send(with_cursor);
    ASSERT_EQ(WaitFor().kind, Kind::kUpdate);
    CursorImage cursor;
    ASSERT_TRUE(backend_->ReadCursor(cursor)) << "no cursor metadata came";
    EXPECT_TRUE(cursor.visible);
    EXPECT_EQ(cursor.x, 46);
    EXPECT_EQ(cursor.y, 56);
    ASSERT_EQ(cursor.width, 24);
    EXPECT_EQ(cursor.argb[24 * 24 - 1], 0xFF00FF00u);
}

TEST_F(PortalScreenBackendTest, ANewStreamSizeIsAScreenChangeAndOpenReadsIt) {
    ASSERT_NO_FATAL_FAILURE(Start(Sized(320, 240)));
    ASSERT_NO_FATAL_FAILURE(OpenBackend());
    bed_->Producer().Resize(400, 300);
    DamageReport report;
    for (int i = 0; i < 50 && report.kind != Kind::kScreenChanged; ++i) {
        (void)bed_->Producer().Send(PatternPicture(3));
        report = WaitFor(kSecond / 10);
    }
    ASSERT_EQ(report.kind, Kind::kScreenChanged);
    SendWhenLinked(PatternPicture(4));
    const Error reopened = backend_->Open(CaptureMethod::kDamage);
    const bool pictured = reopened.ok() && test::WaitUntil([&] { return backend_->PictureReady(); });
    StopSending();
    ASSERT_TRUE(reopened.ok()) << reopened.message();
    ASSERT_TRUE(pictured);
    EXPECT_EQ(backend_->Width(), 400);
    EXPECT_EQ(backend_->Height(), 300);
    const ScreenRect crop{300, 200, 400, 300};
    EXPECT_TRUE(MatchesPattern(Grab(crop), crop, 4));
}

// A desktop that sends a picture only on a change (the wlroots portal) may send none for a long
// time: Open succeeds on the agreed format alone, nothing can be grabbed yet, and the first picture,
// however late, is the first update.
TEST_F(PortalScreenBackendTest, AStillStreamOpensWithoutAPictureAndItsFirstPictureIsAnUpdate) {
    ASSERT_NO_FATAL_FAILURE(Start(Sized(320, 240)));
    Result<std::unique_ptr<ScreenBackend>> created = CreatePortalScreenBackend({true, &tokens_});
    ASSERT_TRUE(created.ok()) << created.error().message();
    backend_ = std::move(created).value();
    const Error opened = backend_->Open(CaptureMethod::kDamage);
    ASSERT_TRUE(opened.ok()) << opened.message();
    EXPECT_EQ(backend_->Width(), 320);
    EXPECT_FALSE(backend_->PictureReady());
    std::vector<uint32_t> pixels(16);
    EXPECT_FALSE(backend_->Grab({0, 0, 4, 4}, reinterpret_cast<uint8_t*>(pixels.data()), 16));
    EXPECT_EQ(WaitFor(kSecond / 5).kind, Kind::kTimeout);

    ASSERT_TRUE(bed_->Producer().WaitStreaming(std::chrono::seconds(20)));
    Send(PatternPicture(5));
    DamageReport report;
    ASSERT_TRUE(test::WaitUntil([&] {
        report = WaitFor(kSecond / 10);
        return report.kind == Kind::kUpdate;
    }));
    EXPECT_NE(report.present_time, 0);
    ASSERT_TRUE(backend_->PictureReady());
    EXPECT_TRUE(MatchesPattern(Grab({0, 0, 320, 240}), {0, 0, 320, 240}, 5));
}

// On a scaled output the portal announces the monitor in desktop (logical) pixels and the stream
// has more: desktop rectangles become stream rectangles, rounded outwards.
TEST_F(PortalScreenBackendTest, DesktopCoordinatesOfAScaledOutputBecomeStreamPixels) {
    PortalTestBed::Options scaled = Sized(640, 360);
    scaled.desktop_width = 320;  // the output's scale is 2
    scaled.desktop_height = 180;
    ASSERT_NO_FATAL_FAILURE(Start(scaled));
    ASSERT_NO_FATAL_FAILURE(OpenBackend());
    const auto same = [](const ScreenRect& a, const ScreenRect& b) {
        return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
    };
    EXPECT_TRUE(same(backend_->FromDesktop({0, 0, 320, 180}), {0, 0, 640, 360}));
    EXPECT_TRUE(same(backend_->FromDesktop({160, 90, 320, 180}), {320, 180, 640, 360}));
    EXPECT_TRUE(same(backend_->FromDesktop({3, 5, 7, 9}), {6, 10, 14, 18}));

    // A scale of 1.5 (a 480x270 desktop): edges between stream pixels round outwards.
    backend_.reset();
    bed_.reset();
    PortalTestBed::Options odd = Sized(640, 360);
    odd.desktop_width = 480;
    odd.desktop_height = 270;
    ASSERT_NO_FATAL_FAILURE(Start(odd));
    ASSERT_NO_FATAL_FAILURE(OpenBackend());
    const ScreenRect r = backend_->FromDesktop({1, 1, 2, 2});  // stream 1.33..2.67
    EXPECT_TRUE(same(r, {1, 1, 3, 3})) << r.left << "," << r.top << "," << r.right << "," << r.bottom;
}

TEST_F(PortalScreenBackendTest, ALostPipeWireDaemonFailsTheWaitAndOpenSaysWhy) {
    ASSERT_NO_FATAL_FAILURE(Start(Sized(320, 240)));
    ASSERT_NO_FATAL_FAILURE(OpenBackend());
    bed_->KillPipeWire();
    DamageReport report = WaitFor();
    for (int i = 0; i < 10 && report.kind == Kind::kUpdate; ++i) report = WaitFor();  // sent before
    ASSERT_EQ(report.kind, Kind::kFailed);
    const Error reopened = backend_->Open(CaptureMethod::kDamage);
    EXPECT_EQ(reopened.code(), ErrorCode::kUnavailable);
    EXPECT_NE(reopened.message().find("PipeWire"), std::string::npos) << reopened.message();
    EXPECT_FALSE(backend_->Grab({0, 0, 10, 10}, nullptr, 40));
}

TEST_F(PortalScreenBackendTest, TheRestoreTokenIsPresentedAndTheNewOneKept) {
    ASSERT_NO_FATAL_FAILURE(Start(Sized(320, 240)));
    tokens_.loaded = "token-from-before";
    ASSERT_NO_FATAL_FAILURE(OpenBackend());
    EXPECT_EQ(tokens_.saved, std::vector<std::string>{"token-1"});
    const std::vector<std::string> calls = bed_->Calls();
    std::string select;
    for (const std::string& call : calls)
        if (call.find("\"SelectSources\"") != std::string::npos) select = call;
    EXPECT_NE(select.find("\"restore_token\": \"token-from-before\""), std::string::npos) << select;
    EXPECT_NE(select.find("\"persist_mode\": 2"), std::string::npos) << select;
    EXPECT_NE(select.find("\"cursor_mode\": 4"), std::string::npos) << select;
    EXPECT_NE(select.find("\"types\": 1"), std::string::npos) << select;
}

TEST_F(PortalScreenBackendTest, RefusalsAndAMissingPortalNameWhatFailed) {
    struct Case {
        std::vector<std::string> portal_args;
        bool screencast;
        ErrorCode code;
        const char* words;
    };
    const Case cases[] = {
        {{"--refuse"}, true, ErrorCode::kCancelled, "the user declined sharing the screen"},
        {{"--deny"}, true, ErrorCode::kPermission, "the desktop refused sharing the screen"},
        {{}, false, ErrorCode::kUnavailable, "no org.freedesktop.portal.ScreenCast portal"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.words);
        bed_.reset();
        PortalTestBed::Options options;
        options.producer = c.screencast;
        options.portal_args = c.portal_args;
        ASSERT_NO_FATAL_FAILURE(Start(options));
        tokens_.saved.clear();
        Result<std::unique_ptr<ScreenBackend>> created = CreatePortalScreenBackend({true, &tokens_});
        ASSERT_FALSE(created.ok());
        EXPECT_EQ(created.error().code(), c.code);
        EXPECT_NE(created.error().message().find(c.words), std::string::npos) << created.error().message();
        EXPECT_EQ(created.error().message().rfind("cannot record the screen: ", 0), 0u);
        EXPECT_TRUE(tokens_.saved.empty());
    }
}

TEST(PortalCursorMode, MetadataIsPreferredAndAnUnwantedPointerHiddenWherePossible) {
    constexpr uint32_t kHidden = 1, kEmbedded = 2, kMetadata = 4;
    struct Case {
        uint32_t offered;
        bool cursor;
        PortalCursorMode expected;
    };
    const Case cases[] = {
        {kHidden | kEmbedded | kMetadata, true, PortalCursorMode::kMetadata},
        {kHidden | kEmbedded, true, PortalCursorMode::kEmbedded},
        {kHidden | kEmbedded | kMetadata, false, PortalCursorMode::kHidden},
        {kEmbedded, false, PortalCursorMode::kEmbedded},  // cannot be hidden: drawn in
        {kMetadata, false, PortalCursorMode::kMetadata},  // left out when the source draws
        {0, true, PortalCursorMode::kHidden},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ChooseCursorMode(c.offered, c.cursor), c.expected) << c.offered << " " << c.cursor;
}

}  // namespace
}  // namespace vexa::platform
