// TempHome: a fresh home folder for one test, with HOME and XDG_CONFIG_HOME pointing into it;
// both variables are restored and the folder removed afterwards. Not thread-safe (environment).
// Ok() and OpenStore() let a test check a result and show its failure's message.
#pragma once

#include <stdlib.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "settings/settings_key.h"
#include "platform/error.h"
#include "tests/support/temp_folder.h"

namespace vexa::settings::testing {

class TempHome {
  public:
    TempHome() {
        Remember("HOME", saved_home_);
        Remember("XDG_CONFIG_HOME", saved_config_);
        ::setenv("HOME", (root_ + "/home").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (root_ + "/config").c_str(), 1);
        std::filesystem::create_directories(root_ + "/home");
    }
    ~TempHome() {
        Restore("HOME", saved_home_);
        Restore("XDG_CONFIG_HOME", saved_config_);
    }
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    const std::string& Root() const { return root_; }
    std::string Home() const { return root_ + "/home"; }
    std::string Config() const { return root_ + "/config"; }
    std::string StorePath() const { return Config() + "/Vexa/VexaRecorder/settings.reg"; }

  private:
    static void Remember(const char* name, std::optional<std::string>& slot) {
        if (const char* value = ::getenv(name)) slot = value;
    }
    static void Restore(const char* name, const std::optional<std::string>& slot) {
        if (slot) {
            ::setenv(name, slot->c_str(), 1);
        } else {
            ::unsetenv(name);
        }
    }

    vexa::test::TempFolder folder_;
    std::string root_ = folder_.Path().string();
    std::optional<std::string> saved_home_;
    std::optional<std::string> saved_config_;
};

using vexa::test::ReadFile;
using vexa::test::WriteFile;

// EXPECT_TRUE(Ok(key->WriteDword(...))) says why a step failed.
inline ::testing::AssertionResult Ok(const Error& error) {
    if (error.ok()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << error.message() << " (" << ErrorCodeName(error.code()) << ")";
}

// The store at `path`; a store that does not open fails the test and gives null.
inline std::unique_ptr<SettingsKey> OpenStore(const std::string& path) {
    Result<std::unique_ptr<SettingsKey>> key = SettingsKey::Open(path);
    EXPECT_TRUE(Ok(key.error()));
    return key.ok() ? std::move(key).value() : nullptr;
}

}  // namespace vexa::settings::testing
