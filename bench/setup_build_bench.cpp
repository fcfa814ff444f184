// Building a setup file from ~25 MB of mixed files, against Debian's
// makensis with solid zlib compression on the same files in the same run.
// Ours: BuildSetupWith over a small program image, the files added as the
// scenario compiler adds them (each file read and deflated on its own), the
// package written after the patched program. The peer: makensis -V1 of a
// script that packs the same folder with SetCompressor /SOLID zlib. The two
// alternate; medians give the time ratio (peer / ours, above 1 means faster
// than makensis) and the size ratio (ours / peer, below 1 means smaller).
// Sizes are compared without each side's program part: our program image
// and makensis' installer stub (the size of an installer of one empty file).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/fileio.h"
#include "package/description.h"
#include "package/setup_builder.h"
#include "tests/support/pe_fixture.h"

namespace {

namespace fs = std::filesystem;

std::string gDir;
std::string gPayload;
std::vector<std::string> gFiles;  // relative to gPayload, sorted
uint64_t gBytes = 0;
size_t gProgramSize = 0;

std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// One file's bytes by kind: 0 text (source-like, deflates well), 1 noise
// (already compressed data, does not deflate), 2 records (binary tables with
// repeats), 3 a copy of an earlier text file with small edits (where a solid
// archive gains).
std::vector<unsigned char> FileBytes(int kind, int index, size_t size) {
  static const char* words[] = {"int ", "return ", "window", "->Draw(", "value", " = ", ";\n", "  if (",
                                "folder", "package", "){\n", "}\n", "0x1F2E", "Tarnwick", ", ", "// "};
  std::vector<unsigned char> b;
  b.reserve(size + 16);
  uint32_t x = static_cast<uint32_t>(index) * 2654435761u + 12345;
  auto next = [&] { return x = x * 1664525u + 1013904223u; };
  while (b.size() < size) {
    switch (kind) {
      case 1:
        b.push_back(static_cast<unsigned char>(next() >> 24));
        break;
      case 2: {
        const uint32_t id = static_cast<uint32_t>(b.size() / 16);
        const uint32_t r = next();
        const unsigned char rec[16] = {static_cast<unsigned char>(id), static_cast<unsigned char>(id >> 8), 0, 0,
                                       static_cast<unsigned char>(r >> 28), 0, 0, 0, 'R', 'E', 'C', ' ',
                                       static_cast<unsigned char>(r >> 16), 0xFF, 0, 0};
        b.insert(b.end(), rec, rec + 16);
        break;
      }
      default: {
        const char* w = words[(next() >> 12) % 16];
        b.insert(b.end(), w, w + std::strlen(w));
      }
    }
  }
  b.resize(size);
  return b;
}

void WriteBytes(const std::string& path, const std::vector<unsigned char>& b) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

void Prepare() {
  char dir[] = "/tmp/tw_setup_bench_XXXXXX";
  if (mkdtemp(dir) == nullptr) std::abort();
  gDir = dir;
  gPayload = gDir + "/payload";
  // 120 files in four folders, 25 MiB in all.
  const size_t total = size_t{25} << 20;
  const int files = 120;
  const char* folders[] = {"src", "media", "data", "src/old"};
  for (const char* f : folders) fs::create_directories(gPayload + "/" + f);
  std::vector<std::vector<unsigned char>> texts;
  size_t left = total;
  for (int i = 0; i < files && left > 0; ++i) {
    const int kind = i % 10 < 4 ? 0 : i % 10 < 6 ? 1 : i % 10 < 8 ? 2 : 3;
    size_t size = i + 1 == files ? left : (total / files) / 2 + (static_cast<size_t>(i) * 7919) % (total / files);
    size = std::min(size, left);
    left -= size;
    std::vector<unsigned char> bytes;
    if (kind == 3 && !texts.empty()) {
      bytes = texts[static_cast<size_t>(i) % texts.size()];
      bytes.resize(size, ' ');
      for (size_t k = 0; k < bytes.size(); k += 4099) bytes[k] = static_cast<unsigned char>('A' + i % 26);
    } else {
      bytes = FileBytes(kind == 3 ? 0 : kind, i, size);
    }
    if (kind == 0) texts.push_back(bytes);
    const std::string rel = std::string(folders[kind]) + "/file" + std::to_string(i) + (kind == 1 ? ".jpg" : ".dat");
    WriteBytes(gPayload + "/" + rel, bytes);
    gFiles.push_back(rel);
    gBytes += bytes.size();
  }
  std::sort(gFiles.begin(), gFiles.end());
  const std::vector<uint8_t> program = twtest::MakeProgramImage();
  gProgramSize = program.size();
  WriteBytes(gDir + "/tarnwick.exe", std::vector<unsigned char>(program.begin(), program.end()));
  std::ofstream nsi(gDir + "/bench.nsi");
  nsi << "Unicode true\nSetCompressor /SOLID zlib\nName \"bench\"\nOutFile \"${OUT}\"\n"
         "InstallDir \"$PROGRAMFILES\\bench\"\nRequestExecutionLevel user\n"
         "Section\n  SetOutPath \"$INSTDIR\"\n  File /r \"${PAYLOAD}/*\"\nSectionEnd\n";
  fs::create_directories(gDir + "/empty");
  WriteBytes(gDir + "/empty/one", {'x'});
}

int32_t AddFiles(const char16_t*, cSOPKGDescription& d, int32_t&, sBuildDocError&) {
  d.version[0] = 1;
  for (const std::string& rel : gFiles) {
    cFileIO in;
    if (!in.Open(Wide(gPayload + "/" + rel).c_str(), kFileRead)) return 26;
    const int32_t index = AddPayloadFromStream(&in, d.payloads);
    if (index < 0) return 26;
    sInstallEntry* e = d.AddInstallEntry();
    e->payloadIndex = static_cast<uint32_t>(index);
    e->folderKey.Assign(u"pgm");
    e->relativePath.Assign(Wide(rel).c_str());
    e->flag32 = e->flag64 = 1;
  }
  return 0;
}

bool BuildOurs() {
  const std::u16string target = Wide(gDir + "/ours.exe"), program = Wide(gDir + "/tarnwick.exe"),
                       scenario = Wide(gDir + "/bench.scn");
  return BuildSetupWith(AddFiles, target.c_str(), program.c_str(), nullptr, scenario.c_str()) == 0;
}

bool BuildNsis(const std::string& payload, const std::string& out) {
  const std::string command = "makensis -V1 '-DPAYLOAD=" + payload + "' '-DOUT=" + out + "' '" + gDir +
                              "/bench.nsi' > /dev/null";
  return std::system(command.c_str()) == 0;
}

uint64_t SizeOf(const std::string& path) {
  std::error_code ec;
  const uint64_t s = fs::file_size(path, ec);
  return ec ? 0 : s;
}

double Seconds(const std::chrono::steady_clock::time_point& a) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - a).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void CompareAlternating() {
  constexpr int kRuns = 3;
  std::vector<double> peer, ours;
  bool ok = BuildNsis(gDir + "/empty", gDir + "/stub.exe");
  const uint64_t stub = SizeOf(gDir + "/stub.exe");
  for (int i = 0; i < kRuns; ++i) {
    auto t = std::chrono::steady_clock::now();
    ok &= BuildNsis(gPayload, gDir + "/nsis.exe");
    peer.push_back(Seconds(t));
    t = std::chrono::steady_clock::now();
    ok &= BuildOurs();
    ours.push_back(Seconds(t));
  }
  const uint64_t oursSize = SizeOf(gDir + "/ours.exe") - gProgramSize;
  const uint64_t nsisSize = SizeOf(gDir + "/nsis.exe") - stub;
  const double mib = static_cast<double>(gBytes) / (1 << 20);
  std::printf("%zu files, %.1f MiB: makensis (solid zlib) %.2f s, tarnwick make %.2f s, time ratio %.3f (median of %d)\n",
              gFiles.size(), mib, Median(peer), Median(ours), Median(peer) / Median(ours), kRuns);
  std::printf("  packed: makensis %llu bytes (after its %llu-byte stub), ours %llu bytes (after the %zu-byte "
              "program): size ratio %.3f%s\n",
              static_cast<unsigned long long>(nsisSize), static_cast<unsigned long long>(stub),
              static_cast<unsigned long long>(oursSize), gProgramSize,
              static_cast<double>(oursSize) / static_cast<double>(nsisSize), ok ? "" : "  A BUILD FAILED");
}

void BM_Makensis(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(BuildNsis(gPayload, gDir + "/nsis.exe"));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(gBytes));
}
BENCHMARK(BM_Makensis)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

void BM_TarnwickMake(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(BuildOurs());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(gBytes));
}
BENCHMARK(BM_TarnwickMake)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

}  // namespace

int main(int argc, char** argv) {
  Prepare();
  CompareAlternating();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ec;
  fs::remove_all(gDir, ec);
  return 0;
}
