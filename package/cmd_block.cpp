// The iCmd block. See cmd_block.h.
#include "package/cmd_block.h"

#include <cstring>
#include <memory>

#include "base/fileio.h"
#include "base/format.h"
#include "base/paths.h"
#include "base/strings.h"

// The block itself: initialised, writable data with external linkage, so
// that it lands in the image's data section byte for byte and the compiler
// cannot fold reads of it into constants (the builder changes it in the file
// after the build).
extern uint8_t twCmdBlock[tw::kCmdBlockSize];
uint8_t twCmdBlock[tw::kCmdBlockSize] = {'<', 'I', 'C', 'M', 'D', 'B', 'L', 'O', 'C', 'K', '>'};

namespace {

const uint8_t kTemplateHead[] = {'<', 'I', 'C', 'M', 'D', 'B', 'L', 'O', 'C', 'K', '>'};

uint32_t U32At(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void PutU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

bool MatchesTemplate(const uint8_t* p) {
  if (std::memcmp(p, kTemplateHead, sizeof(kTemplateHead)) != 0) return false;
  for (uint32_t i = sizeof(kTemplateHead); i < tw::kCmdBlockSize; ++i) {
    if (p[i] != 0) return false;
  }
  return true;
}

}  // namespace

const uint8_t* OwnCmdBlock() {
  const uint8_t* p = twCmdBlock;
  // Hide the pointer's origin from the optimiser: the bytes are read from
  // the image every time.
  asm volatile("" : "+r"(p));
  return p;
}

const uint8_t* CmdBlockTemplate() {
  static const auto block = [] {
    auto b = std::make_unique<uint8_t[]>(tw::kCmdBlockSize);
    std::memset(b.get(), 0, tw::kCmdBlockSize);
    std::memcpy(b.get(), kTemplateHead, sizeof(kTemplateHead));
    return b;
  }();
  return block.get();
}

bool IsCmdBlockPristine() { return MatchesTemplate(OwnCmdBlock()); }

int64_t FindCmdBlock(cFileIOTarget* programFile) {
  if (programFile == nullptr || !IsCmdBlockPristine()) return -1;
  const uint64_t length = programFile->GetSize();
  // The whole file is held for the search; a program image is small, and
  // one that does not fit a 32-bit count is no program of ours.
  if (length < tw::kCmdBlockSize || length > 0x7FFFFFFFu) return -1;
  auto data = std::make_unique<uint8_t[]>(static_cast<size_t>(length));
  if (!programFile->Seek(0) || !programFile->ReadExact(data.get(), static_cast<uint32_t>(length))) {
    return -1;
  }
  const uint8_t* own = OwnCmdBlock();
  for (uint64_t at = 0; at + tw::kCmdBlockSize <= length; ++at) {
    if (data[at] == '<' && std::memcmp(data.get() + at, own, tw::kCmdBlockSize) == 0) {
      return static_cast<int64_t>(at);
    }
  }
  return -1;
}

bool LocateOwnPackage(_guardchar<char16_t>& packagePath, const char16_t* programPath,
                      uint32_t& packageOffset) {
  return LocatePackageInBlock(OwnCmdBlock(), packagePath, programPath, packageOffset);
}

bool LocatePackageInBlock(const uint8_t* block, _guardchar<char16_t>& packagePath,
                          const char16_t* programPath, uint32_t& packageOffset) {
  if (block == nullptr) return false;
  _guardchar<char16_t> path;
  if (block[0] == tw::kCmdBlockAppended) {
    if (GetPathKind(programPath) != tw::kPathFile) return false;
    path.Assign(programPath);
  } else if (block[0] == tw::kCmdBlockOtherFile) {
    // At most 255 bytes: a path that fills the field has no terminator.
    const char* field = reinterpret_cast<const char*>(block + 1);
    size_t n = 0;
    while (n < tw::kCmdBlockPathSize && field[n] != 0) ++n;
    _guardchar<char16_t> named;
    if (n == 0 || Utf8ToWide(static_cast<int32_t>(n), field, named) <= 0 || named.text == nullptr ||
        *named.text == 0) {
      return false;
    }
    if (named.text[0] == u'.' && named.text[1] == u'/') {
      // Relative to the program's folder.
      const char16_t* slash = FindLastCharW(programPath, u'/');
      if (slash == nullptr) return false;
      _guardchar<char16_t> folder;
      folder.AssignN(programPath, static_cast<uint32_t>(slash - programPath + 1));
      int32_t capacity = WideLength(folder.text) + WideLength(named.text) + 1;
      auto joined = std::make_unique<char16_t[]>(static_cast<size_t>(capacity));
      FormatW(joined.get(), capacity, u"%s%s", folder.text, named.text + 2);
      if (GetPathKind(joined.get()) != tw::kPathFile) return false;
      path.Assign(joined.get());
    } else {
      path = std::move(named);
    }
  } else {
    return false;
  }
  packagePath = std::move(path);
  packageOffset = U32At(block + 256);
  return true;
}

bool WriteCmdBlock(uint8_t* block, uint32_t blockOffset, uint32_t cleanLength,
                   const sCmdPatch* patches, int32_t patchCount) {
  if (block == nullptr || patchCount < 0 || (patchCount > 0 && patches == nullptr)) return false;
  std::memset(block, 0, tw::kCmdBlockSize);
  block[0] = tw::kCmdBlockAppended;
  PutU32(block + 256, cleanLength);
  PutU32(block + 260, blockOffset);
  PutU32(block + 264, cleanLength);

  uint32_t at = tw::kCmdBlockRecordsAt;
  auto put = [&](uint32_t offset, const uint8_t* bytes, uint16_t n) {
    if (tw::kCmdBlockSize - at < 6u + n) return false;
    PutU32(block + at, offset);
    block[at + 4] = static_cast<uint8_t>(n);
    block[at + 5] = static_cast<uint8_t>(n >> 8);
    if (n != 0) std::memcpy(block + at + 6, bytes, n);
    at += 6u + n;
    return true;
  };

  // Records in file order; the block's own record goes before the first
  // patch that lies beyond the block.
  uint64_t end = 0;  // the end of the last range written
  bool blockDone = false;
  const uint64_t blockEnd = static_cast<uint64_t>(blockOffset) + tw::kCmdBlockSize;
  for (int32_t i = 0; i <= patchCount; ++i) {
    const bool last = i == patchCount;
    if (!blockDone && (last || patches[i].offset >= blockOffset)) {
      if (blockOffset < end || !put(blockOffset, nullptr, 0)) return false;
      end = blockEnd;
      blockDone = true;
    }
    if (last) break;
    const sCmdPatch& p = patches[i];
    if (p.offset < end || (p.length != 0 && p.bytes == nullptr) || p.offset == tw::kCmdBlockEndOffset ||
        !put(p.offset, p.bytes, p.length)) {
      return false;
    }
    end = static_cast<uint64_t>(p.offset) + p.length;
  }
  return put(tw::kCmdBlockEndOffset, nullptr, 0);
}

namespace {

constexpr uint32_t kTransfer = 64 * 1024;

// Copies program bytes [from, to) to target through buffer.
bool CopyRange(cFileIOTarget* program, cFileIOTarget* target, uint8_t* buffer, uint64_t from, uint64_t to) {
  if (!program->Seek(from)) return false;
  for (uint64_t at = from; at < to;) {
    const uint32_t n = static_cast<uint32_t>(to - at < kTransfer ? to - at : kTransfer);
    if (!program->ReadExact(buffer, n) || !target->WriteExact(buffer, n)) return false;
    at += n;
  }
  return true;
}

}  // namespace

bool CopyCleanFromBlock(const uint8_t* block, cFileIOTarget* program, cFileIOTarget* target) {
  if (block == nullptr || program == nullptr || target == nullptr) return false;
  auto buffer = std::make_unique<uint8_t[]>(kTransfer);
  const uint64_t size = program->GetSize();
  if (block[0] == tw::kCmdBlockTemplate) return CopyRange(program, target, buffer.get(), 0, size);
  if (block[0] != tw::kCmdBlockAppended && block[0] != tw::kCmdBlockOtherFile) return false;
  const uint32_t blockOffset = U32At(block + 260);
  const uint32_t cleanLength = U32At(block + 264);
  if (size < cleanLength) return false;
  uint64_t position = 0;
  uint32_t at = tw::kCmdBlockRecordsAt;
  for (;;) {
    if (tw::kCmdBlockSize - at < 6) return false;
    const uint32_t offset = U32At(block + at);
    const uint32_t n = static_cast<uint32_t>(block[at + 4] | block[at + 5] << 8);
    if (tw::kCmdBlockSize - at < 6u + n) return false;
    if (offset == tw::kCmdBlockEndOffset) {
      return n == 0 && position <= cleanLength && CopyRange(program, target, buffer.get(), position, cleanLength);
    }
    if (offset < position) return false;
    if (offset > position) {
      // Nothing may be copied from beyond the clean program.
      if (offset > cleanLength || !CopyRange(program, target, buffer.get(), position, offset)) return false;
      position = offset;
    }
    if (offset == blockOffset) {
      if (n != 0 || !target->WriteExact(CmdBlockTemplate(), tw::kCmdBlockSize)) return false;
      position += tw::kCmdBlockSize;
    } else {
      if (n != 0 && !target->WriteExact(block + at + 6, n)) return false;
      position += n;
    }
    at += 6 + n;
  }
}

bool CopyCleanManager(const char16_t* programPath, cFileIOTarget* target) {
  if (target == nullptr || programPath == nullptr) return false;
  cFileIO program;
  if (!program.Open(programPath, kFileRead)) return false;
  return CopyCleanFromBlock(OwnCmdBlock(), &program, target);
}
