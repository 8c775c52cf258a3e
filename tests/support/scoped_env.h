// One environment variable set (or removed) for a scope, and put back as it was when the scope
// ends, however the test leaves it. Environment changes are process-wide: the main thread only,
// while no other thread reads the environment.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace vexa::test {

class ScopedEnv {
  public:
    // `value` empty (std::nullopt): the variable is removed for the scope.
    ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) {
            setenv(name, value->c_str(), 1);
        } else {
            unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (old_) {
            setenv(name_, old_->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    const char* name_;
    std::optional<std::string> old_;
};

}  // namespace vexa::test
