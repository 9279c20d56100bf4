// Sets an environment variable (nullptr: unsets it) for the life of the
// object; a new TZ takes effect at once.
#pragma once

#include <cstdlib>
#include <ctime>
#include <string>

namespace qxs::test {

class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value)
        : name_(name), had_(std::getenv(name) != nullptr), old_(had_ ? std::getenv(name) : "") {
        set(value);
    }
    ~ScopedEnv() { set(had_ ? old_.c_str() : nullptr); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    void set(const char* value) {
        value != nullptr ? setenv(name_, value, 1) : unsetenv(name_);
        tzset();
    }
    const char* name_;
    bool had_;
    std::string old_;
};

}  // namespace qxs::test
