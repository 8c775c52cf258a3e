// Global hotkeys through the GlobalShortcuts portal of a fake desktop (tests/support/fake_portal.py on a
// private bus): the service chooses the portal on a Wayland session, binds chords as shortcuts with
// their triggers, calls back on activation, and falls back to X11 grabs where the portal is missing.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop/hotkey_service.h"
#include "platform/desktop/portal_hotkeys.h"
#include "tests/support/wait_until.h"
#include "tests/support/portal_test_bed.h"

namespace vexa::desktop {
namespace {

using test::PortalTestBed;

// Presses seen by the callback, waited for by the test.
class Presses {
  public:
    void Add(int id, uint32_t modifiers) {
        std::lock_guard<std::mutex> guard(lock_);
        seen_.push_back({id, modifiers});
        changed_.notify_all();
    }
    // The next press within the time, if any.
    std::optional<std::pair<int, uint32_t>> Next(std::chrono::milliseconds within) {
        std::unique_lock<std::mutex> guard(lock_);
        if (!changed_.wait_for(guard, within, [&] { return taken_ < seen_.size(); })) return std::nullopt;
        return seen_[taken_++];
    }

  private:
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<std::pair<int, uint32_t>> seen_;
    size_t taken_ = 0;
};

class PortalHotkeysTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (const std::string missing = PortalTestBed::Missing(); !missing.empty()) GTEST_SKIP() << missing;
        saved_type_ = Get("XDG_SESSION_TYPE");
        saved_display_ = Get("WAYLAND_DISPLAY");
        setenv("XDG_SESSION_TYPE", "wayland", 1);
        setenv("WAYLAND_DISPLAY", "wayland-vexa-test", 1);
    }
    void TearDown() override {
        service_.reset();
        bed_.reset();
        Restore("XDG_SESSION_TYPE", saved_type_);
        Restore("WAYLAND_DISPLAY", saved_display_);
    }
    void Start(bool shortcuts) {
        PortalTestBed::Options options;
        options.producer = false;
        if (shortcuts) options.portal_args = {"--shortcuts"};
        bed_ = std::make_unique<PortalTestBed>(options);
        ASSERT_TRUE(bed_->Ready()) << bed_->Error();
    }
    std::string LastBind() const {
        std::string last;
        for (const std::string& call : bed_->Calls())
            if (call.find("\"BindShortcuts\"") != std::string::npos) last = call;
        return last;
    }
    static std::optional<std::string> Get(const char* name) {
        const char* v = std::getenv(name);
        return v ? std::optional<std::string>(v) : std::nullopt;
    }
    static void Restore(const char* name, const std::optional<std::string>& v) {
        if (v) {
            setenv(name, v->c_str(), 1);
        } else {
            unsetenv(name);
        }
    }

    std::optional<std::string> saved_type_, saved_display_;
    std::unique_ptr<PortalTestBed> bed_;
    std::unique_ptr<HotkeyService> service_;
    Presses presses_;
};

TEST_F(PortalHotkeysTest, ChordsAreBoundAsShortcutsAndEachActivationCallsBackOnce) {
    ASSERT_NO_FATAL_FAILURE(Start(true));
    Result<std::unique_ptr<HotkeyService>> opened =
        HotkeyService::Open([this](int id, uint32_t modifiers) { presses_.Add(id, modifiers); });
    ASSERT_TRUE(opened.ok()) << opened.error().message();
    service_ = std::move(opened).value();
    EXPECT_TRUE(service_->Global());

    // Registrations made together are bound together, in one session made with all of them.
    ASSERT_TRUE(service_->Register(1000, kModControl, 0x76).ok());
    ASSERT_TRUE(service_->Register(1001, kModAlt | kModShift, 'A').ok());
    ASSERT_TRUE(test::WaitUntil([&] { return !LastBind().empty(); })) << "nothing was bound";
    const std::string both = LastBind();
    EXPECT_NE(
        both.find("[\"1000\", {\"description\": \"hotkey Ctrl+F7\", \"preferred_trigger\": \"CTRL+F7\"}]"),
        std::string::npos)
        << both;
    EXPECT_NE(both.find("\"ALT+SHIFT+a\""), std::string::npos) << both;
    size_t sessions = 0;
    for (const std::string& call : bed_->Calls()) {
        if (call.find("\"Shortcuts.CreateSession\"") == std::string::npos) continue;
        ++sessions;
        if (sessions == 2) {
            EXPECT_NE(call.find("\"CTRL+F7\""), std::string::npos) << "the session carries them: " << call;
        }
    }
    EXPECT_EQ(sessions, 2u) << "the first (empty) one, then one for both shortcuts";
    EXPECT_EQ(service_->Register(1002, 0, 0x20).code(), ErrorCode::kInvalidArgument)
        << "a key outside the list";

    ASSERT_TRUE(bed_->Activate("1001"));
    auto press = presses_.Next(std::chrono::seconds(5));
    ASSERT_TRUE(press);
    EXPECT_EQ(press->first, 1001);
    EXPECT_EQ(press->second, kModAlt | kModShift);
    EXPECT_FALSE(presses_.Next(std::chrono::milliseconds(200))) << "one activation, one call";

    service_->Unregister(1001);
    ASSERT_TRUE(bed_->Activate("1001"));
    ASSERT_TRUE(bed_->Activate("1000"));
    press = presses_.Next(std::chrono::seconds(5));
    ASSERT_TRUE(press);
    EXPECT_EQ(press->first, 1000) << "the unregistered shortcut stays silent";
    EXPECT_EQ(press->second, kModControl);
}

TEST_F(PortalHotkeysTest, WithoutTheShortcutPortalTheX11GrabServesAndIsNotGlobal) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs the virtual display (tools/with-test-env.sh)";
    ASSERT_NO_FATAL_FAILURE(Start(false));
    Result<std::unique_ptr<HotkeyService>> opened = HotkeyService::Open([](int, uint32_t) {});
    ASSERT_TRUE(opened.ok()) << opened.error().message();
    EXPECT_FALSE((*opened)->Global());
}

TEST(PortalTrigger, ChordsReadAsTheShortcutSpecificationsTriggers) {
    EXPECT_EQ(PortalTrigger(0, 0x70), "F1");
    EXPECT_EQ(PortalTrigger(kModControl | kModAlt | kModShift | kModWin, 0x7B), "CTRL+ALT+SHIFT+LOGO+F12");
    EXPECT_EQ(PortalTrigger(kModWin, 'Z'), "LOGO+z");
    EXPECT_EQ(PortalTrigger(kModShift, '0'), "SHIFT+0");
    EXPECT_EQ(PortalTrigger(kModControl, 0x7C), "") << "F13 is not on the list";
    EXPECT_EQ(PortalTrigger(0, '@'), "");
}

}  // namespace
}  // namespace vexa::desktop
