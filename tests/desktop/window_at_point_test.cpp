// The window under a point on the test display (no window manager runs there): stacking order,
// the excluded overlay, child windows, borders, unmapped and input-only windows, and clients
// inside frames that carry the window manager's frame extents.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

#include "platform/desktop/window_at_point.h"
#include "test_display.h"

namespace vexa::platform {
// Found by argument-dependent lookup, so they live beside the type.
static bool operator==(const ScreenRect& a, const ScreenRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
[[maybe_unused]] static void PrintTo(const ScreenRect& r, std::ostream* out) {
    *out << "{" << r.left << "," << r.top << "," << r.right << "," << r.bottom << "}";
}
}  // namespace vexa::platform

namespace vexa::desktop {
namespace {

using platform::ScreenRect;

class WindowAtPointTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs the test display (tools/with-test-env.sh)";
        ASSERT_TRUE(x_.Valid());
    }

    std::optional<WindowHit> At(int x, int y, uint32_t exclude = 0) {
        x_.Sync();
        Result<std::optional<WindowHit>> hit = WindowAtPoint(x, y, exclude);
        EXPECT_TRUE(hit.ok()) << hit.error().message();
        return hit.ok() ? *hit : std::nullopt;
    }

    testing::TestDisplay x_;
};

TEST_F(WindowAtPointTest, TheUpperOfTwoOverlappingWindowsWinsAndTheOverlayIsSeenThrough) {
    const Window lower = x_.Create(x_.Root(), {.x = 100, .y = 100, .width = 400, .height = 300});
    const Window upper = x_.Create(x_.Root(), {.x = 300, .y = 200, .width = 400, .height = 300, .border = 2});
    const Window overlay = x_.Create(x_.Root(), {.x = 0, .y = 0, .width = 1920, .height = 1080});

    std::optional<WindowHit> hit = At(350, 250, overlay);
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit->window, upper);
    EXPECT_EQ(hit->frame, (ScreenRect{300, 200, 704, 504}));  // the border belongs to the window
    EXPECT_EQ(hit->child_window, 0u);
    EXPECT_FALSE(hit->child);
    EXPECT_EQ(At(703, 503, overlay)->window, upper);  // its last border pixel
    EXPECT_EQ(At(150, 150, overlay)->window, lower);
    EXPECT_EQ(At(350, 250, upper)->window, overlay);

    XRaiseWindow(x_.get(), lower);
    EXPECT_EQ(At(350, 250, overlay)->window, lower);
    EXPECT_FALSE(At(1800, 1000, overlay));  // the bare root
    XUnmapWindow(x_.get(), overlay);
    EXPECT_FALSE(At(1800, 1000));
}

TEST_F(WindowAtPointTest, TheDeepestVisibleChildIsReportedInScreenCoordinates) {
    const Window top = x_.Create(x_.Root(), {.x = 200, .y = 100, .width = 600, .height = 400});
    const Window panel = x_.Create(top, {.x = 10, .y = 20, .width = 300, .height = 200, .border = 1});
    const Window button = x_.Create(panel, {.x = 40, .y = 50, .width = 80, .height = 30});
    x_.Create(panel, {.x = 0, .y = 0, .width = 300, .height = 200, .input_only = true});  // above, invisible
    x_.Create(panel, {.x = 30, .y = 40, .width = 100, .height = 60, .mapped = false});

    std::optional<WindowHit> hit = At(260, 180);  // inside the button
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit->window, top);
    EXPECT_EQ(hit->frame, (ScreenRect{200, 100, 800, 500}));
    EXPECT_EQ(hit->child_window, button);
    ASSERT_TRUE(hit->child);
    // top's origin (200,100) + panel at (10,20) with a 1-pixel border + button at (40,50).
    EXPECT_EQ(*hit->child, (ScreenRect{251, 171, 331, 201}));

    hit = At(215, 125);  // on the panel, beside the button
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit->child_window, panel);
    EXPECT_EQ(*hit->child, (ScreenRect{210, 120, 512, 322}));

    hit = At(700, 400);  // the top-level window itself
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit->child_window, 0u);
}

TEST_F(WindowAtPointTest, AFramedClientShowsAsItsFrameExtentsSay) {
    // What a reparenting window manager builds: a frame on the root, the client inside with
    // WM_STATE, and the decoration sizes (left, right, top, bottom) on the client.
    const Window below = x_.Create(x_.Root(), {.x = 400, .y = 400, .width = 600, .height = 500});
    const Window frame = x_.Create(x_.Root(), {.x = 500, .y = 500, .width = 320, .height = 260});
    const Window client = x_.Create(frame, {.x = 10, .y = 30, .width = 300, .height = 220});
    x_.SetCardinals(client, "WM_STATE", {1, 0});
    x_.SetCardinals(client, "_NET_FRAME_EXTENTS", {4, 4, 24, 4});

    std::optional<WindowHit> hit = At(600, 600);
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit->window, client);
    EXPECT_EQ(hit->frame, (ScreenRect{506, 506, 814, 754}));
    EXPECT_EQ(At(507, 507)->window, client);  // the title bar
    // The frame's margin outside the extents (a shadow) shows the window below.
    EXPECT_EQ(At(502, 502)->window, below);
    // Excluding the client skips its whole frame.
    EXPECT_EQ(At(600, 600, client)->window, below);

    // Without extents the frame window's own rectangle is what the user sees.
    XDeleteProperty(x_.get(), client, XInternAtom(x_.get(), "_NET_FRAME_EXTENTS", False));
    hit = At(502, 502);
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit->window, client);
    EXPECT_EQ(hit->frame, (ScreenRect{500, 500, 820, 760}));
}

}  // namespace
}  // namespace vexa::desktop
