// See base/full_config.h.
#include "base/full_config.h"

#include "base/paths.h"

bool cCIAppFullConfig::Create(const char16_t* name) { return user_.Create(name); }

bool cCIAppFullConfig::Open(const char16_t* name) {
  if (!user_.Open(name)) return false;
  _guardchar<char16_t> folder;
  if (GetMachineDataFolder(folder, tw::kMachineStoreName) && !folder.IsEmpty()) machine_.Open(folder.text);
  return true;
}

bool cCIAppFullConfig::Save() {
  machine_.Save();
  return user_.Save();
}

bool cCIAppFullConfig::RevertChanged() {
  machine_.RevertChanged();
  return user_.RevertChanged();
}

bool cCIAppFullConfig::GetBytes(const char* path, _typebuf<char>& out) {
  return user_.GetBytes(path, out) || machine_.GetBytes(path, out);
}

bool cCIAppFullConfig::GetInt64(const char* path, uint64_t& out) {
  return user_.GetInt64(path, out) || machine_.GetInt64(path, out);
}

bool cCIAppFullConfig::GetString(const char* path, _guardchar<char16_t>& out) {
  return user_.GetString(path, out) || machine_.GetString(path, out);
}

bool cCIAppFullConfig::SetBytes(const char* path, const void* bytes, uint32_t n) {
  return user_.SetBytes(path, bytes, n);
}
bool cCIAppFullConfig::SetU16(const char* path, uint16_t value) { return user_.SetU16(path, value); }
bool cCIAppFullConfig::SetInt(const char* path, int32_t value) { return user_.SetInt(path, value); }
bool cCIAppFullConfig::SetInt64(const char* path, int64_t value) { return user_.SetInt64(path, value); }
bool cCIAppFullConfig::SetString(const char* path, const char16_t* text, int32_t n) {
  return user_.SetString(path, text, n);
}

bool cCIAppFullConfig::DeleteKey(const char* path) {
  const bool machine = machine_.DeleteKey(path);
  const bool user = user_.DeleteKey(path);
  return machine && user;
}

bool cCIAppFullConfig::Exists(const char* path) { return machine_.Exists(path) || user_.Exists(path); }

bool cCIAppFullConfig::EnumKeys(const char* path, tEnumCallback callback, void* user) {
  const bool machine = machine_.EnumKeys(path, callback, user);
  const bool own = user_.EnumKeys(path, callback, user);
  return machine && own;
}
