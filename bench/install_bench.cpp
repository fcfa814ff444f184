// A silent installation of a ~25 MB payload under Wine: our setup file
// (tarnwick.exe of the win32 build with the package appended, started with
// "silent") against an NSIS installer of the same files (Debian's makensis,
// started with /S), alternating in one run, each into a fresh folder. The
// medians give the ratio (NSIS time / our time, so 1 or more means not
// slower). Both installers are 32-bit programs: on a machine whose kernel
// runs no 32-bit programs the benchmark says so and stops.
//
// Needs: build/win32/tarnwick.exe (or TW_SETUP_PROGRAM), makensis, and a
// Wine prefix (TW_WINEPREFIX, else build/bench/install-wineprefix made by
// scripts/wine-prefix.sh).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "base/fileio.h"
#include "base/memio.h"
#include "package/cmd_block.h"
#include "package/description.h"
#include "package/payload.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFiles = 25;
constexpr size_t kFileBytes = size_t{1} << 20;
constexpr int kRuns = 5;

std::string gRoot;      // the bench's temporary folder
std::vector<std::string> gOurSetups;  // one per run: each a first installation
std::string gNsisSetup;
int gRun = 0;
int gNsisRun = 0;

std::string Shell(const std::string& command) {
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
  }
  return out;
}

