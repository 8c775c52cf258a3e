// Global hotkeys on the test display: chords pressed through XTest from a second client, with and
// without locks, held down, taken by another client, moved and released.
#include <gtest/gtest.h>

#include <X11/XKBlib.h>
#include <X11/keysym.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "platform/desktop/hotkey_service.h"
#include "tests/support/wait_until.h"
#include "test_display.h"

namespace vexa::desktop {
namespace {

constexpr uint32_t kF7 = 0x76, kF8 = 0x77, kF9 = 0x78, kKeyA = 0x41;
constexpr int kStartStop = 1000, kPause = 1001, kRegion = 1002;
using Call = std::pair<int, uint32_t>;

class HotkeyServiceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs the test display (tools/with-test-env.sh)";
        ASSERT_TRUE(other_.Valid());
        Result<std::unique_ptr<HotkeyService>> service =
            HotkeyService::Open([this](int id, uint32_t modifiers) {
                std::lock_guard lock(mutex_);
                calls_.emplace_back(id, modifiers);
                changed_.notify_all();
            });
        ASSERT_TRUE(service.ok()) << service.error().message();
        service_ = std::move(*service);
    }

    // Presses F9 (registered as the marker) and returns every call up to and including its one:
    // the X server handles key events in order, so all earlier presses have been dealt with.
    std::vector<Call> CallsUpToMarker() {
        EXPECT_TRUE(service_->Register(kRegion, 0, kF9).ok());
        other_.Tap({}, XK_F9);
        std::unique_lock lock(mutex_);
        const bool seen = changed_.wait_for(lock, std::chrono::seconds(10), [&] {
            return !calls_.empty() && calls_.back().first == kRegion;
        });
        EXPECT_TRUE(seen) << "the marker hotkey never arrived";
        std::vector<Call> calls;
        calls.swap(calls_);
        return calls;
    }

    testing::TestDisplay other_;
    std::unique_ptr<HotkeyService> service_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Call> calls_;  // under mutex_
};

TEST_F(HotkeyServiceTest, EachPressOfAChordCallsBackOnceWhateverLockIsOn) {
    ASSERT_TRUE(service_->Register(kStartStop, kModControl | kModShift, kF7).ok());
    ASSERT_TRUE(service_->Register(kPause, kModAlt, kKeyA).ok());
    other_.Tap({XK_Control_L, XK_Shift_L}, XK_F7);
    other_.Tap({XK_Alt_L}, XK_a);
    other_.Tap({XK_Control_L}, XK_F7);  // another chord of the same key: not ours
    other_.Tap({}, XK_F7);

    const unsigned int num_lock = other_.NumLockMask();
    ASSERT_NE(num_lock, 0u);
    other_.Tap({}, XK_Num_Lock);
    ASSERT_EQ(other_.LockedModifiers() & num_lock, num_lock);
    other_.Tap({XK_Control_L, XK_Shift_L}, XK_F7);
    other_.Tap({}, XK_Caps_Lock);
    ASSERT_EQ(other_.LockedModifiers() & (num_lock | LockMask), num_lock | LockMask);
    other_.Tap({XK_Control_L, XK_Shift_L}, XK_F7);
    other_.Tap({}, XK_Num_Lock);
    other_.Tap({}, XK_Caps_Lock);
    ASSERT_EQ(other_.LockedModifiers() & (num_lock | LockMask), 0u);

    const std::vector<Call> expected = {{kStartStop, kModControl | kModShift},
                                        {kPause, kModAlt},
                                        {kStartStop, kModControl | kModShift},
                                        {kStartStop, kModControl | kModShift},
                                        {kRegion, 0}};
    EXPECT_EQ(CallsUpToMarker(), expected);
}

TEST_F(HotkeyServiceTest, HoldingAChordDownCallsBackOnlyOnce) {
    // A short repeat delay, so that the server repeats the held key many times in a moment.
    ASSERT_TRUE(XkbSetAutoRepeatRate(other_.get(), XkbUseCoreKbd, 50, 10));
    XAutoRepeatOn(other_.get());
    ASSERT_TRUE(service_->Register(kStartStop, 0, kF7).ok());
    other_.KeyDown(XK_F7);
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    other_.KeyUp(XK_F7);
    other_.Tap({}, XK_F7);  // a new press counts again
    XkbSetAutoRepeatRate(other_.get(), XkbUseCoreKbd, 660, 40);
    const std::vector<Call> expected = {{kStartStop, 0}, {kStartStop, 0}, {kRegion, 0}};
    EXPECT_EQ(CallsUpToMarker(), expected);
}

