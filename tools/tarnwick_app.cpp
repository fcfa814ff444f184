// The application object. See tarnwick_app.h.
#include "tools/tarnwick_app.h"

#include "base/app_config.h"
#include "base/strings.h"
#include "gui/font.h"
#include "gui/language.h"
#include "gui/theme.h"
#include "package/cmd_block.h"
#include "tools/app_language.h"
#include "tools/install_record.h"
#include "tools/modes.h"
#include "tools/version_record.h"

namespace {
constexpr int32_t kModeManager = 0;
constexpr int32_t kModeWizard = 1;
constexpr int32_t kModeSilent = 2;
constexpr int32_t kModeUninstall = 3;
constexpr int32_t kModeUpdate = 4;
constexpr int32_t kModeMake = 5;
constexpr int32_t kModeRemove = 6;
constexpr int32_t kModeVersion = 7;

bool Is(const char16_t* argument, const char16_t* verb) { return CompareWide(argument, verb) == 0; }
}  // namespace

bool cTarnwickApp::Init(int32_t argc, char16_t** argv, int32_t& exitCode) {
  if (!cCIApplication::Init(argc, argv, exitCode)) return false;
  SetTheme(&DefaultThemeTables());
  cCIApplication* current = cCIApplication::GetCurrent();
  if (current == nullptr || current->GetConfig() == nullptr) return false;
  ChooseStartLanguage(current->GetConfig());
  return ChooseMode(argc, argv, OwnCmdBlock());
}

bool cTarnwickApp::ChooseMode(int32_t argc, char16_t** argv, const uint8_t* cmdBlock) {
  mode_ = kModeManager;
  packageOffset_ = 0;
  quiet_ = false;
  programPath_.Assign(argc > 0 && argv != nullptr ? argv[0] : nullptr);

  // A setup file installs its package whatever verb follows; only "silent"
  // changes how.
  _guardchar<char16_t> packagePath;
  uint32_t offset = 0;
  if (LocatePackageInBlock(cmdBlock, packagePath, programPath_.text, offset)) {
    firstArg_ = std::move(packagePath);
    packageOffset_ = offset;
    mode_ = argc >= 2 && Is(argv[1], u"silent") ? kModeSilent : kModeWizard;
    return true;
  }
  if (argc <= 1) return true;

  const char16_t* verb = argv[1];
  if (Is(verb, u"install")) {
    if (argc < 3) return false;
    firstArg_.Assign(argv[2]);
    if (argc >= 4) {
      // Unreadable text gives all ones and is ignored like a value that
      // does not fit 32 bits.
      const uint64_t value = static_cast<uint64_t>(ParseInt64W(argv[3]));
      if (value < 0xFFFFFFFFull) packageOffset_ = static_cast<uint32_t>(value);
    }
    mode_ = kModeWizard;
  } else if (Is(verb, u"uninstall")) {
    if (argc < 3) return false;
    firstArg_.Assign(argv[2]);
    mode_ = kModeUninstall;
  } else if (Is(verb, u"update")) {
    if (argc < 3) return false;
    firstArg_.Assign(argv[2]);
    quiet_ = argc >= 4 && Is(argv[3], u"quite");
    mode_ = kModeUpdate;
  } else if (Is(verb, u"make")) {
    if (argc != 4 && argc != 5) return false;
    firstArg_.Assign(argv[2]);
    secondArg_.Assign(argv[3]);
    thirdArg_.Assign(argc == 5 ? argv[4] : u"");
    mode_ = kModeMake;
  } else if (Is(verb, u"remove")) {
    mode_ = kModeRemove;
  } else if (Is(verb, u"version")) {
    mode_ = kModeVersion;
  } else {
    return false;
  }
  return true;
}

int32_t cTarnwickApp::Run() {
  switch (mode_) {
    case kModeManager:
      return RunManagerWindow();
    case kModeWizard:
      return RunInstallWizard(programPath_.text, firstArg_.text, packageOffset_);
    case kModeSilent:
      return RunSilentInstall(programPath_.text, firstArg_.text, packageOffset_);
    case kModeUninstall:
      return RunUninstall(firstArg_.text, nullptr);
    case kModeUpdate:
      return RunUpdateMode(firstArg_.text, quiet_);
    case kModeMake:
      return BuildSetup(secondArg_.text, thirdArg_.text, programPath_.text, firstArg_.text);
    case kModeRemove:
      return RunRemoveManager(programPath_.text, nullptr) ? 0 : 1;
    case kModeVersion:
      return WriteVersionRecord();
    default:
      return 0;
  }
}
