// cTextFileReader: reads a text file, or text held in any stream, line by
// line into UTF-16 buffers.
//  a. The encoding comes from the byte-order mark (UTF-8 EF BB BF, UTF-16LE
//     FF FE, UTF-16BE FE FF); a file without a mark is read as UTF-16LE, an
//     attached stream as UTF-8.
//  b. Lines end at CR, LF, CR LF or NUL; a CR and LF count as one end only
//     when both lie in the same block, so a CR that ends one block followed
//     by an LF that starts the next gives an empty line after it.
//  c. Lines hold at most kMaxLineUnits units (bytes for UTF-8). Lines come
//     out of fixed blocks of 4,096 units allocated once and reused.
//  d. ReadLine's false means the end of the text: the end of the data, a
//     line that is too long, a failed positioning, or fewer bytes left than
//     one unit (an odd trailing byte of UTF-16 text).
// The text is taken to start at position 0 of the source.
#pragma once

#include <cstdint>

#include "base/buffers.h"
#include "base/fileio.h"

class cTextFileReader : public cFileIO {
public:
  enum : int {
    kDetect = 0,    // from the byte-order mark (SetEncoding only)
    kUtf16Le = 1,   // UTF-16LE without a mark
    kUtf8 = 2,      // UTF-8, a mark skipped when present
    kUtf16LeBom = 3,
    kUtf16BeBom = 4,
  };
  static constexpr int32_t kMaxLineUnits = 4096;

  cTextFileReader() = default;
  ~cTextFileReader() override;

  // Opens the file for reading (the reader becomes its own source) and
  // detects the encoding. False when the file cannot be opened.
  bool Open(const char16_t* path);
  // Closes the own file and reads the borrowed stream as UTF-8. False for a
  // null stream or when it cannot be positioned after the mark.
  bool Attach(cFileIOTarget* stream);
  // Reads the mark for the encoding (see the enum) from the source's current
  // position and positions the source after the mark. False without a
  // source, for an unknown encoding value (nothing changes then) or when the
  // seek fails.
  bool SetEncoding(int encoding);
  // Back to the first line.
  bool Rewind();
  // The next line, without its end and without a terminating zero; an empty
  // line leaves out empty. False at the end of the text (see d above).
  bool ReadLine(_typebuf<char16_t>& out);

  // Whether the last ReadLine ended the text at a line that is too long
  // (false after any other ReadLine), so a caller can tell it from the end
  // of the data.
  bool LineTooLong() const { return lineTooLong_; }

  int Encoding() const { return encoding_; }
  int MarkSize() const { return markSize_; }

private:
  int32_t UnitBytes() const { return encoding_ == kUtf8 ? 1 : 2; }
  int32_t BlockBytes() const { return kMaxLineUnits * UnitBytes(); }
  void ForgetBlock();
  // Finds the line end among units units at p: the line length, and in
  // *terminator the units of the end (0 when none was found).
  int32_t ScanLine(const char* p, int32_t units, int32_t* terminator) const;
  void Convert(const char* p, int32_t units, _typebuf<char16_t>& out) const;

  cFileIOTarget* source_ = nullptr;
  uint64_t position_ = 0;
  uint64_t blockStart_ = UINT64_MAX;  // no block
  _typebuf<char> block1_;  // the data being scanned
  _typebuf<char> block2_;  // the continuation of a line that crosses its end
  _typebuf<char> block3_;  // the two parts joined
  int32_t bytesInBlock1_ = 0;
  int encoding_ = kUtf16Le;
  int markSize_ = 0;
  bool lineTooLong_ = false;
};
