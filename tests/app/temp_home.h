// TempHome: a fresh home folder for one test, with HOME and XDG_CONFIG_HOME pointing into it;
// both variables are restored and the folder removed afterwards. Not thread-safe (environment).
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

namespace vexa::app::testing {

class TempHome {
  public:
    TempHome() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vexa-settings-XXXXXX").string();
        root_ = ::mkdtemp(pattern.data());
        Remember("HOME", saved_home_);
        Remember("XDG_CONFIG_HOME", saved_config_);
        ::setenv("HOME", (root_ + "/home").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (root_ + "/config").c_str(), 1);
        std::filesystem::create_directories(root_ + "/home");
    }
    ~TempHome() {
        Restore("HOME", saved_home_);
        Restore("XDG_CONFIG_HOME", saved_config_);
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
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

    std::string root_;
    std::optional<std::string> saved_home_;
    std::optional<std::string> saved_config_;
};

inline std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void WriteText(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

}  // namespace vexa::app::testing
