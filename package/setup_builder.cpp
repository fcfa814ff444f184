// The setup builder. See setup_builder.h.
#include "package/setup_builder.h"

#include <cstdarg>
#include <cstring>
#include <memory>
#include <vector>

#include "base/fileio.h"
#include "base/format.h"
#include "base/lists.h"
#include "base/paths.h"
#include "base/std_output.h"
#include "base/strings.h"
#include "base/time.h"
#include "package/cmd_block.h"
#include "package/description.h"
#include "package/pe_image.h"

namespace {

// The build log: the file beside the scenario, or the standard output when
// it cannot be created. Lines end with CR LF on every target, so that logs
// of the same build compare equal wherever it ran.
class cBuildLog {
public:
  explicit cBuildLog(const char16_t* scenarioPath) {
    _guardchar<char16_t> path;
    BuildLogPath(scenarioPath, path);
    if (!file.Create(path.text, kFileWrite | kFileShareRead)) file.Close();
  }

  void Print(const char* format, ...) {
    char text[2048];
    va_list args;
    va_start(args, format);
    FormatAV(text, sizeof text, format, args);
    va_end(args);
    std::vector<char> out;
    for (const char* p = text; *p; ++p) {
      if (*p == '\n') out.push_back('\r');
      out.push_back(*p);
    }
    if (out.empty()) return;
    // A log that cannot be written does not stop the build.
    if (file.IsOpen()) {
      file.WriteExact(out.data(), static_cast<uint32_t>(out.size()));
    } else {
      WriteStandardOutput(out.data(), static_cast<uint32_t>(out.size()));
    }
  }

private:
  cFileIO file;
};

// A path as the log shows it: UTF-8.
struct sLogText {
  explicit sLogText(const char16_t* path) { WideToUtf8(path, text, path ? WideLength(path) : 0); }
  const char* c_str() const { return text.text ? text.text : ""; }
  _guardchar<char> text;
};

bool ReadWhole(cFileIO& file, std::vector<uint8_t>& image) {
  const uint64_t size = file.GetSize();
  // The iCmd block records the length in 32 bits; FindCmdBlock refuses
  // larger files before this is reached.
  if (size > 0x7FFFFFFFu) return false;
  image.resize(static_cast<size_t>(size));
  return file.Seek(0) && (size == 0 || file.ReadExact(image.data(), static_cast<uint32_t>(size)));
}

// A path as the file functions take it (see MakeOpenablePath).
struct sFilePath {
  explicit sFilePath(const char16_t* path) {
    if (path != nullptr && *path != 0) MakeOpenablePath(text, path);
  }
  const char16_t* c_str() const { return text.text; }
  _guardchar<char16_t> text;
};

bool IsHeaderFailure(const char* line) {
  static const char* const kLines[] = {
      "(e) Unable to read header(1)!\n", "(e) Bad header(1)!\n", "(e) Unable to read header(2)m!\n",
      "(e) Bad header(2)!\n", "(e) Unable to read header(2)!\n", "(e) No opt header!\n",
      "(e) No sections defined!\n"};
  for (const char* l : kLines) {
    if (std::strcmp(l, line) == 0) return true;
  }
  return false;
}

bool IsSectionFailure(const char* line) {
  return std::strcmp(line, "(e) Unable to read sections!\n") == 0 ||
         std::strcmp(line, "(e) No resource section!\n") == 0;
}

// The smallest declared language becomes current, so that the version texts
// are those of the first language.
void SelectFirstLanguage(cSOPKGDescription& description) {
  cSimpleList<int32_t> languages;
  description.GetLanguages(languages);
  if (languages.head != nullptr) description.SelectLanguage(languages.head->value);
}

// Writes the program copy and the package to a temporary file beside the
// target and moves it into place. Returns 0 or 4.
int32_t SaveSetup(cBuildLog& log, const char16_t* targetPath, const std::vector<uint8_t>& image,
                  const cSOPKGDescription& description) {
  const int32_t capacity = WideLength(targetPath) + 8;
  auto temporary = std::make_unique<char16_t[]>(static_cast<size_t>(capacity));
  FormatW(temporary.get(), capacity, u"%s.tmp", targetPath);
  cFileIO target;
  if (!target.Create(temporary.get(), kFileWrite | kFileShareNone)) {
    log.Print("(e) Unable to create target file!\n");
    return 4;
  }
  const char* failure = nullptr;
  if (!target.WriteExact(image.data(), static_cast<uint32_t>(image.size()))) {
    failure = "(e) Save (1) failed!\n";
  } else if (!description.Write(&target)) {
    failure = "(e) Save (2) failed!\n";
  }
  target.Close();
  if (failure == nullptr) {
    // The finished file replaces an older target only now.
    if (GetPathKind(targetPath) == tw::kPathFile) DeleteFileLong(targetPath);
    if (!MoveFileLong(temporary.get(), targetPath)) failure = "(e) Unable to create target file!\n";
  }
  if (failure != nullptr) {
    DeleteFileLong(temporary.get());
    log.Print("%s", failure);
    return 4;
  }
  log.Print("(i) Saved SOPKG\n");
  return 0;
}

}  // namespace

