// The registry on Win32: advapi32 calls only. See base/registry.h.
#include "base/registry.h"

#include <windows.h>

#include "base/strings.h"
#include "base/win_text.h"

namespace {

using tRegDeleteKeyExW = LONG(WINAPI*)(HKEY, LPCWSTR, REGSAM, DWORD);
using tRegGetValueW = LONG(WINAPI*)(HKEY, LPCWSTR, LPCWSTR, DWORD, LPDWORD, PVOID, LPDWORD);

// Looked up once: both are missing before Vista (RegGetValueW) or on
// 32-bit XP (RegDeleteKeyExW). A function-local static is initialised once
// even with several threads.
struct sOptionalFunctions {
  tRegDeleteKeyExW deleteKeyEx = nullptr;
  tRegGetValueW getValue = nullptr;
  sOptionalFunctions() {
    HMODULE advapi = GetModuleHandleW(L"ADVAPI32.DLL");
    if (advapi == nullptr) return;
    deleteKeyEx = reinterpret_cast<tRegDeleteKeyExW>(
        reinterpret_cast<void*>(GetProcAddress(advapi, "RegDeleteKeyExW")));
    getValue = reinterpret_cast<tRegGetValueW>(
        reinterpret_cast<void*>(GetProcAddress(advapi, "RegGetValueW")));
  }
};

const sOptionalFunctions& Optional() {
  static const sOptionalFunctions functions;
  return functions;
}

HKEY RootKey(int root) {
  return root == tw::kRegCurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

REGSAM Access(uint32_t access) {
  REGSAM sam = 0;
  if (access & tw::kRegRead) sam |= KEY_READ;
  if (access & tw::kRegWrite) sam |= KEY_WRITE;
  if (access & tw::kRegView64) sam |= KEY_WOW64_64KEY;
  return sam;
}

HKEY Handle(intptr_t h) { return reinterpret_cast<HKEY>(h); }

// The key below which subKey is opened.
HKEY Base(int root, const cRegKey* parent, intptr_t parentHandle) {
  return parent != nullptr ? Handle(parentHandle) : RootKey(root);
}

}  // namespace

void cRegKey::CloseRegKey() {
  if (handle_ != 0) RegCloseKey(Handle(handle_));
  handle_ = 0;
}

// The parent's handle is private; the friend functions below read it.
bool OpenRegKey(cRegKey& out, int root, const cRegKey* parent, const char16_t* subKey,
                uint32_t access) {
  out.CloseRegKey();
  if (subKey == nullptr || (parent != nullptr && !parent->IsOpen())) return false;
  HKEY key = nullptr;
  LONG rc = RegOpenKeyExW(Base(root, parent, parent ? parent->handle_ : 0), tw::ToWin(subKey),
                          0, Access(access), &key);
  if (rc != ERROR_SUCCESS) return false;
  out.handle_ = reinterpret_cast<intptr_t>(key);
  return true;
}

bool CreateRegKey(cRegKey& out, int root, const cRegKey* parent, const char16_t* subKey,
                  uint32_t access) {
  out.CloseRegKey();
  if (subKey == nullptr || (parent != nullptr && !parent->IsOpen())) return false;
  HKEY key = nullptr;
  LONG rc = RegCreateKeyExW(Base(root, parent, parent ? parent->handle_ : 0), tw::ToWin(subKey),
                            0, nullptr, 0, Access(access), nullptr, &key, nullptr);
  if (rc != ERROR_SUCCESS) return false;
  out.handle_ = reinterpret_cast<intptr_t>(key);
  return true;
}

bool DeleteRegSubKey(cRegKey& key, const char16_t* name) {
  if (!key.IsOpen() || name == nullptr) return false;
  LONG rc;
  if (Optional().deleteKeyEx != nullptr) {
    rc = Optional().deleteKeyEx(Handle(key.handle_), tw::ToWin(name), KEY_WOW64_64KEY, 0);
  } else {
    rc = RegDeleteKeyW(Handle(key.handle_), tw::ToWin(name));
  }
  return rc == ERROR_SUCCESS;
}

bool ReadRegDword(cRegKey& key, uint32_t& out, const char16_t* name) {
  out = 0;
  if (!key.IsOpen()) return false;
  DWORD type = 0;
  DWORD value = 0;
  DWORD size = sizeof(value);
  LONG rc = RegQueryValueExW(Handle(key.handle_), tw::ToWin(name), nullptr, &type,
                             reinterpret_cast<BYTE*>(&value), &size);
  if (rc != ERROR_SUCCESS || type != REG_DWORD || size != sizeof(value)) return false;
  out = value;
  return true;
}

void ReadRegString(cRegKey& key, const char16_t* name, _guardchar<char16_t>& out) {
  if (!key.IsOpen()) return;
  // 16,384 bytes; one unit more stays zero so that a value stored without
  // its terminator still ends inside the buffer.
  constexpr DWORD kBytes = 16384;
  static_assert(kBytes % sizeof(char16_t) == 0);
  char16_t buffer[kBytes / sizeof(char16_t) + 1] = {};
  DWORD size = kBytes;
  LONG rc;
  if (Optional().getValue != nullptr) {
    rc = Optional().getValue(Handle(key.handle_), nullptr, tw::ToWin(name), RRF_RT_REG_SZ,
                             nullptr, buffer, &size);
  } else {
    DWORD type = 0;
    rc = RegQueryValueExW(Handle(key.handle_), tw::ToWin(name), nullptr, &type,
                          reinterpret_cast<BYTE*>(buffer), &size);
    if (rc == ERROR_SUCCESS && type != REG_SZ) rc = ERROR_INVALID_DATA;
  }
  if (rc != ERROR_SUCCESS) return;
  // The text ends at the size returned, whether or not it carried its own
  // terminator (RegQueryValueExW does not add one).
  uint32_t units = size / sizeof(char16_t);
  if (units > kBytes / sizeof(char16_t)) units = kBytes / sizeof(char16_t);
  out.AssignN(buffer, units);
}

bool WriteRegDword(uint32_t value, cRegKey& key, const char16_t* name) {
  if (!key.IsOpen()) return false;
  DWORD v = value;
  return RegSetValueExW(Handle(key.handle_), tw::ToWin(name), 0, REG_DWORD,
                        reinterpret_cast<const BYTE*>(&v), sizeof(v)) == ERROR_SUCCESS;
}

bool WriteRegString(cRegKey& key, const char16_t* text, const char16_t* name) {
  if (text == nullptr || !key.IsOpen()) return false;
  DWORD bytes = static_cast<DWORD>((WideLength(text) + 1) * sizeof(char16_t));
  return RegSetValueExW(Handle(key.handle_), tw::ToWin(name), 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(text), bytes) == ERROR_SUCCESS;
}
