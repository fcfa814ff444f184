// Scenario files: whatever the text, the compiler ends without a fault or a
// leak, and a scenario it accepts gives a consistent description: languages,
// a codename and a licence for every language, install entries that name
// their payloads, and a package that the reader takes back unchanged.
//
// The input is written to a file in a private folder that holds a few
// documents and files for the scenario to name ("./eula.idx", "./tree", ...),
// and that folder is the current one while the compiler runs (only then:
// the fuzzer itself uses paths relative to its own current folder). Inputs
// whose text could name anything outside it (a '/' not right after '.',
// "..", ':', or a '\' other than in \") are skipped, so no run reads or
// packs files elsewhere.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "base/buffers.h"
#include "base/memio.h"
#include "base/strings.h"
#include "package/scenario.h"

namespace {

namespace fs = std::filesystem;

void WriteFile(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

fs::path* gFolder = nullptr;

void RemoveFolder() {
  if (gFolder == nullptr) return;
  std::error_code ec;
  fs::remove_all(*gFolder, ec);
}

// The private folder, made once.
void MakeFolder() {
  if (gFolder != nullptr) return;
  std::random_device random;
  const fs::path folder =
      fs::temp_directory_path() / ("tw-scenario-fuzz-" + std::to_string(random()) + std::to_string(random()));
  WriteFile(folder / "eula_en.txt", "Licence terms for everybody.");
  WriteFile(folder / "eula_de.txt", "Lizenzbedingungen <b>f\xC3\xBCr</b> alle.");
  WriteFile(folder / "eula.idx", "eng = \"./eula_en.txt\"\ndeu = \"./eula_de.txt\"\n");
  WriteFile(folder / "eula_en.idx", "eng = \"./eula_en.txt\"\n");
  WriteFile(folder / "welcome.idx", "eng = \"./eula_en.txt\"\ndeu = \"./eula_de.txt\"\n");
  WriteFile(folder / "program.exe", "MZ not really a program");
  WriteFile(folder / "empty.bin", "");
  WriteFile(folder / "tree" / "a.txt", "a");
  WriteFile(folder / "tree" / "sub" / "b.txt", "bb");
  gFolder = new fs::path(folder);
  std::atexit(RemoveFolder);
}

// The text as the compiler will read it, by the same byte-order marks.
std::u16string Decode(const uint8_t* data, size_t size) {
  std::u16string text;
  if (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) {
    _typebuf<char16_t> units;
    Utf8ToWordBuffer(static_cast<int32_t>(size - 3), units, reinterpret_cast<const char*>(data + 3));
    if (units.data != nullptr) text.assign(units.data, static_cast<size_t>(units.count));
    return text;
  }
  size_t start = 0;
  bool big = false;
  if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) start = 2;
  if (size >= 2 && data[0] == 0xFE && data[1] == 0xFF) {
    start = 2;
    big = true;
  }
  for (size_t i = start; i + 1 < size; i += 2)
    text += static_cast<char16_t>(big ? (data[i] << 8) | data[i + 1] : data[i] | (data[i + 1] << 8));
  return text;
}

bool StaysInside(const std::u16string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == u':') return false;
    // Only \" : other escapes could spell "..", a '/' or a network path.
    if (c == u'\\' && (i + 1 == text.size() || text[i + 1] != u'"')) return false;
    if (c == u'/' && (i == 0 || text[i - 1] != u'.')) return false;
    if (c == u'.' && i + 1 < text.size() && text[i + 1] == u'.') return false;
  }
  return true;
}

void Check(bool condition) {
  if (!condition) std::abort();
}

void CheckConsistent(cSOPKGDescription& desc) {
  Check(!desc.languageTables.IsEmpty());
  Check(desc.currentLanguage == desc.languageTables.First()->key);
  cPackedKey codename;
  codename.FromWide(u"codename", -1);
  Check(desc.commonTable.Find(codename) != nullptr);
  for (auto* n = desc.languageTables.First(); n != nullptr; n = tPkgLanguageTables::Next(n))
    Check(desc.eula.loader.GetContainer(n->key) != nullptr);
  for (auto* n = desc.installList.head; n != nullptr; n = n->next) Check(n->value.payloadIndex < desc.payloads.count);
  for (int i = 0; i < 4; ++i) Check(desc.version[i] <= 0xFFFF);

  cMemIOTarget out;
  Check(desc.Write(&out));
  _typebuf<char> bytes;
  Check(out.CopyToBuffer(bytes));
  cSOPKGDescription back;
  cBufWrapperIO in(bytes.data, static_cast<uint32_t>(bytes.count));
  Check(back.Read(&in));
  cMemIOTarget again;
  Check(back.Write(&again));
  _typebuf<char> bytes2;
  Check(again.CopyToBuffer(bytes2));
  Check(bytes2.count == bytes.count && std::memcmp(bytes.data, bytes2.data, static_cast<size_t>(bytes.count)) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 16)) return 0;
  if (!StaysInside(Decode(data, size))) return 0;
  MakeFolder();
  WriteFile(*gFolder / "scenario.txt", std::string(reinterpret_cast<const char*>(data), size));
  const fs::path outside = fs::current_path();
  fs::current_path(*gFolder);
  cSOPKGDescription desc;
  int line = 0;
  sScenarioDocError error;
  const int code = CompileScenario(u"./scenario.txt", desc, line, &error);
  fs::current_path(outside);
  Check(code >= 0 && code <= 27);
  if (code == kScenarioOk) {
    Check(line == -1);
    CheckConsistent(desc);
  }
  if (!error.path.empty()) Check(code >= kScenarioBadWelcome && code <= kScenarioBadEula);
  return 0;
}