void BuildLogPath(const char16_t* scenarioPath, _guardchar<char16_t>& logPath) {
  if (scenarioPath == nullptr) scenarioPath = u"";
  const int32_t capacity = WideLength(scenarioPath) + 8;
  auto text = std::make_unique<char16_t[]>(static_cast<size_t>(capacity));
  FormatW(text.get(), capacity, u"%s.log", scenarioPath);
  logPath.Assign(text.get());
}

int32_t BuildSetupWith(const tScenarioCompiler& compile, const char16_t* targetPath,
                       const char16_t* programFile, const char16_t* ownProgramPath,
                       const char16_t* scenarioPath) {
  const sFilePath scenario(scenarioPath), program(programFile), target(targetPath), own(ownProgramPath);
  cBuildLog log(scenario.c_str());

  cSOPKGDescription description;
  log.Print("(i) Loading scenario... ");
  int32_t line = 0;
  sBuildDocError docError;
  const int32_t code = compile ? compile(scenario.c_str(), description, line, docError) : 1;
  if (code == 0) {
    log.Print("OK!\n");
  } else if (code == 1) {
    log.Print("FAIL (No source file)\n");
  } else if (code == 2) {
    log.Print("ERROR:\n - at line %d: Unknown section!\n", line);
  } else {
    log.Print("ERROR:\n - at line %d: error code %d!\n", line, code);
  }
  if (docError.path.text != nullptr && *docError.path.text != 0) {
    // Lines and columns counted from 1, as an editor shows them.
    log.Print("(e) Document \"%s\", line %d, column %d: %s\n", sLogText(docError.path.text).c_str(),
              docError.line + 1, docError.column + 1, docError.message.text ? docError.message.text : "");
  }
  if (code != 0) return 1;
  // Installed files stay inside the program folder (description.h, rule f).
  if (!description.CheckInstallPaths()) {
    log.Print("(e) Every installed file must lie below $pgm, without \"..\" or an absolute path; "
              "\"pgm\" cannot be defined and \"folder\" must be a relative path!\n");
    return 1;
  }

  cFileIO programIn;
  if (programFile != nullptr && *programFile != 0) {
    log.Print("(i) Assuming \"%s\" is software manager...\n", sLogText(programFile).c_str());
    if (!programIn.Open(program.c_str(), kFileRead)) {
      log.Print("(e) Open \"%s\" failed!\n", sLogText(programFile).c_str());
      return 1;
    }
  } else if (own.c_str() == nullptr || !programIn.Open(own.c_str(), kFileRead)) {
    log.Print("(e) Open \"self\" failed!\n");
    return 1;
  }

  const int64_t blockOffset = FindCmdBlock(&programIn);
  if (blockOffset < 0) {
    log.Print("(e) No iCmd section in \"self\"!\n");
    return 2;
  }
  log.Print("(i) Opened \"self\" with iCmd at 0x%X\n", static_cast<uint32_t>(blockOffset));

  std::vector<uint8_t> image;
  if (!ReadWhole(programIn, image)) {
    log.Print("(e) Unable to read tarnwick!\n");
    return 4;
  }
  programIn.Close();

  sPeLayout layout;
  const char* errorLine = nullptr;
  const int32_t layoutCode = ReadPeLayout(image.data(), static_cast<uint32_t>(image.size()), layout, errorLine);
  if (layoutCode == 0 || !IsHeaderFailure(errorLine)) {
    log.Print("(i) Found opth at 0x%X (size: 0x%X)\n", layout.optHeaderOffset, layout.optHeaderSize);
  }
  if (layoutCode == 0 || (!IsHeaderFailure(errorLine) && !IsSectionFailure(errorLine))) {
    log.Print("(i) Found resources at 0x%X (size: 0x%X)\n", layout.rsrcRaw, layout.rsrcSize);
  }
  if (layoutCode != 0) {
    log.Print("%s", errorLine);
    return layoutCode;
  }
  log.Print("(i) Using lang section at 0x%X (VA: 0x%X), size: 0x%X, lang_id: 0x%X\n", layout.versionOffset,
            layout.versionRva, layout.versionSize, layout.versionLanguage);

  SelectFirstLanguage(description);
  sVersionTexts texts;
  texts.company = description.GetString(u"publisher");
  texts.description = description.GetString(u"name");
  texts.copyright = description.GetString(u"copyright");
  texts.product = description.GetString(u"name");
  const uint32_t day = BuildDayNumber(static_cast<uint64_t>(GetUnixTimeNow()));
  const std::vector<uint8_t> strings = BuildVersionStrings(texts, description.version, day);
  std::vector<uint8_t> resource;
  uint32_t needed = 0;
  if (!BuildVersionResource(strings, description.version, day, layout.versionSize, resource, needed)) {
    log.Print("(e) New expected version is too big (0x%X)!\n", needed);
    return 3;
  }
  log.Print("(i) Created new version info\n");

  const int32_t patchCode = PatchProgramImage(image, static_cast<uint32_t>(blockOffset), layout, resource, errorLine);
  if (patchCode != 0) {
    log.Print("%s", errorLine);
    return patchCode;
  }
  if (target.c_str() == nullptr) {
    log.Print("(e) Unable to create target file!\n");
    return 4;
  }
  return SaveSetup(log, target.c_str(), image, description);
}
