// The iCmd block: 8,192 bytes in the program's initialised data that tie a
// package to the program image. In the program as built it holds the
// template ('<', "ICMDBLOCK", '>', zeros); the setup builder fills it in the
// copy that becomes a setup file, and at start-up the program reads its own
// block to learn whether a package belongs to it and where it lies. The
// block is only ever read at run time.
//
// Layout (little-endian):
//   0    1      kind: '<' template; 1 package appended to this program's
//               file; 2 package in the file named below; 0 no package
//   1    255    kind 2: the package file's path in UTF-8, ended by a zero
//               byte or by the end of the field
//   256  4      package offset in the package file
//   260  4      block offset: where this block lies in the program file
//   264  4      clean length: the program file's length without the package
//   268  7,924  patch records: u32 file offset, u16 length n, n bytes (the
//               clean file's bytes there), ascending and non-overlapping,
//               each whole inside the area; the record at the block offset
//               has n = 0 and stands for the template; the end record has
//               offset 0xFFFFFFFF and n = 0.
#pragma once

#include <cstdint>

#include "base/guardchar.h"

class cFileIOTarget;

namespace tw {
inline constexpr uint32_t kCmdBlockSize = 8192;
inline constexpr uint32_t kCmdBlockPathSize = 255;
inline constexpr uint32_t kCmdBlockRecordsAt = 268;
inline constexpr uint32_t kCmdBlockRecordArea = kCmdBlockSize - kCmdBlockRecordsAt;  // 7,924
inline constexpr uint32_t kCmdBlockEndOffset = 0xFFFFFFFFu;
inline constexpr uint8_t kCmdBlockTemplate = '<';
inline constexpr uint8_t kCmdBlockAppended = 1;
inline constexpr uint8_t kCmdBlockOtherFile = 2;
}  // namespace tw

// The program's own block as it is in memory (8,192 bytes, read only).
const uint8_t* OwnCmdBlock();
// The template, 8,192 bytes.
const uint8_t* CmdBlockTemplate();

// True when the program's own block equals the template.
bool IsCmdBlockPristine();

// The offset of the template in the program file, searched from the start;
// -1 for a null stream, a file shorter than the block, a failed read, no
// match, or when the own block is not the template (a filled program has
// no template left to find).
int64_t FindCmdBlock(cFileIOTarget* programFile);

// Reads the own block: true when it names a package, with its path and
// offset. Kind 1: the program path itself, which must be an existing file.
// Kind 2: the path field; one starting with "./" lies in the program's
// folder and must exist, any other is taken unchecked. Outputs are set only
// on success.
bool LocateOwnPackage(_guardchar<char16_t>& packagePath, const char16_t* programPath,
                      uint32_t& packageOffset);
// The same for a given block (8,192 bytes).
bool LocatePackageInBlock(const uint8_t* block, _guardchar<char16_t>& packagePath,
                          const char16_t* programPath, uint32_t& packageOffset);

// One saved range of the clean program file.
struct sCmdPatch {
  uint32_t offset = 0;
  const uint8_t* bytes = nullptr;  // the clean file's bytes at offset
  uint16_t length = 0;
};

// Fills block (8,192 bytes) as the builder writes it into a setup file:
// kind 1, no path, package offset = clean length = cleanLength, the block
// offset, then the patch records with the block's own record (length 0)
// put in its place and the end record. patches must be in ascending,
// non-overlapping order and must not overlap the block itself. False, block
// unspecified, when they are not or when the records do not fit.
bool WriteCmdBlock(uint8_t* block, uint32_t blockOffset, uint32_t cleanLength,
                   const sCmdPatch* patches, int32_t patchCount);

// Writes the clean copy of the running program's file (the program as it
// was before the builder filled the block, patched the header and replaced
// the version resource) to target. False for a null target, a file that
// cannot be opened, a block of kind 0 or above 2, a file shorter than the
// clean length, a damaged record table or a failed read or write; the
// target then holds a partial copy.
bool CopyCleanManager(const char16_t* programPath, cFileIOTarget* target);
// The same for a given block (8,192 bytes) and program stream.
bool CopyCleanFromBlock(const uint8_t* block, cFileIOTarget* program, cFileIOTarget* target);
