// cApplicationConfig: the configuration store interface. Settings and
// records form a tree of nodes addressed by key paths such as "lang/current";
// each node holds a byte value (possibly empty) and keyed children.
//
// Rules every implementation follows:
//  a. A key path is UTF-8 text with components separated by '/'. The first
//     component names a section; each further one a child of the node
//     before it. Components compare bytewise (cPackedKey), case-sensitively.
//     The empty (or null) path is the store's top node, which has no value.
//  b. A path with an empty component (a doubled, leading or trailing '/')
//     or with more than tw::kConfigMaxDepth components below its section
//     resolves to nothing: such a key could not be stored and read back.
//  c. A value holds at most tw::kConfigMaxValueSize bytes; larger writes
//     are refused (false) and leave the old value.
//  d. Numbers are unsigned little-endian values of 1 to 8 bytes; text is
//     stored as the system's UTF-8 (base/utf8.h) without a terminator.
//  e. Failures are false or null results; only allocation failure throws.
//  f. One thread at a time per store; changes reach the disk only through
//     Save.
//
// The typed operations here are written against Resolve, ValueSize,
// ReadBytes and WriteBytes; an implementation may route them elsewhere.
#pragma once

#include <cstdint>

#include "base/buffers.h"
#include "base/config_node.h"
#include "base/guardchar.h"

class cApplicationConfig {
public:
  // Called with each child's key text and the caller's pointer; answers true
  // to go on.
  using tEnumCallback = bool (*)(const char* key, void* user);

  cApplicationConfig() = default;
  cApplicationConfig(const cApplicationConfig&) = delete;
  cApplicationConfig& operator=(const cApplicationConfig&) = delete;

  // ---- Node operations -----------------------------------------------
  // The top node, or null when the store offers no node access.
  virtual cConfigNode* Root() = 0;
  // The child called name of parent (created with an empty value when
  // missing and create is set); null for a null or empty name, a null
  // parent, a missing child without create, or an unreachable section.
  virtual cConfigNode* Child(const char* name, cConfigNode* parent, bool create) = 0;
  // The value's byte count; false for a null node or the top node.
  virtual bool ValueSize(cConfigNode* node, uint32_t& size) = 0;
  // Copies the first min(n, value size) bytes; false for a null buffer,
  // n = 0, a null or top node, or a node without value bytes.
  virtual bool ReadBytes(void* buffer, uint32_t n, cConfigNode* node);
  // The value becomes exactly the n bytes (empty for n = 0); false for a
  // null or top node and for n over tw::kConfigMaxValueSize.
  virtual bool WriteBytes(const void* bytes, uint32_t n, cConfigNode* node);

  // ---- Store operations ----------------------------------------------
  // name: a store name or the path of an existing folder.
  virtual bool Create(const char16_t* name);
  virtual bool Open(const char16_t* name) = 0;
  virtual bool Save();
  virtual bool RevertChanged();

  // ---- Typed reads (outputs are unchanged when the result is false) ----
  // The value's bytes; an empty value gives an empty buffer and true.
  virtual bool GetBytes(const char* path, _typebuf<char>& out);
  // A value of 1 to 8 bytes, zero-extended; false for any other size.
  virtual bool GetInt64(const char* path, uint64_t& out);
  // The value decoded from UTF-8; an empty value gives an empty string.
  virtual bool GetString(const char* path, _guardchar<char16_t>& out);
  // The low 16, low 32 or all 64 bits of GetInt64; 0 when it fails.
  virtual uint16_t GetU16(const char* path);
  virtual int32_t GetInt(const char* path);
  virtual uint64_t GetInt64Value(const char* path);

  // ---- Typed writes (resolve with creation, then write) ----------------
  virtual bool SetBytes(const char* path, const void* bytes, uint32_t n);
  virtual bool SetU16(const char* path, uint16_t value);
  virtual bool SetInt(const char* path, int32_t value);
  virtual bool SetInt64(const char* path, int64_t value);
  // n units of text (-1: up to the terminator); null or empty text stores
  // an empty value.
  virtual bool SetString(const char* path, const char16_t* text, int32_t n);
  bool SetStringN(const char* path, const char16_t* text, int32_t n) { return SetString(path, text, n); }

  // ---- Keys ------------------------------------------------------------
  // Removes the last component's node with its subtree; true when it was
  // there. A one-component path (a whole section) is refused.
  virtual bool DeleteKey(const char* path);
  // The path resolves without creation.
  virtual bool Exists(const char* path);
  // Calls callback for each child of the path's node in ascending key order
  // until it answers false; true when the run reached the end. The empty
  // path is refused: sections are never enumerated.
  virtual bool EnumKeys(const char* path, tEnumCallback callback, void* user);
  bool EnumChildren(const char* path, tEnumCallback callback, void* user) {
    return EnumKeys(path, callback, user);
  }

  virtual ~cApplicationConfig() = default;

  // The node of the path (see rules a and b), created with create; null
  // when it cannot be reached.
  virtual cConfigNode* Resolve(const char* path, bool create);
};
