// See sidoc/compiler.h.
//
// Messages (8-bit, fixed): "bad target", "Unable to open index", "Unable to
// read idex", "invalid lang code", "expected EQ sign after lang code",
// "expected openning QUOTE sign after EQ", "expected openning QUOTE sign
// after end of path", "not expected anything after file path", "lang
// already defined", "Unable to write target", "Path is specified as relative
// with no current folder", "Unable to open source file", "Unable to read
// source as text file", "No lang ctx(?)", "document too large", "Unable to
// compress"; and those of sidoc/markup.cpp.
#include "sidoc/compiler.h"

#include <zlib.h>

#include <cstring>
#include <string>

#include "base/memio.h"
#include "base/strings.h"
#include "base/utf8.h"
#include "gui/language.h"
#include "sidoc/format.h"
#include "sidoc/markup.h"

namespace {

bool IsLineBlank(char16_t c) { return c == u'\t' || c == u'\r' || c == u' '; }

// Compresses input into one zlib stream at level 5. The output buffer is
// sized by deflateBound, which holds any input (a short input can grow), and
// anything short of the stream's end is a failure.
bool DeflateWhole(const _typebuf<char>& input, _typebuf<char>& output) {
  z_stream z{};
  if (deflateInit2(&z, 5, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
  const uLong bound = deflateBound(&z, static_cast<uLong>(input.count));
  bool ok = bound > 0 && bound < 0x7FFFFFFF;
  if (ok) {
    output.Reallocate(static_cast<int32_t>(bound));
    z.next_in = reinterpret_cast<Bytef*>(input.data);
    z.avail_in = static_cast<uInt>(input.count);
    z.next_out = reinterpret_cast<Bytef*>(output.data);
    z.avail_out = static_cast<uInt>(bound);
    ok = deflate(&z, Z_FINISH) == Z_STREAM_END && z.total_out > 0;
    if (ok) output.Resize(static_cast<int32_t>(z.total_out));
  }
  deflateEnd(&z);
  return ok;
}

bool Write(cFileIOTarget* target, const void* data, uint32_t n) { return n == 0 || target->WriteExact(data, n); }

bool Write32(cFileIOTarget* target, uint32_t v) {
  const uint8_t b[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                        static_cast<uint8_t>(v >> 24)};
  return target->WriteExact(b, 4);
}

// The folder of path up to and including its last "/", or empty.
std::u16string FolderOf(const char16_t* path) {
  const char16_t* slash = FindLastCharW(path, u'/');
  return slash == nullptr ? std::u16string() : std::u16string(path, slash + 1);
}

bool ReadTextAt(const char16_t* path, _typebuf<char16_t>& text, bool& opened) {
  cFileIO file;
  opened = file.Open(path, kFileRead);
  return opened && ReadWholeTextFile(&file, text);
}

}  // namespace

void cDocCompileError::Clear() {
  line = column = 0;
  path.Clear();
  message.Clear();
}

void cDocCompileError::Set(const char* text, const char16_t* file, int32_t atLine, int32_t atColumn) {
  message.Assign(text);
  path.Assign(file);
  line = atLine;
  column = atColumn;
}

void FillLanguageCodeMap(tLanguageCodeMap& codes) {
  codes.Clear();
  for (int32_t id = 0; id <= 12; ++id) {
    cPackedKey key;
    key.FromWide(GetLanguageCode3(id), -1);
    if (int32_t* v = codes.FindOrInsert(std::move(key))) *v = id;
  }
}

bool ReadWholeTextFile(cFileIOTarget* stream, _typebuf<char16_t>& text) {
  if (stream == nullptr) return false;
  const uint64_t size = stream->GetSize();
  if (size > kMaxTextFileSize || size < 3) return false;
  _typebuf<char> bytes(static_cast<int32_t>(size));
  if (!stream->Seek(0) || !stream->ReadExact(bytes.data, static_cast<uint32_t>(size))) return false;
  const auto* b = reinterpret_cast<const uint8_t*>(bytes.data);
  _typebuf<char16_t> out;
  if (b[0] == 0xFF && b[1] == 0xFE) {
    const int32_t units = static_cast<int32_t>((size - 2) / 2);
    out.Reallocate(units);
    for (int32_t i = 0; i < units; ++i) out.data[i] = static_cast<char16_t>(b[2 + 2 * i] | (b[3 + 2 * i] << 8));
  } else {
    const int32_t skip = (b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) ? 3 : 0;
    const int32_t n = static_cast<int32_t>(size) - skip;
    const int32_t units = Utf8UnitCount(bytes.data + skip, n);
    out.Reallocate(units);
    if (units > 0) Utf8Decode(bytes.data + skip, n, out.data, units);
  }
  text = std::move(out);
  return true;
}

bool ParseDocumentIndex(const char16_t* text, int32_t length, const tLanguageCodeMap& codes,
                        tDocumentIndex& index, cDocCompileError* error) {
  int32_t line = 0;
  int32_t i = 0;
  auto fail = [&](const char* message) {
    if (error != nullptr) {
      error->message.Assign(message);
      error->line = line;
      error->column = 0;
    }
    return false;
  };
  if (text == nullptr) length = 0;
  for (;;) {
    while (i < length && (IsLineBlank(text[i]) || text[i] == u'\n')) {
      if (text[i] == u'\n') ++line;
      ++i;
    }
    if (i >= length) return true;
    std::u16string code;
    while (i < length && !IsLineBlank(text[i]) && text[i] != u'\n' && text[i] != u'=') code += ToUpperW(text[i++]);
    cPackedKey key;
    key.FromWide(code.c_str(), static_cast<int32_t>(code.size()));
    const int32_t* id = codes.Find(key);
    if (id == nullptr) return fail("invalid lang code");
    while (i < length && IsLineBlank(text[i])) ++i;
    if (i >= length || text[i] != u'=') return fail("expected EQ sign after lang code");
    ++i;
    while (i < length && IsLineBlank(text[i])) ++i;
    if (i >= length || text[i] != u'"') return fail("expected openning QUOTE sign after EQ");
    const int32_t from = ++i;
    while (i < length && text[i] != u'"' && text[i] != u'\n') ++i;
    if (i >= length || text[i] != u'"') return fail("expected openning QUOTE sign after end of path");
    const int32_t to = i++;
    while (i < length && IsLineBlank(text[i])) ++i;
    if (i < length && text[i] != u'\n') return fail("not expected anything after file path");
    if (index.Find(*id) != nullptr) return fail("lang already defined");
    _guardchar<char16_t>* path = index.FindOrInsert(*id);
    if (path == nullptr) throw std::bad_alloc();
    path->AssignN(text + from, static_cast<uint32_t>(to - from));
  }
}

bool CompileDocument(tLanguageCodeMap* codes, const char16_t* indexPath, cFileIOTarget* target,
                     cDocCompileError* error) {
  cDocCompileError local;
  cDocCompileError& e = error != nullptr ? *error : local;
  e.Clear();
  if (target == nullptr) {
    e.Set("bad target", nullptr, 0, 0);
    return false;
  }
  _typebuf<char16_t> indexText;
  bool opened = false;
  if (!ReadTextAt(indexPath, indexText, opened)) {
    e.Set(opened ? "Unable to read idex" : "Unable to open index", indexPath, 0, 0);
    return false;
  }
  tLanguageCodeMap ownCodes(kPackedKeyDepthLimit);
  tLanguageCodeMap& codeMap = codes != nullptr ? *codes : ownCodes;
  FillLanguageCodeMap(codeMap);
  tDocumentIndex index(512);
  if (!ParseDocumentIndex(indexText.data, indexText.count, codeMap, index, &e)) {
    e.path.Assign(indexPath);
    return false;
  }
  const std::u16string indexFolder = FolderOf(indexPath);

  if (!target->WriteExact(sidoc::kMagic, sidoc::kMagicSize)) {
    e.Set("Unable to write target", nullptr, 0, 0);
    return false;
  }

  sDocCompileContext context;
  for (auto* node = index.First(); node != nullptr; node = tDocumentIndex::Next(node)) {
    if (node->value.IsEmpty()) continue;
    std::u16string path = node->value.text;
    if (path.size() >= 2 && path[0] == u'.' && path[1] == u'/') {
      if (indexFolder.empty()) {
        e.Set("Path is specified as relative with no current folder", indexPath, 0, 0);
        return false;
      }
      path = indexFolder + path.substr(2);
    }
    _typebuf<char16_t> markup;
    if (!ReadTextAt(path.c_str(), markup, opened)) {
      e.Set(opened ? "Unable to read source as text file" : "Unable to open source file", path.c_str(), 0, 0);
      return false;
    }
    const std::u16string folder = FolderOf(path.c_str());
    context.currentFolder.Assign(folder.c_str());
    context.currentLanguage = node->key;
    if (!CompileLanguageMarkup(context, markup.data, markup.count)) {
      e.Set(context.errorMessage, path.c_str(), context.errorLine, context.errorColumn);
      return false;
    }
    if (context.bodies.Find(node->key) == nullptr) {
      e.Set("No lang ctx(?)", path.c_str(), 0, 0);
      return false;
    }
  }
  return WriteDocumentParts(context, target, &e);
}

bool WriteDocumentParts(sDocCompileContext& context, cFileIOTarget* target, cDocCompileError* error) {
  cDocCompileError local;
  cDocCompileError& e = error != nullptr ? *error : local;
  auto fail = [&](const char* message) {
    e.Set(message, nullptr, 0, 0);
    return false;
  };
  if (target == nullptr) return fail("bad target");
  for (auto* node = context.bodies.First(); node != nullptr; node = decltype(context.bodies)::Next(node)) {
    cMemIOTarget& body = node->value;
    if (body.GetSize() == 0) continue;
    if (body.GetSize() > static_cast<uint64_t>(sidoc::kMaxInflatedSize)) return fail("document too large");
    _typebuf<char> raw, packed;
    if (!body.CopyToBuffer(raw) || !DeflateWhole(raw, packed)) return fail("Unable to compress");
    const uint8_t id = static_cast<uint8_t>(node->key);
    if (!Write(target, &id, 1) || !Write32(target, static_cast<uint32_t>(packed.count)) ||
        !Write(target, packed.data, static_cast<uint32_t>(packed.count)))
      return fail("Unable to write target");
  }
  if (!Write(target, &sidoc::kEndMark, 1)) return fail("Unable to write target");

  // Font and string tables compressed, the picture table as it is.
  cMemIOTarget* tables[] = {&context.fontTable, &context.stringTable, &context.pictureTable};
  for (int t = 0; t < 3; ++t) {
    const bool compressed = t < 2;
    if (tables[t]->GetSize() == 0) {
      if (!Write32(target, 0)) return fail("Unable to write target");
      continue;
    }
    if (compressed && tables[t]->GetSize() > static_cast<uint64_t>(sidoc::kMaxInflatedSize))
      return fail("document too large");
    _typebuf<char> raw, packed;
    if (!tables[t]->CopyToBuffer(raw)) return fail("document too large");
    if (compressed && !DeflateWhole(raw, packed)) return fail("Unable to compress");
    const _typebuf<char>& out = compressed ? packed : raw;
    if (!Write32(target, static_cast<uint32_t>(out.count)) ||
        !Write(target, out.data, static_cast<uint32_t>(out.count)))
      return fail("Unable to write target");
  }
  return true;
}
