// The Windows registry, as far as the program uses it: keys under
// HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER, DWORD and string values.
//
// Win32 goes to advapi32; RegDeleteKeyExW and RegGetValueW are looked up at
// run time (once per process) because older systems lack them. The native
// build has no registry: a small stand-in of our own keeps both roots in one
// file (see registry_posix.cpp), so that the code above this layer runs and
// is tested on both targets.
//
// Module-wide rules:
//  a. Every function reports failure by its result; none throws except
//     std::bad_alloc.
//  b. Key and value names compare without regard to case, as Windows does.
//  c. A cRegKey owns its key and closes it on destruction.
#pragma once

#include <cstdint>

#include "base/guardchar.h"

namespace tw {
// Roots of OpenRegKey and CreateRegKey.
inline constexpr int kRegLocalMachine = 0;
inline constexpr int kRegCurrentUser = 1;
// Access bits.
inline constexpr uint32_t kRegRead = 1;
inline constexpr uint32_t kRegWrite = 2;
// The 64-bit view (KEY_WOW64_64KEY); without it the process's own view.
// The native stand-in has one view only.
inline constexpr uint32_t kRegView64 = 4;
}  // namespace tw

// A registry key holder: one open key, or none.
class cRegKey {
public:
  cRegKey() = default;
  ~cRegKey() { CloseRegKey(); }
  cRegKey(const cRegKey&) = delete;
  cRegKey& operator=(const cRegKey&) = delete;

  bool IsOpen() const { return handle_ != 0; }
  // Closes an open key; nothing for a closed one.
  void CloseRegKey();

private:
  friend bool OpenRegKey(cRegKey&, int, const cRegKey*, const char16_t*, uint32_t);
  friend bool CreateRegKey(cRegKey&, int, const cRegKey*, const char16_t*, uint32_t);
  friend bool DeleteRegSubKey(cRegKey&, const char16_t*);
  friend bool ReadRegDword(cRegKey&, uint32_t&, const char16_t*);
  friend void ReadRegString(cRegKey&, const char16_t*, _guardchar<char16_t>&);
  friend bool WriteRegDword(uint32_t, cRegKey&, const char16_t*);
  friend bool WriteRegString(cRegKey&, const char16_t*, const char16_t*);

  intptr_t handle_ = 0;  // HKEY on Win32; the stand-in's key object natively
};

// Opens the existing key subKey below parent (when parent is not null) or
// below the root (tw::kRegLocalMachine or kRegCurrentUser) with the access
// bits. Closes what out held first. False, out closed, when it cannot.
bool OpenRegKey(cRegKey& out, int root, const cRegKey* parent, const char16_t* subKey,
                uint32_t access);
// The same, creating the key (and missing keys on its path) when needed.
bool CreateRegKey(cRegKey& out, int root, const cRegKey* parent, const char16_t* subKey,
                  uint32_t access);

// Deletes the subkey name (which must have no subkeys of its own) below the
// open key, in the 64-bit view where the system can choose one. False when
// the holder is not open or the deletion fails.
bool DeleteRegSubKey(cRegKey& key, const char16_t* name);

// The DWORD value name. True only when it exists and is of type REG_DWORD;
// out is 0 otherwise.
bool ReadRegDword(cRegKey& key, uint32_t& out, const char16_t* name);

// The REG_SZ value name, at most 8,191 units, into out; out is left as it
// was when the value cannot be read. There is no answer of its own: the
// caller tests out. A value stored without its terminator is still ended at
// the size the system returned.
void ReadRegString(cRegKey& key, const char16_t* name, _guardchar<char16_t>& out);

// Writes value as REG_DWORD. True on success.
bool WriteRegDword(uint32_t value, cRegKey& key, const char16_t* name);

// Writes text as REG_SZ with its terminator. False for a null text or a
// closed key.
bool WriteRegString(cRegKey& key, const char16_t* text, const char16_t* name);
