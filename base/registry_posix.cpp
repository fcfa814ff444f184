// The registry's native stand-in: Linux has none, so both roots live in one
// file of our own, named by the environment variable TW_REGISTRY (else
// "$HOME/.tarnwick-registry"). Every call reads the whole file and every
// change writes it anew through a temporary file and a rename, under one
// process-wide lock; that is plenty for the handful of keys the program
// keeps. There is one view: kRegView64 changes nothing.
//
// File layout (little-endian): "TWREG1", then records until the end:
//   'K' <key path>                      a key
//   'V' <key path> <name> <u32 type> <u32 n> <n bytes>   a value
// where a path or name is <u32 units> and that many UTF-16 units; key paths
// are "HKLM" or "HKCU" and the components, joined by '\'.
#include "base/registry.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "base/strings.h"

namespace {

constexpr uint32_t kTypeSz = 1;     // REG_SZ
constexpr uint32_t kTypeDword = 4;  // REG_DWORD

struct sValue {
  std::u16string name;
  uint32_t type = 0;
  std::string data;
};

struct sKey {
  std::u16string path;                     // as first created
  std::map<std::u16string, sValue> values;  // by lower-case name
};

using tRegistry = std::map<std::u16string, sKey>;  // by lower-case path

std::mutex& Lock() {
  static std::mutex lock;
  return lock;
}

std::string FileName() {
  if (const char* named = std::getenv("TW_REGISTRY"); named != nullptr && *named != 0) return named;
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : ".") + "/.tarnwick-registry";
}

std::u16string Lower(const std::u16string& s) {
  std::u16string out = s;
  for (char16_t& c : out) c = ToLowerW(c);
  return out;
}

// Reading: false at the end of the data or on a short record.
struct sReader {
  const std::string& data;
  size_t at = 0;
  bool U32(uint32_t& v) {
    if (data.size() - at < 4) return false;
    std::memcpy(&v, data.data() + at, 4);
    at += 4;
    return true;
  }
  bool Text(std::u16string& s) {
    uint32_t n = 0;
    if (!U32(n) || (data.size() - at) / 2 < n) return false;
    s.resize(n);
    if (n != 0) std::memcpy(s.data(), data.data() + at, n * 2u);
    at += n * 2u;
    return true;
  }
};

void PutU32(std::string& out, uint32_t v) { out.append(reinterpret_cast<const char*>(&v), 4); }
void PutText(std::string& out, const std::u16string& s) {
  PutU32(out, static_cast<uint32_t>(s.size()));
  out.append(reinterpret_cast<const char*>(s.data()), s.size() * 2);
}

constexpr char kMagic[] = "TWREG1";

// A missing or damaged file reads as a registry that holds only the keys
// every Windows system has and the program opens without creating.
tRegistry Load() {
  tRegistry reg;
  for (const char16_t* path : {u"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion",
                               u"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion"}) {
    reg[Lower(path)].path = path;
  }
  std::string data;
  if (FILE* f = std::fopen(FileName().c_str(), "rb")) {
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof(chunk), f)) > 0) data.append(chunk, n);
    std::fclose(f);
  }
  if (data.compare(0, 6, kMagic) != 0) return reg;
  sReader r{data, 6};
  while (r.at < data.size()) {
    char kind = data[r.at++];
    std::u16string path;
    if (!r.Text(path)) break;
    sKey& key = reg[Lower(path)];
    if (key.path.empty()) key.path = path;
    if (kind == 'K') continue;
    sValue v;
    uint32_t n = 0;
    if (kind != 'V' || !r.Text(v.name) || !r.U32(v.type) || !r.U32(n) || data.size() - r.at < n) {
      break;
    }
    v.data.assign(data, r.at, n);
    r.at += n;
    key.values[Lower(v.name)] = v;
  }
  return reg;
}

bool Save(const tRegistry& reg) {
  std::string out(kMagic, 6);
  for (const auto& [lower, key] : reg) {
    out += 'K';
    PutText(out, key.path);
    for (const auto& [vlower, v] : key.values) {
      out += 'V';
      PutText(out, key.path);
      PutText(out, v.name);
      PutU32(out, v.type);
      PutU32(out, static_cast<uint32_t>(v.data.size()));
      out += v.data;
    }
  }
  std::string name = FileName();
  std::string temp = name + ".tmp";
  FILE* f = std::fopen(temp.c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
  ok = (std::fclose(f) == 0) && ok;
  return ok && std::rename(temp.c_str(), name.c_str()) == 0;
}

// parent + '\' + the non-empty components of sub (split at '\').
std::u16string Join(const std::u16string& parent, const char16_t* sub) {
  std::u16string path = parent;
  std::u16string part;
  for (const char16_t* p = sub;; ++p) {
    if (*p == u'\\' || *p == 0) {
      if (!part.empty()) path += u'\\' + part;
      part.clear();
      if (*p == 0) break;
    } else {
      part += *p;
    }
  }
  return path;
}

const std::u16string* KeyPath(intptr_t handle) {
  return reinterpret_cast<const std::u16string*>(handle);
}

std::u16string FullPath(int root, const std::u16string* parent, const char16_t* sub) {
  std::u16string base = parent != nullptr ? *parent
                                          : std::u16string(root == tw::kRegCurrentUser ? u"HKCU" : u"HKLM");
  return Join(base, sub);
}

}  // namespace

