// The platform-independent half of base/paths.h: path text, file names,
// wildcards and the rules of the known folders. See the header.
#include "base/paths.h"

#include <new>
#include <string>

#include "base/paths_internal.h"
#include "base/strings.h"

namespace {

bool IsSeparator(char16_t c) { return c == u'/' || c == u'\\'; }

size_t Length(const char16_t* s) { return _guardchar<char16_t>::Length(s); }

void Normalize(std::u16string& s) {
  if (s.empty()) return;
  NormalizePath(s.data());
  s.resize(Length(s.c_str()));
}

bool IsDirectory(const std::u16string& path) { return GetPathKind(path.c_str()) == tw::kPathDirectory; }

void AssignTo(_guardchar<char16_t>& out, const std::u16string& s) { out.Assign(s.c_str()); }

// Creates <base>/Vornak/ and <base>/Vornak/<sub>/ and gives the latter. The
// doubled separator of a base ending in '/' is collapsed at the file-system
// call.
bool MakeDataFolder(const std::u16string& base, const char16_t* sub, std::u16string& out) {
  std::u16string folder = base + tw::kCompanyFolder;
  if (!CreateDirectoryLong(folder.c_str())) return false;
  folder += sub;
  folder += u'/';
  if (!CreateDirectoryLong(folder.c_str())) return false;
  out = folder;
  return true;
}

// Matches name against pattern[0..patternEnd). Greedy with one backtrack
// point: on a mismatch after a '*', the '*' takes one more unit of the name.
// This gives the same answers as trying the rest of the pattern at every
// position after each '*', in O(name x pattern) time without recursion.
bool MatchRange(const char16_t* name, const char16_t* pattern, size_t patternEnd) {
  size_t n = 0, p = 0;
  size_t starP = SIZE_MAX, starN = 0;
  while (name[n] != 0) {
    if (p < patternEnd && pattern[p] == u'*') {
      while (p < patternEnd && pattern[p] == u'*') ++p;  // consecutive stars act as one
      if (p == patternEnd) return true;                   // a trailing star takes the rest
      starP = p;
      starN = n;
    } else if (p < patternEnd && (pattern[p] == u'?' || ToLowerW(pattern[p]) == ToLowerW(name[n]))) {
      ++p;
      ++n;
    } else if (starP != SIZE_MAX) {
      p = starP;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < patternEnd && pattern[p] == u'*') ++p;
  return p == patternEnd;
}

}  // namespace

void MakeOpenablePath(_guardchar<char16_t>& out, const char16_t* path) {
  if (path == nullptr || path[0] == 0) {
    out.Assign(u"");
    return;
  }
  const bool drive = ((path[0] >= u'A' && path[0] <= u'Z') || (path[0] >= u'a' && path[0] <= u'z')) && path[1] == u':';
  if (path[0] == u'/' || path[0] == u'\\' || path[0] == u'.' || drive) {
    out.Assign(path);
    return;
  }
  std::u16string joined = u"./";
  joined += path;
  out.Assign(joined.c_str());
}

bool MakeLongPath(_typebuf<char16_t>& out, const char16_t* path) {
  if (path == nullptr || path[0] == 0) return false;
  const size_t len = Length(path);
  if (len > static_cast<size_t>(INT32_MAX) - 6) throw std::bad_alloc();  // no path is that long
  static constexpr char16_t kPrefix[] = u"\\\\?\\";
  size_t w = 0;
  const char16_t* rest = path;
  if (path[0] == u'.' || IsSeparator(path[0])) {
    out.Reallocate(static_cast<int32_t>(len + 2));
    out.data[w++] = path[0] == u'.' ? u'.' : u'\\';
    ++rest;
  } else {
    out.Reallocate(static_cast<int32_t>(len + 6));
    for (size_t i = 0; i < 4; ++i) out.data[w++] = kPrefix[i];
  }
  for (; *rest != 0; ++rest) {
    if (IsSeparator(*rest)) {
      if (IsSeparator(rest[1])) continue;  // only the last of a run is written
      out.data[w++] = u'\\';
    } else {
      out.data[w++] = *rest;
    }
  }
  if (w > 0 && out.data[w - 1] == u':') out.data[w++] = u'\\';  // a bare drive needs its root
  out.data[w] = 0;
  return true;
}

void NormalizePath(char16_t* text) {
  if (text == nullptr || text[0] == 0) return;
  size_t len = Length(text);
  if (text[0] == u'"') {
    for (size_t i = 0; i < len; ++i) text[i] = text[i + 1];  // the terminator moves too
    --len;
  }
  for (size_t i = 0; i < len; ++i)
    if (text[i] == u'\\') text[i] = u'/';
  while (len > 0 && (text[len - 1] == u' ' || text[len - 1] == u'"')) text[--len] = 0;
}

bool IsCaseSensitivePath(const char16_t*) { return false; }

void SanitizeFileName(const char16_t* text, char16_t* out, int32_t capacity) {
  if (out == nullptr || capacity < 1) return;
  out[0] = 0;
  if (text == nullptr) return;
  // Skip leading blanks and control characters, but never the terminator.
  while (*text != 0 && *text <= 0x20) ++text;
  int32_t w = 0;
  for (; *text != 0 && w < capacity - 1; ++text) {
    char16_t c = *text;
    switch (c) {
      case u'"': c = 0xF020; break;
      case u'*': c = 0xF021; break;
      case u'/':
      case u':': c = 0xF022; break;
      case u'<': c = 0xF023; break;
      case u'>': c = 0xF024; break;
      case u'?': c = 0xF025; break;
      case u'\\': c = 0xF026; break;
      case u'|': c = 0xF027; break;
      case u'.':
        if (text[1] == 0) c = 0xF029;  // Windows drops a trailing dot
        break;
      default:
        if (c < 0x20 || c == 0xFFFF) c = u' ';
        break;
    }
    out[w++] = c;
  }
  if (w > 0 && out[w - 1] == u' ') out[w - 1] = 0xF028;  // Windows drops a trailing space
  out[w] = 0;
}

bool MatchWildcard(const char16_t* name, const char16_t* pattern) {
  if (name == nullptr) return false;
  if (pattern == nullptr || pattern[0] == 0) return true;
  return MatchRange(name, pattern, Length(pattern));
}

bool MatchWildcardList(const char16_t* name, const char16_t* list) {
  if (list == nullptr || list[0] == 0) return true;
  if (name == nullptr) return false;
  const char16_t* start = list;
  for (;;) {
    const char16_t* end = start;
    while (*end != 0 && *end != u';') ++end;
    if (end == start) {
      if (*end == 0) return false;  // the ';' that ended the list added no pattern
      return true;                  // an empty pattern matches every name
    }
    if (MatchRange(name, start, static_cast<size_t>(end - start))) return true;
    if (*end == 0) return false;
    start = end + 1;
  }
}

bool GetHomeFolder(_guardchar<char16_t>& out) {
  std::u16string home, drive, path;
  if (!tw::ReadEnvironment(u"USERPROFILE", home)) {
    if (tw::ReadEnvironment(u"HOMEDRIVE", drive) && tw::ReadEnvironment(u"HOMEPATH", path)) {
      home = drive + path;
    } else if (!tw::PlatformHomeFallback(home)) {
      return false;
    }
  }
  Normalize(home);
  AssignTo(out, home);
  return true;
}

bool GetTempFolder(_guardchar<char16_t>& out) {
  std::u16string temp;
  if (!tw::ReadEnvironment(u"TEMP", temp) && !tw::PlatformTempFallback(temp)) return false;
  Normalize(temp);
  AssignTo(out, temp);
  return true;
}

bool GetUserDataFolder(_guardchar<char16_t>& out, const char16_t* sub) {
  const bool haveHome = GetHomeFolder(out);
  if (sub == nullptr) return haveHome;
  std::u16string base;
  if (tw::ReadEnvironment(u"APPDATA", base)) {
    Normalize(base);
    // APPDATA names something that is not a folder: no data folder. (Falling
    // back to the home folder here would make the store write its section
    // files over the user's own files.)
    if (!IsDirectory(base)) return false;
  } else {
    if (!haveHome) return false;
    if (!tw::PlatformUserDataRoot(out.text, base)) return false;
  }
  std::u16string folder;
  if (!MakeDataFolder(base, sub, folder)) return false;
  AssignTo(out, folder);
  return true;
}

bool GetMachineDataFolder(_guardchar<char16_t>& out, const char16_t* sub) {
  if (sub == nullptr) return false;
  std::u16string base;
  if (!tw::ReadEnvironment(u"ProgramData", base) || !IsDirectory(base)) {
    if (!tw::PlatformMachineDataRoot(base)) return false;
  }
  Normalize(base);
  std::u16string folder;
  if (!MakeDataFolder(base, sub, folder)) return false;
  AssignTo(out, folder);
  return true;
}

bool GetCommonProgramsFolder(const char16_t* sub, _guardchar<char16_t>& out) {
  std::u16string all;
  if (!tw::ReadEnvironment(u"ALLUSERSPROFILE", all) || !IsDirectory(all)) return false;
  std::u16string folder = all + u"/Microsoft/Windows/Start Menu/Programs/";
  Normalize(folder);
  if (!IsDirectory(folder)) {
    folder = all + u"/Start Menu/Programs/";
    Normalize(folder);
    if (!IsDirectory(folder)) return false;
  }
  if (sub != nullptr) {
    char16_t name[260];
    SanitizeFileName(sub, name, 260);
    folder += name;
    const int kind = GetPathKind(folder.c_str());
    if (kind != tw::kPathDirectory && !(kind == tw::kPathMissing && CreateDirectoryLong(folder.c_str())))
      return false;
  }
  AssignTo(out, folder);
  return true;
}

bool IsWindows10OrLater() { return GetOsMajorVersion() > 9; }
