// Where the shared manager lives, and the probe of its version against
// stand-in managers that answer at once, late, never, or with something
// else. On Windows the stand-in is tw_fake_manager.exe; natively a shell
// script plays it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "base/paths.h"
#include "tests/base/scoped_env.h"
#include "tests/support/test_support.h"
#include "tools/manager_location.h"
#include "tools/version_record.h"
#ifdef _WIN32
#include <windows.h>

#include "tests/support/capture.h"
#else
#include <unistd.h>

#include <cstdio>
#endif

using twtest::Narrow;
using twtest::ScopedEnv;
using twtest::U16;
namespace fs = std::filesystem;

namespace {

constexpr uint64_t k112 = 0x0001000C00000000ull;
constexpr uint64_t k110 = 0x0001000A00000000ull;

// A stand-in manager at path answering as `how` says; the returned guard
// keeps the choice in the environment (Windows) while it lives.
std::unique_ptr<ScopedEnv> MakeManager(const std::string& path, const std::string& how) {
  fs::create_directories(fs::u8path(path).parent_path());
#ifdef _WIN32
  fs::copy_file(fs::u8path(twtest::BinaryPath("tw_fake_manager.exe")), fs::u8path(path),
                fs::copy_options::overwrite_existing);
  return std::make_unique<ScopedEnv>("TW_FAKE_MANAGER", how.c_str());
#else
  // The record's bytes as printf octal escapes.
  auto record = [](uint64_t v) {
    std::string out = "\\343\\246\\244\\024\\017\\005\\000\\000";
    for (int i = 0; i < 8; ++i) {
      char b[8];
      std::snprintf(b, sizeof b, "\\%03o", static_cast<unsigned>((v >> (8 * i)) & 0xFF));
      out += b;
    }
    return out;
  };
  std::string body;
  if (how == "1.12") body = "printf '" + record(k112) + "'";
  if (how == "1.10") body = "printf '" + record(k110) + "'";
  if (how == "late") body = "sleep 1.5; printf '" + record(k112) + "'";
  if (how == "17") body = "printf '" + record(k112) + "x'";
  if (how == "pieces") {
    const std::string r = record(k112);
    body = "printf '" + r.substr(0, 32) + "'; sleep 0.5; printf '" + r.substr(32) + "'; sleep 0.5";
  }
  if (how == "other") body = "printf 'not a record 16b'";
  if (how == "never") body = "exec sleep 1000";
  std::ofstream(fs::u8path(path)) << "#!/bin/sh\n" << body << "\n";
  fs::permissions(fs::u8path(path), fs::perms::owner_all);
  return nullptr;
#endif
}

TEST(ManagerProbe, AnswersOfStandInManagers) {
  twtest::TempDir tmp;
  const struct {
    const char* how;
    uint64_t version;
  } cases[] = {
      {"1.12", k112},            // newer than this program
      {"1.10", k110},            // older
      {"late", k112},            // answers after a pause
      {"17", tw::kNoVersion},    // one byte too many
      {"pieces", tw::kNoVersion},  // the record in two writes
      {"other", tw::kNoVersion},   // 16 bytes, not a record
      {"", tw::kNoVersion},        // ends without a word
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::string path = tmp.path() + "/m" + std::to_string(n++) + "/tarnwick.exe";
    auto env = MakeManager(path, c.how);
    EXPECT_EQ(QueryManagerVersion(U16(path).c_str()), c.version) << c.how;
  }
  EXPECT_EQ(QueryManagerVersion(U16(tmp.path() + "/none/tarnwick.exe").c_str()), tw::kNoVersion);
  EXPECT_EQ(QueryManagerVersion(U16(tmp.path()).c_str()), tw::kNoVersion);  // a folder
}

TEST(ManagerProbe, AManagerThatNeverEndsIsGivenUpAndEnded) {
  twtest::TempDir tmp;
  const std::string path = tmp.path() + "/hang/tarnwick.exe";
  auto env = MakeManager(path, "never");
  EXPECT_EQ(QueryManagerVersion(U16(path).c_str(), 1500), tw::kNoVersion);
  // It was ended: its file can be replaced now (on Windows a running
  // program's file cannot be deleted).
  std::error_code ec;
  for (int i = 0; i < 500 && !fs::remove(fs::u8path(path), ec); ++i) {
#ifdef _WIN32
    Sleep(20);
#else
    usleep(20000);
#endif
  }
  EXPECT_FALSE(fs::exists(fs::u8path(path)));
}

#ifdef _WIN32
TEST(ManagerProbe, APathWithBlanksStartsTheManagerNotAPlantedProgram) {
  twtest::TempDir tmp;
  const std::string path = tmp.path() + "/Program Files/Vornak/tarnwick.exe";
  auto env = MakeManager(path, "1.12");
  // Unquoted, "<tmp>/Program Files/..." would start this one (it answers 9.9.9.9).
  fs::copy_file(fs::u8path(twtest::BinaryPath("tw_fake_manager.exe")),
                fs::u8path(tmp.path() + "/Program.exe"));
  EXPECT_EQ(QueryManagerVersion(U16(path).c_str()), k112);
}

TEST(ManagerProbe, TheRealProgramAnswersWithItsOwnVersion) {
  EXPECT_EQ(QueryManagerVersion(U16(twtest::BinaryPath("tarnwick.exe")).c_str()), GetOwnVersion());
}
#endif

TEST(ManagerLocation, CommonFilesBelowTheProgramsFolder) {
  twtest::TempDir tmp;
  const std::string programs = tmp.path() + "/Programs64";
  fs::create_directories(fs::u8path(programs));
  ScopedEnv w6432("ProgramW6432", programs.c_str());
  ScopedEnv files("ProgramFiles", (tmp.path() + "/missing").c_str());
  _guardchar<char16_t> path;
  ASSERT_TRUE(FindCommonFilesTool(path));
  EXPECT_EQ(Narrow(path.text), programs + "/Common Files/Vornak/tarnwick.exe");
  // The folders are made even though no manager is there yet.
  EXPECT_TRUE(fs::is_directory(fs::u8path(programs + "/Common Files/Vornak")));
  EXPECT_FALSE(fs::exists(fs::u8path(programs + "/Common Files/Vornak/tarnwick.exe")));

  // A manager file is fine; a folder of that name is not.
  std::ofstream(fs::u8path(programs + "/Common Files/Vornak/tarnwick.exe")) << "MZ";
  EXPECT_TRUE(FindCommonFilesTool(path));
  fs::remove(fs::u8path(programs + "/Common Files/Vornak/tarnwick.exe"));
  fs::create_directory(fs::u8path(programs + "/Common Files/Vornak/tarnwick.exe"));
  EXPECT_FALSE(FindCommonFilesTool(path));
}

TEST(ManagerLocation, ProgramsFolderFallbacks) {
  twtest::TempDir tmp;
  const std::string files = tmp.path() + "/Files";
  fs::create_directories(fs::u8path(files));
  _guardchar<char16_t> folder;
  {
    ScopedEnv w6432("ProgramW6432", (tmp.path() + "/missing").c_str());
    ScopedEnv pf("ProgramFiles", files.c_str());
    GetProgramsFolder(folder);
    EXPECT_EQ(Narrow(folder.text), files);
  }
  {
    ScopedEnv w6432("ProgramW6432", nullptr);
    ScopedEnv pf("ProgramFiles", (tmp.path() + "/missing").c_str());
    GetProgramsFolder(folder);
    EXPECT_EQ(Narrow(folder.text), "C:/Program Files");
    _guardchar<char16_t> path;
#ifdef _WIN32
    ASSERT_TRUE(FindCommonFilesTool(path));
    EXPECT_EQ(Narrow(path.text), "C:/Program Files/Common Files/Vornak/tarnwick.exe");
#else
    EXPECT_FALSE(FindCommonFilesTool(path));  // no such folder here
#endif
  }
}

}  // namespace