std::u16string U16(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// Program-like bytes that deflate to about a third, different per file.
std::string FileBytes(int index) {
  std::string out(kFileBytes, '\0');
  uint32_t x = 0x9E3779B9u * static_cast<uint32_t>(index + 1);
  for (size_t i = 0; i < out.size(); ++i) {
    x = x * 1103515245u + 12345u;
    out[i] = (i % 4 == 0) ? static_cast<char>(x >> 24) : static_cast<char>("MOVPUSHCALLRET\0\0"[(x >> 16) & 15]);
  }
  return out;
}

void Put(tPkgStringTable& table, const char16_t* key, const char16_t* value) {
  cPackedKey k;
  k.FromWide(key, -1);
  table.FindOrInsert(std::move(k))->Assign(value);
}

// The setups differ only in codename and folder, so that each run is a first
// installation into its own folder whatever the prefix remembers.
bool MakeOurSetups(const std::string& program, int count) {
  cSOPKGDescription d;
  Put(*d.LanguageTable(0), u"name", u"Install bench");
  d.version[0] = 1;
  for (int i = 0; i < kFiles; ++i) {
    const std::string bytes = FileBytes(i);
    cMemIOTarget source;
    source.Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
    const int32_t index = AddPayloadFromStream(&source, d.payloads);
    if (index < 0) return false;
    sInstallEntry* e = d.AddInstallEntry();
    e->payloadIndex = static_cast<uint32_t>(index);
    e->folderKey.Assign(u"pgm");
    e->relativePath.Assign(U16("file" + std::to_string(i) + ".bin").c_str());
    e->flag32 = e->flag64 = 1;
  }
  cFileIO exe;
  if (!exe.Open(U16(program).c_str(), kFileRead)) return false;
  const int64_t at = FindCmdBlock(&exe);
  if (at < 0) return false;
  std::ifstream in(program, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  std::string image = s.str();
  uint8_t block[tw::kCmdBlockSize];
  if (!WriteCmdBlock(block, static_cast<uint32_t>(at), static_cast<uint32_t>(image.size()), nullptr, 0)) {
    return false;
  }
  std::memcpy(image.data() + at, block, sizeof block);
  for (int k = 0; k < count; ++k) {
    const std::string name = "TwBench-" + std::to_string(::getpid()) + "-" + std::to_string(k);
    Put(d.commonTable, u"codename", U16(name).c_str());
    Put(d.commonTable, u"folder", U16(name).c_str());
    const std::string path = gRoot + "/setup-" + std::to_string(k) + ".exe";
    std::ofstream(path, std::ios::binary) << image;
    cFileIO out;
    if (!out.Open(U16(path).c_str(), kFileRead | kFileWrite) || !out.Seek(image.size()) || !d.Write(&out)) {
      return false;
    }
    gOurSetups.push_back(path);
  }
  return true;
}

bool MakeNsisSetup() {
  fs::create_directories(gRoot + "/payload");
  for (int i = 0; i < kFiles; ++i) {
    std::ofstream(gRoot + "/payload/file" + std::to_string(i) + ".bin", std::ios::binary) << FileBytes(i);
  }
  gNsisSetup = gRoot + "/nsis_setup.exe";
  std::ofstream(gRoot + "/bench.nsi") << "OutFile \"" << gNsisSetup << "\"\n"
                                      << "InstallDir \"$PROGRAMFILES\\TwBenchNsis\"\n"
                                      << "SetCompressor /SOLID zlib\n"
                                      << "RequestExecutionLevel user\n"
                                      << "Section\n  SetOutPath \"$INSTDIR\"\n  File \"" << gRoot
                                      << "/payload/*.bin\"\nSectionEnd\n";
  Shell("makensis -V1 \"" + gRoot + "/bench.nsi\" 2>&1");
  return fs::exists(gNsisSetup);
}

std::string WineCommand() {
  return std::string(TW_SOURCE_ROOT) + "/scripts/wine.sh";
}

double Seconds(const std::string& command) {
  const auto a = std::chrono::steady_clock::now();
  const int rc = std::system(command.c_str());
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - a).count();
  return rc == 0 ? s : -1;
}

// Our installation goes to the prefix's Program Files (Wine sets that
// folder's variables itself); the folder is removed afterwards.
double RunOurs() {
  const int k = gRun++;
  if (k >= static_cast<int>(gOurSetups.size())) return -1;
  const double s = Seconds(WineCommand() + " '" + gOurSetups[k] + "' silent");
  const std::string name = "TwBench-" + std::to_string(::getpid()) + "-" + std::to_string(k);
  fs::remove_all(std::string(std::getenv("TW_WINEPREFIX")) + "/drive_c/Program Files/" + name);
  return s;
}

double RunNsis() {
  const std::string dir = gRoot + "/nsis" + std::to_string(gNsisRun++);
  fs::create_directories(dir);
  std::string target = "Z:" + dir;
  std::replace(target.begin(), target.end(), '/', '\\');
  const double s = Seconds(WineCommand() + " '" + gNsisSetup + "' /S '/D=" + target + "'");
  fs::remove_all(dir);
  return s;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void BM_SilentInstallOurs(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(RunOurs());
}
void BM_SilentInstallNsis(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(RunNsis());
}

}  // namespace

int main(int argc, char** argv) {
  const std::string flavour = Shell(std::string(TW_SOURCE_ROOT) + "/scripts/windows-flavour.sh");
  if (flavour.rfind("win32", 0) != 0) {
    std::printf("install_bench: skipped. Both installers are 32-bit Windows programs and this machine's\n"
                "kernel runs no 32-bit programs (scripts/windows-flavour.sh says %s).\n",
                flavour.empty() ? "nothing" : flavour.c_str());
    return 0;
  }
  const char* program = std::getenv("TW_SETUP_PROGRAM");
  const std::string exe = program != nullptr ? program : std::string(TW_SOURCE_ROOT) + "/build/win32/tarnwick.exe";
  if (!fs::exists(exe) || Shell("command -v makensis").empty()) {
    std::printf("install_bench: skipped: needs %s (make win32) and makensis (package nsis).\n", exe.c_str());
    return 0;
  }
  if (std::getenv("TW_WINEPREFIX") == nullptr) {
    static std::string prefix = "TW_WINEPREFIX=" + std::string(TW_SOURCE_ROOT) + "/build/bench/install-wineprefix";
    putenv(prefix.data());
    Shell(std::string(TW_SOURCE_ROOT) + "/scripts/wine-prefix.sh setup >/dev/null 2>&1");
  }
  gRoot = fs::temp_directory_path().generic_string() + "/tw-install-bench-" + std::to_string(::getpid());
  fs::create_directories(gRoot);
  if (!MakeOurSetups(exe, kRuns + 3) || !MakeNsisSetup()) {
    std::printf("install_bench: could not build the two installers\n");
    fs::remove_all(gRoot);
    return 1;
  }
  std::vector<double> ours, nsis;
  bool failed = false;
  for (int i = 0; i < kRuns; ++i) {
    const double a = RunOurs(), b = RunNsis();
    failed |= a < 0 || b < 0;
    ours.push_back(a);
    nsis.push_back(b);
  }
  const double mib = kFiles * static_cast<double>(kFileBytes) / (1 << 20);
  std::printf("%d files, %.0f MiB: NSIS %.2f s, ours %.2f s, ratio %.3f (median of %d)%s\n", kFiles, mib,
              Median(nsis), Median(ours), Median(nsis) / Median(ours), kRuns,
              failed ? "  A RUN FAILED" : "");
  benchmark::Initialize(&argc, argv);
  benchmark::RegisterBenchmark("BM_SilentInstallOurs", BM_SilentInstallOurs)->Unit(benchmark::kMillisecond)->Iterations(3);
  benchmark::RegisterBenchmark("BM_SilentInstallNsis", BM_SilentInstallNsis)->Unit(benchmark::kMillisecond)->Iterations(3);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  fs::remove_all(gRoot);
  return failed ? 1 : 0;
}
