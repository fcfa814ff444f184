// Installation tests: a package written with the package writer into a
// temporary folder, a private programs folder, data folders and store, and
// checks of what an installation left on disk that read the disk directly.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/full_config.h"
#include "package/description.h"
#include "tests/base/scoped_env.h"
#include "tests/support/test_support.h"
#include "tests/tools/registry_fixture.h"

namespace twtest {

// One version of a test package: relative path -> content.
struct sPackageSpec {
  uint32_t version[4] = {1, 0, 0, 0};
  std::map<std::string, std::string> files;
  bool shortcut = true;  // a menu entry for the first file
};

class InstallTest : public RegistryTest {
protected:
  void SetUp() override;
  void TearDown() override;

public:  // for the tests' case tables

  // Writes the package of spec (after `offset` filler bytes) and returns its
  // path.
  std::string WritePackage(const sPackageSpec& spec, uint32_t offset = 0);
  // Runs the silent installation of spec in a fresh context; the result.
  int32_t Install(const sPackageSpec& spec);
  // The program folder of the package.
  std::string ProgramFolder() const { return programs_ + "/Tarn App"; }
  std::string ManagerPath() const { return programs_ + "/Common Files/Vornak/tarnwick.exe"; }
  // The stand-in program whose clean copy becomes the manager.
  std::string ProgramFile() const { return program_; }

  // Expects the folder to hold exactly spec's files with their contents and
  // no side file anywhere below the temporary root.
  void ExpectInstalled(const sPackageSpec& spec);
  // Expects the store record and the Uninstall entry of spec's version.
  void ExpectRegistered(const sPackageSpec& spec);
  // Every file below the temporary root ending in ".tmp" or ".bkp".
  std::vector<std::string> SideFiles() const;
  // A fresh store on the test's data folders.
  std::unique_ptr<cCIAppFullConfig> OpenStore() const;

  std::u16string codename_;
  std::string programs_;
  std::string program_;
  std::unique_ptr<cCIAppFullConfig> store_;

private:
  std::vector<std::unique_ptr<ScopedEnv>> env_;
  int serial_ = 0;
};

// The content of a file, or "<missing>".
std::string FileContent(const std::string& path);
// A content of n bytes that does not compress to nothing.
std::string Noise(size_t n, uint32_t seed);

}  // namespace twtest
