// The application runner. See gui/app.h.
#include "gui/app.h"

#include <new>

#include "base/app_config.h"
#include "base/full_config.h"
#include "base/paths.h"
#include "gui/language.h"
#include "gui/window_maker.h"

namespace {

cCIApplication* g_current = nullptr;
// The toolkit's language provider: made by the first InitWindowing, kept
// for the life of the process (providers never unregister).
cWEKTLang* g_frameworkLang = nullptr;

// Program path and folder from the first argument: normalised, the folder
// up to (not including) the last '/', "./" without one.
void SetProgramPath(const char16_t* arg, _guardchar<char16_t>& path, _guardchar<char16_t>& folder) {
  if (arg == nullptr) {
    path.Clear();
    folder.Assign(u"./");
    return;
  }
  path.Assign(arg);
  NormalizePath(path.text);
  int32_t lastSlash = -1;
  for (int32_t i = 0; path.text != nullptr && path.text[i] != 0; ++i)
    if (path.text[i] == u'/') lastSlash = i;
  if (lastSlash < 0)
    folder.Assign(u"./");
  else
    folder.AssignN(path.text, static_cast<uint32_t>(lastSlash));
}

}  // namespace

cCIApplication::~cCIApplication() {
  delete config_;
  config_ = nullptr;
  delete windowMaker_;
  windowMaker_ = nullptr;
}

bool cCIApplication::Init(int32_t, char16_t**, int32_t&) { return true; }
int32_t cCIApplication::Run() { return 0; }
void cCIApplication::AfterRun() {}
cCIApplication* cCIApplication::GetCurrent() { return g_current; }

void cCIApplication::SetWindowMaker(cWindowMaker* maker) {
  if (maker == windowMaker_) return;
  delete windowMaker_;
  windowMaker_ = maker;
}

cWindowMaker* InitWindowing(void* instance, intptr_t reserved, int32_t iconGroupId,
                            cWindowMaker* maker) {
  const bool made = maker == nullptr;
  if (made) {
    maker = new (std::nothrow) cWWMaker();
    if (maker == nullptr) return nullptr;
  }
  if (!maker->RegisterClasses(instance, reserved, iconGroupId)) {
    // Only a factory made here is ours to delete; a given one stays with
    // its owner.
    if (made) delete maker;
    return nullptr;
  }
  if (g_frameworkLang == nullptr) {
    g_frameworkLang = new cWEKTLang();  // registers itself
    const int32_t current = GetCurrentLanguage();
    if (current >= kNoLanguage)
      SetDefaultLanguage();
    else
      SetCurrentLanguage(current);
  }
  maker->sectionMap = &GetLanguageSections();
  return maker;
}

int32_t RunApplication(cCIApplication* application, void* instance, intptr_t reserved,
                       int32_t iconGroupId, int32_t argc, char16_t** argv,
                       cApplicationConfig* store, const char16_t* storeName) {
  if (application == nullptr) {
    delete store;
    return 1;
  }
  g_current = application;
  // Every early end deletes the application; the current pointer must not
  // outlive it.
  auto fail = [&](int32_t code) {
    g_current = nullptr;
    delete application;
    return code;
  };
  application->instance_ = instance;
  if (argc != 0 && argv != nullptr)
    SetProgramPath(argv[0], application->programPath_, application->programFolder_);
  if (store == nullptr) store = new (std::nothrow) cCIAppFullConfig();
  if (store != application->config_) {
    delete application->config_;
    application->config_ = store;
  }
  if (application->config_ == nullptr) return fail(1);
  if (!application->config_->Open(storeName)) {
    application->config_->Create(storeName);
    application->config_->Open(storeName);  // a second failure is not reported
  }
  int32_t exitCode = 1;
  if (!application->Init(argc, argv, exitCode)) return fail(exitCode);
  if (application->windowMaker_ != nullptr) {
    // A factory of the application's own: its classes must register too,
    // or no form could ever open.
    if (InitWindowing(instance, reserved, iconGroupId, application->windowMaker_) == nullptr) return fail(1);
  } else {
    application->SetWindowMaker(InitWindowing(instance, reserved, iconGroupId, nullptr));
  }
  if (application->windowMaker_ == nullptr) return fail(1);
  exitCode = application->Run();
  application->AfterRun();
  g_current = nullptr;
  delete application;
  return exitCode;
}
