// The application runner: an application object (a cCIApplication
// subclass) and a configuration store, handed by the program's entry point
// to RunApplication, which makes the object current, opens the store, lets
// the object read its command line, starts the windowing (window factory,
// window classes, the toolkit's language packs), runs it and deletes it.
// Everything here runs on the main thread, the UI thread.
#pragma once

#include <cstdint>

#include "base/guardchar.h"

class cApplicationConfig;
class cWindowMaker;

class cCIApplication {
public:
  cCIApplication() = default;
  cCIApplication(const cCIApplication&) = delete;
  cCIApplication& operator=(const cCIApplication&) = delete;
  // Deletes the store, then the window factory.
  virtual ~cCIApplication();

  // Reads the command line (argv[0] is the program path as the system gave
  // it). False stops the program with the value left in exitCode (preset
  // to 1). The base answers true.
  virtual bool Init(int32_t argc, char16_t** argv, int32_t& exitCode);
  // Runs the program; the result is the process exit code. The base: 0.
  virtual int32_t Run();
  // After Run, before the object is deleted. The base does nothing.
  virtual void AfterRun();

  // The running application, null before and after RunApplication.
  static cCIApplication* GetCurrent();
  // The application's store (borrowed), null before RunApplication set it.
  cApplicationConfig* GetConfig() const { return config_; }
  cWindowMaker* GetWindowMaker() const { return windowMaker_; }
  const char16_t* GetProgramPath() const { return programPath_.text; }
  const char16_t* GetProgramFolder() const { return programFolder_.text; }
  void* GetInstance() const { return instance_; }

protected:
  // A subclass may install its own factory before RunApplication starts
  // the windowing (taken over).
  void SetWindowMaker(cWindowMaker* maker);

private:
  friend int32_t RunApplication(cCIApplication*, void*, intptr_t, int32_t, int32_t, char16_t**,
                                cApplicationConfig*, const char16_t*);

  cWindowMaker* windowMaker_ = nullptr;
  _guardchar<char16_t> programPath_;
  _guardchar<char16_t> programFolder_;
  void* instance_ = nullptr;
  cApplicationConfig* config_ = nullptr;
};

// Runs application (taken over, deleted before the return) with the store
// (taken over; null: a new cCIAppFullConfig) opened under storeName: Open,
// else Create and Open again. Returns the process exit code: 1 for a null
// application, a store that cannot be made or a windowing that cannot
// start; Init's exit code when Init refuses; else Run's result. The current
// application is null again whenever this returns.
int32_t RunApplication(cCIApplication* application, void* instance, intptr_t reserved,
                       int32_t iconGroupId, int32_t argc, char16_t** argv,
                       cApplicationConfig* store, const char16_t* storeName);

// Registers the window classes through maker (null: a new cWWMaker, deleted
// again on failure), creates the toolkit's language provider on the first
// call and chooses the current language, and hands maker the map of loaded
// language sections. Returns the factory, or null.
cWindowMaker* InitWindowing(void* instance, intptr_t reserved, int32_t iconGroupId,
                            cWindowMaker* maker);