// A keyboard with a smaller keymap (an on-screen or virtual keyboard) comes and goes: the hotkey
// whose key it lacks lets its grab go meanwhile, but stays registered and works again afterwards.
TEST_F(HotkeyServiceTest, AHotkeyWhoseKeyAKeymapLacksComesBackWithTheKey) {
    ASSERT_TRUE(service_->Register(kPause, 0, kF8).ok());
    Display* display = other_.get();
    const KeyCode f8 = XKeysymToKeycode(display, XK_F8);
    ASSERT_NE(f8, 0);
    int per_keycode = 0;
    KeySym* saved = XGetKeyboardMapping(display, f8, 1, &per_keycode);
    ASSERT_NE(saved, nullptr);
    std::vector<KeySym> blank(static_cast<size_t>(per_keycode), NoSymbol);
    testing::TestDisplay third;
    const auto third_can_grab = [&] {  // the key is free: nobody holds it
        const bool free = third.GrabKeycode(f8, 0);
        if (free) third.UngrabKeycode(f8, 0);
        return free;
    };
    ASSERT_FALSE(third_can_grab());

    XChangeKeyboardMapping(display, f8, per_keycode, blank.data(), 1);
    XSync(display, False);
    EXPECT_TRUE(test::WaitUntil(third_can_grab)) << "the grab of the vanished key was kept";
    XChangeKeyboardMapping(display, f8, per_keycode, saved, 1);
    XFree(saved);
    XSync(display, False);
    EXPECT_TRUE(test::WaitUntil([&] { return !third_can_grab(); })) << "F8 was not grabbed again";

    other_.Tap({}, XK_F8);
    const std::vector<Call> expected = {{kPause, 0}, {kRegion, 0}};
    EXPECT_EQ(CallsUpToMarker(), expected);
}

TEST_F(HotkeyServiceTest, AChordAnotherProgramHoldsIsRefusedAsBusyUntilItLetsGo) {
    ASSERT_TRUE(other_.GrabKey(XK_F7, ControlMask | ShiftMask));
    const Error refused = service_->Register(kStartStop, kModControl | kModShift, kF7);
    EXPECT_EQ(refused.code(), ErrorCode::kBusy);
    EXPECT_NE(refused.message().find("Ctrl+Shift+F7"), std::string::npos) << refused.message();
    // The refused registration left no grab behind, not even with a lock on.
    testing::TestDisplay third;
    EXPECT_TRUE(third.GrabKey(XK_F7, ControlMask | ShiftMask | third.NumLockMask()));
    third.UngrabKey(XK_F7, ControlMask | ShiftMask | third.NumLockMask());

    other_.UngrabKey(XK_F7, ControlMask | ShiftMask);
    ASSERT_TRUE(service_->Register(kStartStop, kModControl | kModShift, kF7).ok());
    EXPECT_FALSE(third.GrabKey(XK_F7, ControlMask | ShiftMask | LockMask));  // now ours, locks too
    other_.Tap({XK_Control_L, XK_Shift_L}, XK_F7);
    const std::vector<Call> expected = {{kStartStop, kModControl | kModShift}, {kRegion, 0}};
    EXPECT_EQ(CallsUpToMarker(), expected);
}

TEST_F(HotkeyServiceTest, UnregisteringOrMovingAnIdReleasesItsOldChord) {
    ASSERT_TRUE(service_->Register(kStartStop, 0, kF7).ok());
    ASSERT_TRUE(service_->Register(kPause, 0, kF8).ok());
    service_->Unregister(kStartStop);
    ASSERT_TRUE(service_->Register(kPause, kModShift, kF8).ok());  // moved
    other_.Tap({}, XK_F7);
    other_.Tap({}, XK_F8);
    other_.Tap({XK_Shift_L}, XK_F8);
    const std::vector<Call> expected = {{kPause, kModShift}, {kRegion, 0}};
    EXPECT_EQ(CallsUpToMarker(), expected);

    // The released chords are free for another client; the held one is not.
    testing::TestDisplay third;
    EXPECT_TRUE(third.GrabKey(XK_F7, 0));
    EXPECT_TRUE(third.GrabKey(XK_F8, 0));
    EXPECT_FALSE(third.GrabKey(XK_F8, ShiftMask));
}

TEST_F(HotkeyServiceTest, KeysOutsideTheListAndChordsTwiceAreRefused) {
    EXPECT_EQ(service_->Register(kStartStop, 0, 0x20).code(), ErrorCode::kInvalidArgument);  // space
    EXPECT_EQ(service_->Register(kStartStop, 0, 0x7C).code(), ErrorCode::kInvalidArgument);  // F13
    EXPECT_EQ(service_->Register(kStartStop, 0, 0).code(), ErrorCode::kInvalidArgument);
    EXPECT_EQ(service_->Register(kStartStop, 0x10, kF7).code(), ErrorCode::kInvalidArgument);
    ASSERT_TRUE(service_->Register(kStartStop, kModAlt, kF7).ok());
    EXPECT_TRUE(service_->Register(kStartStop, kModAlt, kF7).ok());  // the same again
    EXPECT_EQ(service_->Register(kPause, kModAlt, kF7).code(), ErrorCode::kBusy);

    EXPECT_EQ(HotkeyService::ChordText(kModShift | kModControl, kF7), "Ctrl+Shift+F7");
    EXPECT_EQ(HotkeyService::ChordText(kModAlt, kKeyA), "Alt+A");
    EXPECT_EQ(HotkeyService::ChordText(kModAlt | kModControl | kModShift | kModWin, 0x7B),
              "Ctrl+Alt+Shift+Win+F12");
    EXPECT_EQ(HotkeyService::ChordText(0, 0x39), "9");
    EXPECT_EQ(HotkeyService::ChordText(0, 0x1B), "Esc");  // grabbed while a count-down runs
    EXPECT_EQ(HotkeyService::ChordText(kModControl, 0x20), "");
}

}  // namespace
}  // namespace vexa::desktop
