// Sets (or, with null, removes) an environment variable for one scope and
// restores the previous state afterwards. On Windows the runtime's _putenv
// also changes the process environment that GetEnvironmentVariableW reads.
#pragma once

#include <cstdlib>
#include <string>

namespace twtest {

class ScopedEnv {
public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) {
      had_ = true;
      old_ = old;
    }
    Set(value);
  }
  ~ScopedEnv() { Set(had_ ? old_.c_str() : nullptr); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
  void Set(const char* value) {
#ifdef _WIN32
    const std::string assignment = name_ + "=" + (value != nullptr ? value : "");  // "NAME=" removes it
    _putenv(assignment.c_str());
#else
    if (value != nullptr)
      setenv(name_.c_str(), value, 1);
    else
      unsetenv(name_.c_str());
#endif
  }

  std::string name_;
  bool had_ = false;
  std::string old_;
};

}  // namespace twtest
