// Registry tests: natively a stand-in file of the test's own; under Wine the
// build's private prefix, with codenames unique to the run.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>

#include "tests/base/scoped_env.h"
#include "tests/support/test_support.h"

namespace twtest {

class RegistryTest : public ::testing::Test {
protected:
  void SetUp() override {
#ifndef _WIN32
    env_ = std::make_unique<ScopedEnv>("TW_REGISTRY", (tmp_.path() + "/registry").c_str());
#endif
  }
  // A codename no earlier run has used.
  static std::u16string UniqueCodename(const char* stem) {
    static std::atomic<unsigned> serial{0};
    auto now = std::chrono::system_clock::now().time_since_epoch().count();
    return U16(std::string(stem) + "-" + std::to_string(now) + "-" + std::to_string(serial++));
  }
  TempDir tmp_;

private:
  std::unique_ptr<ScopedEnv> env_;
};

}  // namespace twtest