void cRegKey::CloseRegKey() {
  delete KeyPath(handle_);
  handle_ = 0;
}

bool OpenRegKey(cRegKey& out, int root, const cRegKey* parent, const char16_t* subKey,
                uint32_t) {
  out.CloseRegKey();
  if (subKey == nullptr || (parent != nullptr && !parent->IsOpen())) return false;
  std::u16string path = FullPath(root, parent ? KeyPath(parent->handle_) : nullptr, subKey);
  std::lock_guard<std::mutex> guard(Lock());
  tRegistry reg = Load();
  auto it = reg.find(Lower(path));
  if (it == reg.end()) return false;
  out.handle_ = reinterpret_cast<intptr_t>(new std::u16string(it->second.path));
  return true;
}

bool CreateRegKey(cRegKey& out, int root, const cRegKey* parent, const char16_t* subKey,
                  uint32_t) {
  out.CloseRegKey();
  if (subKey == nullptr || (parent != nullptr && !parent->IsOpen())) return false;
  std::u16string path = FullPath(root, parent ? KeyPath(parent->handle_) : nullptr, subKey);
  std::lock_guard<std::mutex> guard(Lock());
  tRegistry reg = Load();
  // Every key on the way down exists afterwards, as with RegCreateKeyExW.
  bool changed = false;
  for (size_t at = path.find(u'\\'); ; at = path.find(u'\\', at + 1)) {
    std::u16string prefix = path.substr(0, at);
    sKey& key = reg[Lower(prefix)];
    if (key.path.empty()) {
      key.path = prefix;
      changed = true;
    }
    if (at == std::u16string::npos) break;
  }
  if (changed && !Save(reg)) return false;
  out.handle_ = reinterpret_cast<intptr_t>(new std::u16string(reg[Lower(path)].path));
  return true;
}

bool DeleteRegSubKey(cRegKey& key, const char16_t* name) {
  if (!key.IsOpen() || name == nullptr) return false;
  std::u16string lower = Lower(Join(*KeyPath(key.handle_), name));
  std::lock_guard<std::mutex> guard(Lock());
  tRegistry reg = Load();
  auto it = reg.find(lower);
  if (it == reg.end()) return false;
  // Like RegDeleteKeyW, a key with subkeys stays.
  auto next = std::next(it);
  if (next != reg.end() && next->first.compare(0, lower.size() + 1, lower + u'\\') == 0) {
    return false;
  }
  reg.erase(it);
  return Save(reg);
}

namespace {
// The value name of the open key, or null; reg must stay alive.
const sValue* FindValue(tRegistry& reg, intptr_t handle, const char16_t* name) {
  auto it = reg.find(Lower(*KeyPath(handle)));
  if (it == reg.end()) return nullptr;
  auto v = it->second.values.find(Lower(name != nullptr ? name : u""));
  return v == it->second.values.end() ? nullptr : &v->second;
}

bool SetValue(intptr_t handle, const char16_t* name, uint32_t type, std::string data) {
  std::lock_guard<std::mutex> guard(Lock());
  tRegistry reg = Load();
  auto it = reg.find(Lower(*KeyPath(handle)));
  if (it == reg.end()) return false;  // deleted since it was opened
  std::u16string n = name != nullptr ? name : u"";
  it->second.values[Lower(n)] = sValue{n, type, std::move(data)};
  return Save(reg);
}
}  // namespace

bool ReadRegDword(cRegKey& key, uint32_t& out, const char16_t* name) {
  out = 0;
  if (!key.IsOpen()) return false;
  std::lock_guard<std::mutex> guard(Lock());
  tRegistry reg = Load();
  const sValue* v = FindValue(reg, key.handle_, name);
  if (v == nullptr || v->type != kTypeDword || v->data.size() != 4) return false;
  std::memcpy(&out, v->data.data(), 4);
  return true;
}

void ReadRegString(cRegKey& key, const char16_t* name, _guardchar<char16_t>& out) {
  if (!key.IsOpen()) return;
  std::lock_guard<std::mutex> guard(Lock());
  tRegistry reg = Load();
  const sValue* v = FindValue(reg, key.handle_, name);
  // The same limit as the Win32 side: 16,384 bytes.
  if (v == nullptr || v->type != kTypeSz || v->data.size() > 16384) return;
  std::u16string units(v->data.size() / 2, u'\0');
  if (!units.empty()) std::memcpy(units.data(), v->data.data(), units.size() * 2);
  out.AssignN(units.data(), static_cast<uint32_t>(units.size()));
}

bool WriteRegDword(uint32_t value, cRegKey& key, const char16_t* name) {
  if (!key.IsOpen()) return false;
  return SetValue(key.handle_, name, kTypeDword, std::string(reinterpret_cast<const char*>(&value), 4));
}

bool WriteRegString(cRegKey& key, const char16_t* text, const char16_t* name) {
  if (text == nullptr || !key.IsOpen()) return false;
  size_t bytes = (static_cast<size_t>(WideLength(text)) + 1) * 2;
  return SetValue(key.handle_, name, kTypeSz, std::string(reinterpret_cast<const char*>(text), bytes));
}

