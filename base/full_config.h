// cCIAppFullConfig: the two-level configuration store. A per-user store
// (opened with the application's store name) comes first and a machine-wide
// store (the machine-wide data folder of the name "qxv", shared by every user
// of the machine) stands behind it:
//   reads          per-user, else machine-wide (a per-user value of a size
//                  the read cannot use lets the machine-wide one through)
//   typed writes   per-user only
//   DeleteKey      machine-wide, then per-user; both always run
//   Exists         machine-wide, else per-user
//   EnumKeys       machine-wide, then per-user (a key in both is reported
//                  twice); both always run
//   Save, Revert   machine-wide, then per-user; the per-user result counts
// There is no node access (Root, Child, ValueSize, ReadBytes and WriteBytes
// fail, so Resolve gives null); GetMachineConfig reaches the machine-wide
// store directly.
#pragma once

#include "base/app_config.h"
#include "base/config_store.h"

namespace tw {
// The machine-wide store's name, whatever the per-user store is called.
inline constexpr char16_t kMachineStoreName[] = u"qxv";
}  // namespace tw

class cCIAppFullConfig : public cApplicationConfig {
public:
  cCIAppFullConfig() = default;
  ~cCIAppFullConfig() override = default;

  cConfigNode* Root() override { return nullptr; }
  cConfigNode* Child(const char*, cConfigNode*, bool) override { return nullptr; }
  bool ValueSize(cConfigNode*, uint32_t&) override { return false; }
  bool ReadBytes(void*, uint32_t, cConfigNode*) override { return false; }
  bool WriteBytes(const void*, uint32_t, cConfigNode*) override { return false; }

  // The per-user store's Create; the machine-wide folder is never created
  // here.
  bool Create(const char16_t* name) override;
  // Opens the per-user store with name (false when that fails), then the
  // machine-wide store on its data folder, whose failure is ignored.
  bool Open(const char16_t* name) override;
  bool Save() override;
  bool RevertChanged() override;

  bool GetBytes(const char* path, _typebuf<char>& out) override;
  bool GetInt64(const char* path, uint64_t& out) override;
  bool GetString(const char* path, _guardchar<char16_t>& out) override;

  bool SetBytes(const char* path, const void* bytes, uint32_t n) override;
  bool SetU16(const char* path, uint16_t value) override;
  bool SetInt(const char* path, int32_t value) override;
  bool SetInt64(const char* path, int64_t value) override;
  bool SetString(const char* path, const char16_t* text, int32_t n) override;

  bool DeleteKey(const char* path) override;
  bool Exists(const char* path) override;
  bool EnumKeys(const char* path, tEnumCallback callback, void* user) override;

  // DeleteKey on the machine-wide store alone.
  bool DeleteMachineKey(const char* path) { return machine_.DeleteKey(path); }
  // The machine-wide store, for reading and writing it directly.
  cCIAppConfig* GetMachineConfig() { return &machine_; }
  // The per-user store.
  cCIAppConfig* GetUserConfig() { return &user_; }

private:
  // Declared in construction order; destroyed machine-wide first.
  cCIAppConfig user_;
  cCIAppConfig machine_;
};
