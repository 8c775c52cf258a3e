// The running instance on the test display: the search by class and title (plain top-level
// windows, clients inside window-manager frames, the window manager's client list) and window
// messages received through xcb, as the toolkit's event filter receives them.
#include <gtest/gtest.h>

#include <poll.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "platform/desktop/instance.h"
#include "test_display.h"

namespace vexa::desktop {
namespace {

constexpr const char* kClass = "VexaRecorder_Main_Window";
constexpr const char* kTitle = "Miravo";
constexpr uint32_t kActivateMain = 0x464;

class InstanceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs the test display (tools/with-test-env.sh)";
        ASSERT_TRUE(x_.Valid());
    }

    uint32_t Find() {
        x_.Sync();
        Result<uint32_t> found = FindTopLevelWindow(kClass, kTitle);
        EXPECT_TRUE(found.ok()) << found.error().message();
        return found.ok() ? *found : 0;
    }

    testing::TestDisplay x_;
};

TEST_F(InstanceTest, OnlyAWindowWithBothTheClassAndTheTitleIsTheRunningInstance) {
    const Window other_title = x_.Create(x_.Root(), {});
    x_.SetClass(other_title, kClass, kClass);
    x_.SetNetWmName(other_title, "Miravo 2");
    const Window other_class = x_.Create(x_.Root(), {});
    x_.SetClass(other_class, "Miravo", "Miravo");
    x_.SetNetWmName(other_class, kTitle);
    EXPECT_EQ(Find(), 0u);

    // Hidden (never mapped), the class in the class part only, the title only in WM_NAME: found.
    const Window main = x_.Create(x_.Root(), {.mapped = false});
    x_.SetClass(main, "vexa-recorder", kClass);
    x_.SetWmName(main, kTitle);
    EXPECT_EQ(Find(), main);
}

TEST_F(InstanceTest, TheUtf8TitleCountsWhereAWindowHasBothTitles) {
    const Window main = x_.Create(x_.Root(), {});
    x_.SetClass(main, kClass, kClass);
    x_.SetWmName(main, kTitle);
    x_.SetNetWmName(main, "录屏");
    EXPECT_EQ(Find(), 0u);
    x_.Sync();
    Result<uint32_t> by_utf8 = FindTopLevelWindow(kClass, "录屏");
    ASSERT_TRUE(by_utf8.ok());
    EXPECT_EQ(*by_utf8, main);
}

TEST_F(InstanceTest, ClientsInsideFramesAndOnTheClientListAreFound) {
    // A window manager's frame holds the client one level down.
    const Window frame = x_.Create(x_.Root(), {.width = 300, .height = 200});
    const Window client = x_.Create(frame, {.x = 5, .y = 20, .width = 290, .height = 175});
    x_.SetClass(client, kClass, kClass);
    x_.SetNetWmName(client, kTitle);
    EXPECT_EQ(Find(), client);
    XDestroyWindow(x_.get(), frame);

    // Deeper than that only the window manager's list tells.
    const Window outer = x_.Create(x_.Root(), {});
    const Window inner = x_.Create(outer, {});
    const Window deep = x_.Create(inner, {});
    x_.SetClass(deep, kClass, kClass);
    x_.SetNetWmName(deep, kTitle);
    EXPECT_EQ(Find(), 0u);
    x_.SetWindows(x_.Root(), "_NET_CLIENT_LIST", {outer, deep});
    EXPECT_EQ(Find(), deep);
}

// A window of its own on a plain xcb connection, as the toolkit has.
class XcbWindow {
  public:
    XcbWindow() : c_(xcb_connect(nullptr, nullptr)) {
        if (xcb_connection_has_error(c_)) return;
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
        window_ = xcb_generate_id(c_);
        xcb_create_window(c_, XCB_COPY_FROM_PARENT, window_, screen->root, 0, 0, 50, 50, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
        const char wm_class[] = "VexaRecorder_Main_Window\0VexaRecorder_Main_Window";
        xcb_change_property(c_, XCB_PROP_MODE_REPLACE, window_, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                            sizeof wm_class, wm_class);
        xcb_change_property(c_, XCB_PROP_MODE_REPLACE, window_, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                            std::strlen(kTitle), kTitle);
        free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr));  // a round trip
    }
    ~XcbWindow() { xcb_disconnect(c_); }
    [[nodiscard]] bool Valid() const { return window_ != 0; }
    [[nodiscard]] xcb_window_t window() const { return window_; }

    // The next event's decoded message; nothing when the event is another one or none comes.
    std::optional<WindowMessage> NextMessage() {
        pollfd fd{xcb_get_file_descriptor(c_), POLLIN, 0};
        xcb_generic_event_t* event = xcb_poll_for_event(c_);
        if (!event && poll(&fd, 1, 10'000) > 0) event = xcb_poll_for_event(c_);
        if (!event) {
            ADD_FAILURE() << "no event arrived";
            return std::nullopt;
        }
        std::optional<WindowMessage> message = ParseWindowMessage(event);
        free(event);
        return message;
    }

    void SendClientMessage(const char* type_name, uint32_t data0) {
        xcb_intern_atom_reply_t* atom =
            xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 0, std::strlen(type_name), type_name), nullptr);
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = window_;
        event.type = atom ? atom->atom : xcb_atom_t{XCB_ATOM_NONE};
        event.data.data32[0] = data0;
        free(atom);
        xcb_send_event(c_, 0, window_, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
        xcb_flush(c_);
    }

  private:
    xcb_connection_t* c_;
    xcb_window_t window_ = 0;
};

TEST_F(InstanceTest, APostedMessageArrivesWithItsParametersAndOtherEventsAreNotOurs) {
    XcbWindow first_instance;
    ASSERT_TRUE(first_instance.Valid());
    const uint32_t found = Find();
    ASSERT_EQ(found, first_instance.window());

    ASSERT_TRUE(PostWindowMessage(found, kActivateMain, 0, 0).ok());
    EXPECT_EQ(first_instance.NextMessage(), (WindowMessage{found, kActivateMain, 0, 0}));
    ASSERT_TRUE(PostWindowMessage(found, 0x401, 0xFFFFFFFFu, -2).ok());
    EXPECT_EQ(first_instance.NextMessage(), (WindowMessage{found, 0x401, 0xFFFFFFFFu, -2}));
    first_instance.SendClientMessage("WM_PROTOCOLS", kActivateMain);
    EXPECT_EQ(first_instance.NextMessage(), std::nullopt);

    EXPECT_EQ(PostWindowMessage(found, 1, uintptr_t{1} << 32, 0).code(), ErrorCode::kInvalidArgument);
    EXPECT_EQ(PostWindowMessage(found, 1, 0, intptr_t{INT32_MIN} - 1).code(), ErrorCode::kInvalidArgument);
    const Window gone = x_.Create(x_.Root(), {});
    XDestroyWindow(x_.get(), gone);
    x_.Sync();
    EXPECT_EQ(PostWindowMessage(static_cast<uint32_t>(gone), kActivateMain, 0, 0).code(),
              ErrorCode::kNotFound);
}

}  // namespace
}  // namespace vexa::desktop
