// Win32 side of starting other programs: CreateProcessW with pipes, a drain
// thread on the output pipe, ShellExecuteExW. See base/process.h.
#include <windows.h>
#include <process.h>
#include <shellapi.h>

#include <atomic>
#include <new>

#include "base/guardchar.h"
#include "base/process.h"
#include "base/process_internal.h"
#include "base/win_text.h"

namespace {

HANDLE AsHandle(intptr_t h) { return reinterpret_cast<HANDLE>(h); }
intptr_t FromHandle(HANDLE h) { return reinterpret_cast<intptr_t>(h); }

// How long a terminated child is given to be gone before Terminate returns,
// so that the next child starts after the previous one has ended.
constexpr DWORD kTerminateWaitMs = 5000;
// How long stopping the drain keeps cancelling its read.
constexpr ULONGLONG kDrainStopBoundMs = 2000;

// Pipe ends are made inheritable for the moment between their creation and
// the start of the child they are for. A child started with an explicit
// handle list (cConProcess) takes only the handles in its list, whatever
// else is inheritable then; one started with every inheritable handle
// (RunCommandLine) would take another thread's pipe ends, and with them
// keep that thread's pipes from ever reaching their end. The lock keeps the
// two apart: shared while a cConProcess has inheritable ends, exclusive
// around a start that inherits everything.
SRWLOCK g_inheritLock = SRWLOCK_INIT;

// CreateProcessW may write into the command line: it gets a copy.
bool CreateChild(const char16_t* commandLine, BOOL inheritHandles, DWORD flags, STARTUPINFOW* startup,
                 PROCESS_INFORMATION* info) {
  _guardchar<char16_t> writable(commandLine);
  if (writable.text == nullptr) return false;
  return CreateProcessW(nullptr, tw::ToWin(writable.text), nullptr, nullptr, inheritHandles,
                        NORMAL_PRIORITY_CLASS | flags, nullptr, nullptr, startup, info) != 0;
}

// An attribute list naming exactly the handles a child is to inherit.
class cHandleList {
public:
  cHandleList(HANDLE* handles, int count) {
    SIZE_T size = 0;
    // The first call only reports the size (and fails with
    // ERROR_INSUFFICIENT_BUFFER).
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    if (size == 0) return;
    storage_ = new (std::nothrow) char[size];
    if (storage_ == nullptr) return;
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_);
    if (InitializeProcThreadAttributeList(list, 1, 0, &size) == 0) return;
    initialised_ = true;
    if (UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles,
                                  sizeof(HANDLE) * static_cast<SIZE_T>(count), nullptr, nullptr) != 0)
      list_ = list;
  }
  ~cHandleList() {
    if (initialised_) DeleteProcThreadAttributeList(reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_));
    delete[] storage_;
  }
  cHandleList(const cHandleList&) = delete;
  cHandleList& operator=(const cHandleList&) = delete;

  // Null when the list could not be made.
  LPPROC_THREAD_ATTRIBUTE_LIST List() const { return list_; }

private:
  char* storage_ = nullptr;
  bool initialised_ = false;
  LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

}  // namespace

// Reads the child's output pipe until every writer has closed it (the child
// and whatever inherited the pipe from it) or a stop cancels the read, and
// discards what it reads.
class cOutputDrain {
public:
  explicit cOutputDrain(HANDLE pipe) : pipe_(pipe) {}

  bool Start() {
    thread_ = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &Main, this, 0, nullptr));
    return thread_ != nullptr;
  }

  // True when the thread has ended; it then no longer uses the pipe.
  bool Stop() {
    stop_.store(true);
    const ULONGLONG start = GetTickCount64();
    // A cancel that comes before the thread enters ReadFile finds nothing to
    // cancel, hence the retries.
    while (WaitForSingleObject(thread_, 1) == WAIT_TIMEOUT) {
      if (GetTickCount64() - start >= kDrainStopBoundMs) return false;
      CancelSynchronousIo(thread_);
    }
    CloseHandle(thread_);
    thread_ = nullptr;
    return true;
  }

private:
  static unsigned __stdcall Main(void* arg) {
    auto* self = static_cast<cOutputDrain*>(arg);
    DWORD got = 0;
    while (!self->stop_.load() && ReadFile(self->pipe_, self->buffer_, sizeof(self->buffer_), &got, nullptr)) {
    }
    return 0;
  }

  HANDLE pipe_;
  HANDLE thread_ = nullptr;
  std::atomic<bool> stop_{false};
  char buffer_[65536];
};

