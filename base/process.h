// Starting other programs.
//
// cConProcess runs a console command line with its standard streams on
// pipes and lets its one user thread (as a rule a worker job) poll for the
// end and the exit code. Two things keep such a child from hanging while its
// parent only polls:
//  - its standard input is a pipe that is at its end from the start (nothing
//    in the system writes to a child), so a child that reads input gets
//    end-of-file instead of waiting forever;
//  - its standard output and error go to a pipe that a drain thread of the
//    object reads continuously and discards, so a child that writes more
//    than the pipe holds never blocks.
// A child inherits exactly its own standard streams, nothing else the
// program holds, even while another thread starts a child at the same
// moment (Win32: a handle list; natively: every other descriptor closed in
// the child): a pipe end that leaked into another child would keep its pipe
// from ever reaching its end.
// Win32 starts the command line with CreateProcessW; the native build runs
// it through /bin/sh -c with posix_spawn, so that exit codes are those of
// the shell: a program that cannot be found starts (Start is true) and ends
// with 127, and a signal-killed child reports 128 + the signal number.
// Null or empty command lines start nothing on either.
//
// RunCommandLine starts a command line and forgets it; OpenOrRunFile runs a
// command line with arguments or opens a file, folder or address with the
// shell's "open" verb (natively: with xdg-open, as a stand-in).
#pragma once

#include <cstdint>

class cOutputDrain;  // the platform's drain thread

class cConProcess {
public:
  cConProcess() = default;
  // Close: a child that is still known is terminated (one that cannot be is
  // let go).
  virtual ~cConProcess();
  cConProcess(const cConProcess&) = delete;
  cConProcess& operator=(const cConProcess&) = delete;

  // Ends a child still known (Close), resets the exit code to 0 and starts
  // commandLine (the program and its arguments). True when the child runs;
  // on failure nothing is left open.
  bool Start(const char16_t* commandLine);

  // False when no child is known. Otherwise true; when the child has ended
  // (a zero-time wait on it succeeds, so an exit code of 259 is an ordinary
  // code), its exit code is recorded and the child is released.
  bool Poll();

  // True when no child is known. A child that has ended already has its exit
  // code recorded and is released (true). A running child is ended with
  // exit code 1 and released (the recorded exit code stays as it was);
  // false when it could not be ended: it stays known and may be tried again.
  bool Terminate();

  // Terminate when a child is known, then stops the drain and closes the
  // pipes.
  void Close();

  // While true the child counts as running.
  bool HasProcess() const { return process_ != -1; }
  int32_t ExitCode() const { return exitCode_; }

private:
  bool StartDrain();
  void StopDrain();
  void ReleaseProcess();  // forgets the child without ending it

  // Platform handles, -1 when none (Win32: HANDLE values; native: a file
  // descriptor and a process id).
  intptr_t output_ = -1;   // parent's read end of the child's output pipe
  intptr_t process_ = -1;  // the child
  int32_t exitCode_ = 0;
  cOutputDrain* drain_ = nullptr;  // reads and discards output_
};

// Starts commandLine and forgets it; nothing waits for the child. False when
// it could not be started.
bool RunCommandLine(const char16_t* commandLine);

// text names an existing file, folder or device: opened with the shell.
// Otherwise its first token ends at the next double quote when it begins
// with one (false when there is none) or else at its first tab, LF, CR or
// space; when such a blank follows at or after the token's end, text is a
// command line with arguments and goes to RunCommandLine; anything else (a
// web address, say) is opened with the shell. False for null or empty text
// and when nothing could be started.
bool OpenOrRunFile(const char16_t* text);
