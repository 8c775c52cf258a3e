// TempHome: a fresh home folder for one test, with HOME and XDG_CONFIG_HOME pointing into it;
// both variables are restored and the folder removed afterwards. Not thread-safe (environment).
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <string>

#include "tests/support/temp_folder.h"

namespace vexa::app::testing {

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

}  // namespace vexa::app::testing