bool cConProcess::Start(const char16_t* commandLine) {
  Close();
  exitCode_ = 0;
  if (commandLine == nullptr || commandLine[0] == 0) return false;

  SECURITY_ATTRIBUTES inheritable = {};
  inheritable.nLength = sizeof(inheritable);
  inheritable.bInheritHandle = TRUE;

  AcquireSRWLockShared(&g_inheritLock);
  // The parent's ends are made not inheritable, and the child's ends go to
  // this child alone through its handle list: a child that another thread
  // starts meanwhile gets neither.
  HANDLE outRead = nullptr, outWrite = nullptr, inRead = nullptr, inWrite = nullptr;
  if (CreatePipe(&outRead, &outWrite, &inheritable, 0) == 0) {
    ReleaseSRWLockShared(&g_inheritLock);
    return false;
  }
  if (SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0) == 0 ||
      CreatePipe(&inRead, &inWrite, &inheritable, 0) == 0) {
    CloseHandle(outRead);
    CloseHandle(outWrite);
    ReleaseSRWLockShared(&g_inheritLock);
    return false;
  }
  // Nothing ever writes to the child: its input is closed at once below.
  CloseHandle(inWrite);

  HANDLE childEnds[2] = {inRead, outWrite};
  cHandleList handleList(childEnds, 2);
  STARTUPINFOEXW startup = {};
  startup.StartupInfo.cb = sizeof(startup);
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = inRead;
  startup.StartupInfo.hStdOutput = outWrite;
  startup.StartupInfo.hStdError = outWrite;
  startup.lpAttributeList = handleList.List();
  PROCESS_INFORMATION info = {};
  const bool started = startup.lpAttributeList != nullptr &&
                       CreateChild(commandLine, TRUE, EXTENDED_STARTUPINFO_PRESENT, &startup.StartupInfo, &info);
  // The parent's copies of the child's ends: once closed, the pipes end
  // when the child (and what it passed them to) closes them.
  CloseHandle(inRead);
  CloseHandle(outWrite);
  ReleaseSRWLockShared(&g_inheritLock);
  if (!started) {
    CloseHandle(outRead);
    return false;
  }
  CloseHandle(info.hThread);
  process_ = FromHandle(info.hProcess);
  output_ = FromHandle(outRead);
  if (!StartDrain()) {
    // A child whose output nobody reads could block: do not leave it.
    Close();
    return false;
  }
  return true;
}

bool cConProcess::StartDrain() {
  drain_ = new (std::nothrow) cOutputDrain(AsHandle(output_));
  if (drain_ == nullptr) return false;
  if (drain_->Start()) return true;
  delete drain_;
  drain_ = nullptr;
  return false;
}

void cConProcess::StopDrain() {
  if (drain_ == nullptr) return;
  if (!drain_->Stop()) {
    // The thread still reads: it keeps the pipe and its own state, which are
    // let go rather than freed under it.
    drain_ = nullptr;
    output_ = -1;
    return;
  }
  delete drain_;
  drain_ = nullptr;
}

bool cConProcess::Poll() {
  if (process_ == -1) return false;
  // A zero-time wait tells the end; the exit code alone cannot, since a
  // child may exit with 259 (STILL_ACTIVE).
  if (WaitForSingleObject(AsHandle(process_), 0) == WAIT_OBJECT_0) {
    DWORD code = 0;
    if (GetExitCodeProcess(AsHandle(process_), &code) != 0) exitCode_ = static_cast<int32_t>(code);
    ReleaseProcess();
  }
  return true;
}

bool cConProcess::Terminate() {
  if (process_ == -1) return true;
  const HANDLE process = AsHandle(process_);
  if (WaitForSingleObject(process, 0) == WAIT_OBJECT_0) {
    DWORD code = 0;
    if (GetExitCodeProcess(process, &code) != 0) exitCode_ = static_cast<int32_t>(code);
    ReleaseProcess();
    return true;
  }
  if (TerminateProcess(process, 1) == 0) return false;
  // Termination completes asynchronously.
  WaitForSingleObject(process, kTerminateWaitMs);
  ReleaseProcess();
  return true;
}

void cConProcess::Close() {
  if (process_ != -1) Terminate();
  StopDrain();
  if (output_ != -1) {
    CloseHandle(AsHandle(output_));
    output_ = -1;
  }
}

void cConProcess::ReleaseProcess() {
  CloseHandle(AsHandle(process_));
  process_ = -1;
}

bool RunCommandLine(const char16_t* commandLine) {
  if (commandLine == nullptr || commandLine[0] == 0) return false;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  AcquireSRWLockExclusive(&g_inheritLock);
  const bool started = CreateChild(commandLine, TRUE, 0, &startup, &info);
  ReleaseSRWLockExclusive(&g_inheritLock);
  if (!started) return false;
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return true;
}

namespace tw {

bool ShellOpen(const char16_t* text) {
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_FLAG_NO_UI;
  info.lpVerb = L"open";
  info.lpFile = ToWin(text);
  info.nShow = SW_SHOWNORMAL;
  if (ShellExecuteExW(&info) == 0) return false;
  // Values up to 32 are the shell's error codes.
  return reinterpret_cast<INT_PTR>(info.hInstApp) > 32;
}

}  // namespace tw
