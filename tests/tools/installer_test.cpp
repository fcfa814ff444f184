// The silent installation in-process: first installation, repeat, updates,
// downgrade, the pre-install check's codes, the installer job's side files
// and its recovery after a stop at every step.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/fileio.h"
#include "base/paths.h"
#include "tests/support/install_fixture.h"
#include "tools/install_context.h"
#include "tools/install_start.h"
#include "tools/installer_job.h"
#include "tools/manager_location.h"
#include "tools/uninstall_entry.h"
#include "tools/version_record.h"

using twtest::FileContent;
using twtest::Narrow;
using twtest::Noise;
using twtest::sPackageSpec;
using twtest::U16;
namespace fs = std::filesystem;

namespace {

// Version 1: a file of several pieces, a small one, one in a subfolder.
sPackageSpec V1() {
  sPackageSpec s;
  s.files["app.exe"] = Noise(200000, 1);
  s.files["readme.txt"] = "version one";
  s.files["data/old.dat"] = Noise(5000, 2);
  s.files["data/keep.dat"] = Noise(7000, 3);
  return s;
}

// Version 2: app.exe changed, data/old.dat dropped, data/new.dat added,
// the rest as before.
sPackageSpec V2() {
  sPackageSpec s = V1();
  s.version[0] = 2;
  s.files["app.exe"] = Noise(150000, 4);
  s.files.erase("data/old.dat");
  s.files["data/new.dat"] = Noise(90000, 5);
  return s;
}

class Installer : public twtest::InstallTest {};

TEST_F(Installer, FirstInstallationLeavesTheFilesManagerAndRecord) {
  const sPackageSpec v1 = V1();
  ASSERT_EQ(Install(v1), 0);
  ExpectInstalled(v1);
  ExpectRegistered(v1);
  // The manager is the program's clean copy (the stand-in has no package).
  EXPECT_TRUE(FileContent(ManagerPath()) == FileContent(ProgramFile()));
  EXPECT_EQ(QueryManagerVersion(U16(ManagerPath()).c_str()), GetOwnVersion());
}

TEST_F(Installer, TheSameVersionAgainHasNothingToDoUntilItsEntryIsGone) {
  const sPackageSpec v1 = V1();
  ASSERT_EQ(Install(v1), 0);
  EXPECT_EQ(Install(v1), tw::kStartNothingToDo);
  ASSERT_TRUE(DeleteUninstallEntry(codename_.c_str(), false));
  EXPECT_EQ(Install(v1), 0);
  ExpectInstalled(v1);
  ExpectRegistered(v1);
  EXPECT_EQ(Install(v1), tw::kStartNothingToDo);
}

TEST_F(Installer, AnUpdateChangesRemovesAndAddsFiles) {
  ASSERT_EQ(Install(V1()), 0);
  const std::string keep = ProgramFolder() + "/data/keep.dat";
  const auto keepTime = fs::last_write_time(fs::u8path(keep));
  const sPackageSpec v2 = V2();
  ASSERT_EQ(Install(v2), 0);
  ExpectInstalled(v2);
  ExpectRegistered(v2);
  // An unchanged file is not written again.
  EXPECT_EQ(fs::last_write_time(fs::u8path(keep)), keepTime);
}

TEST_F(Installer, AnUpdateDropsTheFolderItsRemovedFileLeavesEmpty) {
  sPackageSpec v1 = V1();
  v1.files["plugins/a/only.dll"] = "plugin";
  ASSERT_EQ(Install(v1), 0);
  ASSERT_EQ(Install(V2()), 0);
  EXPECT_FALSE(fs::exists(fs::u8path(ProgramFolder() + "/plugins")));
  ExpectInstalled(V2());
}

TEST_F(Installer, AnOlderPackageIsRefused) {
  ASSERT_EQ(Install(V2()), 0);
  EXPECT_EQ(Install(V1()), tw::kStartNewerInstalled);
  ExpectInstalled(V2());
  // Also when the earlier folder is gone.
  fs::remove_all(fs::u8path(ProgramFolder()));
  EXPECT_EQ(Install(V1()), tw::kStartNewerInstalled);
}

TEST_F(Installer, AStalePerUserRecordIsRemovedByAMachineWideInstallation) {
  const std::string prefix = "install/" + Narrow(codename_);
  store_->GetUserConfig()->SetInt64((prefix + "/ver").c_str(), 0x0000000100000000ll);
  store_->GetUserConfig()->SetString((prefix + "/path").c_str(), u"C:/gone", -1);
  ASSERT_TRUE(store_->GetUserConfig()->Save());
  // The per-user record points at a folder that is gone: 5, as before.
  EXPECT_EQ(Install(V1()), tw::kStartFolderGone);
  fs::create_directories(fs::u8path(ProgramFolder()));
  store_->GetUserConfig()->SetString((prefix + "/path").c_str(), U16(ProgramFolder()).c_str(), -1);
  store_->GetUserConfig()->SetInt((prefix + "/files").c_str(), 1);
  store_->GetUserConfig()->SetString((prefix + "/file0").c_str(), U16(ProgramFolder() + "/none").c_str(), -1);
  ASSERT_TRUE(store_->GetUserConfig()->Save());
  sPackageSpec v1 = V1();
  ASSERT_EQ(Install(v1), 0);
  ExpectRegistered(v1);  // checks that the per-user record is gone
}

// The pre-install check of an update against a doctored record.
class PreInstall : public twtest::InstallTest {
public:
  int32_t Check(const sPackageSpec& spec, sInstallContext& context) {
    const std::string package = WritePackage(spec);
    store_ = OpenStore();
    context.programPath.Assign(U16(ProgramFile()).c_str());
    context.packagePath.Assign(U16(package).c_str());
    context.store = store_.get();
    EXPECT_EQ(LoadInstallPackage(context), 0);
    return PreInstallCheck(context);
  }
  cCIAppConfig* Machine() { return store_->GetMachineConfig(); }
  std::string Key(const std::string& name) { return "install/" + Narrow(codename_) + "/" + name; }
};

TEST_F(PreInstall, DamagedRecordsGiveSix) {
  ASSERT_EQ(Install(V1()), 0);
  struct Case {
    const char* what;
    void (*damage)(PreInstall&);
  } cases[] = {
      {"no file count", [](PreInstall& t) { t.Machine()->DeleteKey(t.Key("files").c_str()); }},
      {"file count 0", [](PreInstall& t) { t.Machine()->SetInt(t.Key("files").c_str(), 0); }},
      {"a file key missing", [](PreInstall& t) { t.Machine()->DeleteKey(t.Key("file2").c_str()); }},
      {"one file twice in other capitals",
       [](PreInstall& t) {
         std::string upper = t.ProgramFolder() + "/README.TXT";
         // Only where names fold: the same file under both spellings.
         t.Machine()->SetString(t.Key("file0").c_str(), U16(upper).c_str(), -1);
         t.Machine()->SetString(t.Key("file1").c_str(), U16(t.ProgramFolder() + "/readme.txt").c_str(), -1);
         if (!fs::exists(fs::u8path(upper))) fs::copy_file(t.ProgramFolder() + "/readme.txt", upper);
       }},
      {"a folder recorded as a file",
       [](PreInstall& t) { t.Machine()->SetString(t.Key("file1").c_str(), U16(t.ProgramFolder() + "/data").c_str(), -1); }},
      {"a shortcut key missing", [](PreInstall& t) { t.Machine()->SetInt(t.Key("shortc").c_str(), 5); }},
  };
  for (const Case& c : cases) {
    store_ = OpenStore();  // the intact record; the damage is never saved
    c.damage(*this);
    sInstallContext context;
    // The damage lives in store_, which Check must not reopen.
    const std::string package = WritePackage(V1());
    context.programPath.Assign(U16(ProgramFile()).c_str());
    context.packagePath.Assign(U16(package).c_str());
    context.store = store_.get();
    ASSERT_EQ(LoadInstallPackage(context), 0);
    EXPECT_EQ(PreInstallCheck(context), tw::kStartRecordDamaged) << c.what;
    fs::remove(fs::u8path(ProgramFolder() + "/README.TXT"));
  }
}

TEST_F(PreInstall, UpdateTargetsAgainstTheDisk) {
  ASSERT_EQ(Install(V1()), 0);
  sPackageSpec v2 = V2();
  const std::string added = ProgramFolder() + "/data/new.dat";
  {
    // A foreign file with the payload's content is taken over.
    std::ofstream(fs::u8path(added), std::ios::binary) << v2.files["data/new.dat"];
    sInstallContext context;
    EXPECT_EQ(Check(v2, context), 0);
  }
  {
    std::ofstream(fs::u8path(added), std::ios::binary) << "something else";
    sInstallContext context;
    EXPECT_EQ(Check(v2, context), tw::kStartForeignFile);
    EXPECT_EQ(Narrow(context.errorPath.text), added);
  }
  {
    fs::remove(fs::u8path(added));
    fs::create_directory(fs::u8path(added));
    sInstallContext context;
    EXPECT_EQ(Check(v2, context), tw::kStartObjectInTheWay);
    fs::remove(fs::u8path(added));
  }
  {
    // A new file below a file that stands where its folder should be.
    v2.files["readme.txt/inner.dat"] = "x";
    sInstallContext context;
    EXPECT_EQ(Check(v2, context), tw::kStartObjectInTheWay);
  }
}

TEST_F(PreInstall, UnchangedEntriesAreMarkedUnlessSideFilesWait) {
  ASSERT_EQ(Install(V1()), 0);
  const sPackageSpec v2 = V2();
  {
    sInstallContext context;
    ASSERT_EQ(Check(v2, context), 0);
    std::vector<std::string> unchanged;
    for (auto* n = context.installEntries.head; n; n = n->next) {
      if (IsEntryUnchanged(n->value)) unchanged.push_back(Narrow(n->value.targetPath.text));
    }
    EXPECT_EQ(unchanged, (std::vector<std::string>{ProgramFolder() + "/data/keep.dat",
                                                   ProgramFolder() + "/readme.txt"}));
  }
  for (const char* side : {".bkp", ".tmp"}) {
    const std::string file = ProgramFolder() + "/readme.txt" + side;
    std::ofstream(fs::u8path(file)) << "left by a stopped run";
    sInstallContext context;
    ASSERT_EQ(Check(v2, context), 0);
    for (auto* n = context.installEntries.head; n; n = n->next) {
      if (Narrow(n->value.targetPath.text) == ProgramFolder() + "/readme.txt") {
        EXPECT_FALSE(IsEntryUnchanged(n->value)) << side;
      }
    }
    fs::remove(fs::u8path(file));
  }
}

TEST_F(PreInstall, LoadingThePackage) {
  const std::string package = WritePackage(V1(), 333);
  struct Case {
    std::string path;
    uint32_t offset;
    int32_t expected;
  } cases[] = {
      {package, 333, 0},
      {"", 0, tw::kStartNoPackage},
      {tmp_.path() + "/nothing.bin", 0, tw::kStartNoPackage},
      {tmp_.path(), 0, tw::kStartNoPackage},  // a folder
      {package, 0, tw::kStartDamaged},        // the filler is no package
      {package, 334, tw::kStartDamaged},
      {"./" + fs::u8path(package).filename().generic_string(), 333, 0},  // beside the program
  };
  // The program "lives" in the package's folder for the "./" case.
  const std::string program = tmp_.path() + "/setup.exe";
  for (const Case& c : cases) {
    sInstallContext context;
    context.programPath.Assign(U16(program).c_str());
    context.packagePath.Assign(U16(c.path).c_str());
    context.packageOffset = c.offset;
    EXPECT_EQ(LoadInstallPackage(context), c.expected) << c.path << " @" << c.offset;
    if (c.expected == 0) {
      EXPECT_EQ(Narrow(context.codename.text), Narrow(codename_));
      EXPECT_EQ(context.packageVersion, 0x0001000000000000ull);
    }
  }
}

TEST_F(PreInstall, ProbingTheFolderAboveATarget) {
  const std::string root = tmp_.path();
  std::ofstream(fs::u8path(root + "/file")) << "x";
  fs::create_directories(fs::u8path(root + "/a/b"));
  struct Case {
    std::string path;
    int32_t expected;
  } cases[] = {
      {root + "/a/b/c/d.txt", 0},
      {root + "/a//b///x.txt", 0},
      {root + "/file/x.txt", 2},
      {root + "/file/deeper/x.txt", 2},
      {root + "/file", 1},  // exists
      {"", 1},
      {"no-slash-at-all", 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ProbeTargetAncestor(U16(c.path).c_str()), c.expected) << c.path;
  }
}

TEST_F(PreInstall, FirstInstallationTargetChecks) {
  const sPackageSpec v1 = V1();
  fs::create_directories(fs::u8path(ProgramFolder()));
  std::ofstream(fs::u8path(ProgramFolder() + "/readme.txt")) << "someone else's";
  EXPECT_EQ(Install(v1), tw::kStartForeignFile);
  std::ofstream(fs::u8path(ProgramFolder() + "/readme.txt")) << v1.files.at("readme.txt");
  EXPECT_EQ(Install(v1), 0);  // an identical file stays acceptable
  ExpectInstalled(v1);
}

// A page that records what the job reports and can ask for a stop.
class cRecordingPage : public cInstallerJobPage {
public:
  void SetStage(int32_t line) override { stages.push_back(line); }
  bool SetProgress(double percent) override {
    progress.push_back(percent);
    return stopAfter < 0 || static_cast<int32_t>(progress.size()) < stopAfter;
  }
  uint8_t AskRelease(const char16_t*) override { return 1; }
  const char16_t* GetText(int32_t) override { return nullptr; }
  std::vector<int32_t> stages;
  std::vector<double> progress;
  int32_t stopAfter = -1;
};

class Job : public twtest::InstallTest {
protected:
  // A context ready for the job: loaded, checked, folder set.
  void Prepare(const sPackageSpec& spec, sInstallContext& context) {
    const std::string package = WritePackage(spec);
    store_ = OpenStore();
    context.programPath.Assign(U16(ProgramFile()).c_str());
    context.packagePath.Assign(U16(package).c_str());
    context.store = store_.get();
    ASSERT_EQ(LoadInstallPackage(context), 0);
    ASSERT_EQ(PreInstallCheck(context), 0);
    if (context.description.GetString(u"pgm") == nullptr) {
      context.description.SetProgramFolder(context.description.commonTable,
                                           U16(ProgramFolder()).c_str());
      ASSERT_TRUE(context.description.GetInstallEntries(context.installEntries));
    }
  }
};

TEST_F(Job, ReportsStagesAndProgressInPieces) {
  sPackageSpec spec;
  spec.files["big.bin"] = Noise(3 * 65536 + 100, 9);
  spec.files["small.txt"] = "s";
  sInstallContext context;
  Prepare(spec, context);
  cRecordingPage page;
  ASSERT_EQ(RunInstallerJob(context, &page), 0);
  EXPECT_EQ(context.resultCode, 0);
  // Lines: 0 preparing, 1-2 unpacking, 3 backups, 4 applying, 5 removing.
  EXPECT_EQ(page.stages, (std::vector<int32_t>{0, 1, 2, 3, 4, 5}));
  const double first = 65536.0 * 100 / (3 * 65536 + 100);
  ASSERT_EQ(page.progress.size(), 6u);  // four pieces, one, then the reset
  EXPECT_DOUBLE_EQ(page.progress[0], first);
  EXPECT_DOUBLE_EQ(page.progress[3], 100.0);
  EXPECT_DOUBLE_EQ(page.progress[4], 100.0);
  EXPECT_DOUBLE_EQ(page.progress[5], 0.0);
  ExpectInstalled(spec);
}

TEST_F(Job, AStopWhileUnpackingLeavesNoTemporaryFile) {
  ASSERT_EQ(Install(V1()), 0);
  sInstallContext context;
  Prepare(V2(), context);
  cRecordingPage page;
  page.stopAfter = 2;
  EXPECT_EQ(RunInstallerJob(context, &page), 1);
  EXPECT_EQ(context.resultCode, tw::kInstallStopped);
  EXPECT_EQ(SideFiles(), std::vector<std::string>{});
  ExpectInstalled(V1());
}

TEST_F(Job, ATargetBelowAFileGivesNineNamingTheTemporaryFile) {
  sPackageSpec spec;
  spec.files["x.txt"] = "x";
  sInstallContext context;
  Prepare(spec, context);
  fs::create_directories(fs::u8path(programs_));
  std::ofstream(fs::u8path(ProgramFolder())) << "a file where the folder goes";
  EXPECT_EQ(RunInstallerJob(context, nullptr), 1);
  EXPECT_EQ(context.resultCode, tw::kInstallBadPath);
  EXPECT_EQ(Narrow(context.errorPath.text), ProgramFolder() + "/x.txt.tmp");
}

TEST_F(Job, RecoveryPutsLeftoverBackupsBack) {
  ASSERT_EQ(Install(V1()), 0);
  // A stopped run moved app.exe aside and left its new content unpacked;
  // readme.txt's backup lost its target.
  const std::string app = ProgramFolder() + "/app.exe";
  const std::string readme = ProgramFolder() + "/readme.txt";
  fs::rename(fs::u8path(app), fs::u8path(app + ".bkp"));
  std::ofstream(fs::u8path(app + ".tmp")) << "half";
  fs::rename(fs::u8path(readme), fs::u8path(readme + ".bkp"));
  sInstallContext context;
  Prepare(V2(), context);
  ASSERT_EQ(RunInstallerJob(context, nullptr), 0);
  ExpectInstalled(V2());
}

TEST_F(Job, AnOlderManagerIsReplacedASameOrNewerOneStays) {
#ifdef _WIN32
  GTEST_SKIP() << "the stand-in managers are scripts natively; tarnwick.exe answers under Wine";
#else
  struct Case {
    uint64_t version;
    bool replaced;
  } cases[] = {{0x0001000A00000000ull, true}, {GetOwnVersion(), false}, {0x0001000C00000000ull, false},
               {~0ull, true}};
  for (const Case& c : cases) {
    // A stand-in manager answering c.version (all ones: it writes nothing).
    std::string body = "#!/bin/sh\n";
    if (c.version != ~0ull) {
      uint8_t record[16];
      EncodeVersionRecord(c.version, record);
      body += "printf '";
      for (uint8_t b : record) {
        char e[8];
        std::snprintf(e, sizeof e, "\\%03o", b);
        body += e;
      }
      body += "'\n";
    }
    body += "# stand-in\n";
    fs::create_directories(fs::u8path(ManagerPath()).parent_path());
    std::ofstream(fs::u8path(ManagerPath())) << body;
    fs::permissions(fs::u8path(ManagerPath()), fs::perms::owner_all);
    sPackageSpec spec;
    spec.files["x.txt"] = "x";
    sInstallContext context;
    Prepare(spec, context);
    ASSERT_EQ(RunInstallerJob(context, nullptr), 0);
    EXPECT_EQ(FileContent(ManagerPath()) == FileContent(ProgramFile()), c.replaced) << c.version;
    EXPECT_EQ(SideFiles(), std::vector<std::string>{});
    fs::remove_all(fs::u8path(ProgramFolder()));
    DeleteUninstallEntry(codename_.c_str(), false);
    store_->DeleteKey(("install/" + Narrow(codename_)).c_str());
    store_->Save();
  }
#endif
}

// Interruption: the job stops (as a killed process would) right after one
// step's piece of work; the next run must end installed with nothing lost.
struct sStop {
  std::string step;
  int32_t index;
};
sStop gStopAt;
bool gStopArmed = false;

void StopHook(const char* step, int32_t index) {
  if (gStopArmed && gStopAt.step == step && gStopAt.index == index) {
    gStopArmed = false;
    throw std::runtime_error("stopped");
  }
}

class Interrupted : public twtest::InstallTest {
protected:
  void SetUp() override {
    InstallTest::SetUp();
    SetInstallerStepHook(StopHook);
  }
  void TearDown() override {
    SetInstallerStepHook(nullptr);
    InstallTest::TearDown();
  }
};

std::vector<sStop> StopPoints() {
  // Entries of V2 in list order: app.exe 0, data/keep.dat 1 (unchanged),
  // data/new.dat 2, readme.txt 3 (unchanged).
  return {{"unpacked", 0}, {"unpacked", 2}, {"backed-up", 0}, {"replaced", 0},
          {"replaced", 2}, {"shortcuts", -1}, {"manager", -1}, {"dropped", -1}, {"registered", -1},
          {"cleaned", -1}};
}

TEST_F(Interrupted, AnUpdateStoppedAnywhereIsCompletedByTheNextRun) {
  const sPackageSpec v1 = V1(), v2 = V2();
  ASSERT_EQ(Install(v1), 0);
  for (const sStop& stop : StopPoints()) {
    SCOPED_TRACE(stop.step + " " + std::to_string(stop.index));
    gStopAt = stop;
    gStopArmed = true;
    EXPECT_THROW(Install(v2), std::runtime_error);
    ASSERT_FALSE(gStopArmed) << "the stop point was never reached";
    // Nothing lost: every file of either version is at its place or in its
    // backup with one of the two contents.
    for (const auto& [relative, content] : v2.files) {
      const std::string path = ProgramFolder() + "/" + relative;
      std::string found = FileContent(path);
      if (found == "<missing>") found = FileContent(path + ".bkp");
      const auto old = v1.files.find(relative);
      const bool known = found == content || (old != v1.files.end() && found == old->second) ||
                         (old == v1.files.end() && found == "<missing>");
      EXPECT_TRUE(known) << relative;
    }
    // A run stopped after its registration has left only backups, which
    // this run resolves; one stopped after its clean-up has nothing to do.
    const int32_t again = Install(v2);
    EXPECT_TRUE(again == 0 || (again == tw::kStartNothingToDo && stop.step == "cleaned")) << again;
    ExpectInstalled(v2);
    ExpectRegistered(v2);
    EXPECT_EQ(Install(v2), tw::kStartNothingToDo);
    // Back to version 1 for the next point: uninstall by hand.
    fs::remove_all(fs::u8path(ProgramFolder()));
    store_ = OpenStore();
    store_->DeleteKey(("install/" + Narrow(codename_)).c_str());
    ASSERT_TRUE(store_->Save());
    DeleteUninstallEntry(codename_.c_str(), false);
    ASSERT_EQ(Install(v1), 0);
  }
}

TEST_F(Interrupted, AFirstInstallationStoppedAnywhereIsCompletedByTheNextRun) {
  const sPackageSpec v1 = V1();
  // Entries of V1: app.exe 0, data/keep.dat 1, data/old.dat 2, readme.txt 3.
  for (const sStop& stop : std::vector<sStop>{{"unpacked", 1}, {"replaced", 0}, {"replaced", 3},
                                              {"manager", -1}, {"registered", -1}}) {
    SCOPED_TRACE(stop.step + " " + std::to_string(stop.index));
    gStopAt = stop;
    gStopArmed = true;
    EXPECT_THROW(Install(v1), std::runtime_error);
    ASSERT_FALSE(gStopArmed);
    // After the registration nothing is left to do: no file was replaced.
    const int32_t again = Install(v1);
    EXPECT_TRUE(again == 0 || (again == tw::kStartNothingToDo && stop.step == "registered")) << again;
    ExpectInstalled(v1);
    ExpectRegistered(v1);
    fs::remove_all(fs::u8path(ProgramFolder()));
    store_ = OpenStore();
    store_->DeleteKey(("install/" + Narrow(codename_)).c_str());
    ASSERT_TRUE(store_->Save());
    DeleteUninstallEntry(codename_.c_str(), false);
  }
}

}  // namespace
