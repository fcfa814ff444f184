#include "base/text_reader.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "base/memio.h"
#include "tests/support/test_support.h"

namespace {

using Lines = std::vector<std::u16string>;

constexpr int kNoChange = -1;

// Every line the reader gives for bytes, stopping at the first false. A
// reader that keeps answering true past one line per byte is hung.
Lines ReadLines(cTextFileReader& r, size_t byteCount, bool* tooLong = nullptr) {
  Lines lines;
  _typebuf<char16_t> line;
  while (r.ReadLine(line)) {
    lines.emplace_back(line.data != nullptr ? line.data : u"", static_cast<size_t>(line.count));
    if (lines.size() > byteCount + 1) {
      ADD_FAILURE() << "more lines than bytes: the reader does not advance";
      break;
    }
  }
  if (tooLong != nullptr) *tooLong = r.LineTooLong();
  return lines;
}

// Reads bytes from a memory stream, with the encoding set after Attach
// (kNoChange keeps Attach's UTF-8).
Lines ReadStream(const std::string& bytes, int encoding, int* gotEncoding = nullptr,
                 int* gotMark = nullptr, bool* tooLong = nullptr) {
  cMemIOTarget mem;
  mem.Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
  mem.Seek(0);  // the mark is read from the stream's current position
  cTextFileReader r;
  EXPECT_TRUE(r.Attach(&mem));
  if (encoding != kNoChange) {
    mem.Seek(0);
    EXPECT_TRUE(r.SetEncoding(encoding));
  }
  if (gotEncoding) *gotEncoding = r.Encoding();
  if (gotMark) *gotMark = r.MarkSize();
  return ReadLines(r, bytes.size(), tooLong);
}

std::string Utf16Le(const std::u16string& s) {
  std::string out;
  for (char16_t c : s) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
  return out;
}

std::string Utf16Be(const std::u16string& s) {
  std::string out;
  for (char16_t c : s) {
    out += static_cast<char>(c >> 8);
    out += static_cast<char>(c & 0xFF);
  }
  return out;
}

std::string Show(const Lines& lines) {
  std::string out;
  for (const auto& l : lines) out += "[" + twtest::Narrow(l) + "]";
  return out;
}

TEST(TextFileReader, MarksAndEncodings) {
  struct Case {
    const char* name;
    std::string bytes;
    int setEncoding;
    int wantEncoding;
    int wantMark;
    Lines want;
  } cases[] = {
      {"utf8 mark", "\xEF\xBB\xBF" "a\r\nb", 0, 2, 3, {u"a", u"b"}},
      {"utf16le mark", "\xFF\xFE" + Utf16Le(u"a\r\nb"), 0, 3, 2, {u"a", u"b"}},
      {"utf16be mark", "\xFE\xFF" + Utf16Be(u"a\r\nb"), 0, 4, 2, {u"a", u"b"}},
      {"no mark is utf16le", "abcd", 0, 1, 0, {u"\u6261\u6463"}},
      {"one byte", "a", 0, 1, 0, {}},
      {"cut utf8 mark", "\xEF\xBB", 0, 1, 0, {u"\uBBEF"}},
      {"FF then another byte", std::string("\xFF\x41" "b\0", 4), 0, 1, 0, {u"\u41FF\u0062"}},
      {"odd ascii ends", "abc", 0, 1, 0, {u"\u6261"}},
      {"odd ascii after a line end", Utf16Le(u"x\n") + "y", 0, 1, 0, {u"x"}},
      {"empty", "", 0, 1, 0, {}},
      {"utf16be non-ascii", std::string("\xFE\xFF\x20\xAC\xD8\x3D\xDE\x00", 8), 0, 4, 2, {u"\u20AC\U0001F600"}},
      {"utf8 attach without mark", "hi\nyo", kNoChange, 2, 0, {u"hi", u"yo"}},
      {"utf8 attach with mark", "\xEF\xBB\xBFhi", kNoChange, 2, 3, {u"hi"}},
      {"utf8 two and three bytes", "\xC3\xA9\xE2\x82\xAC", kNoChange, 2, 0, {u"\u00E9\u20AC"}},
      {"utf16le asked, no mark", Utf16Le(u"q"), 1, 1, 0, {u"q"}},
      {"utf16be asked, mark missing", Utf16Be(u"q"), 4, 4, 0, {u"q"}},
      {"utf16le-mark asked on utf8 text", "\xEF\xBB\xBFqq", 3, 3, 0, {u"\uBBEF\u71BF"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    int enc = -1, mark = -1;
    const Lines got = ReadStream(c.bytes, c.setEncoding, &enc, &mark);
    EXPECT_EQ(enc, c.wantEncoding);
    EXPECT_EQ(mark, c.wantMark);
    EXPECT_EQ(got, c.want) << Show(got);
  }
}

TEST(TextFileReader, LineEnds) {
  struct Case {
    std::string text;
    Lines want;
  } cases[] = {
      {"a\r\nb\nc\rd", {u"a", u"b", u"c", u"d"}},
      {std::string("a\0b", 3), {u"a", u"b"}},
      {"\r\n\r\nx", {u"", u"", u"x"}},
      {"a\n\rb", {u"a", u"", u"b"}},
      {"a\r\r\nb", {u"a", u"", u"b"}},
      {"last\n", {u"last"}},
      {"\n", {u""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    EXPECT_EQ(ReadStream(c.text, kNoChange), c.want);
    std::u16string wide;
    for (char ch : c.text) wide += static_cast<char16_t>(static_cast<unsigned char>(ch));
    EXPECT_EQ(ReadStream("\xFF\xFE" + Utf16Le(wide), 0), c.want);
    EXPECT_EQ(ReadStream("\xFE\xFF" + Utf16Be(wide), 0), c.want);
  }
}

TEST(TextFileReader, LineLengthLimitInAndAcrossBlocks) {
  // A line of `length` units after a first line of `lead` units: with a lead
  // the long line crosses from block 1 into block 2.
  struct Case {
    int lead;
    int length;
    bool whole;
  } cases[] = {
      {0, 4095, true}, {0, 4096, true}, {0, 4097, false},
      {9, 4095, true}, {9, 4096, true}, {9, 4097, false},
      {4094, 4096, true}, {4094, 4097, false},
  };
  for (int encoding : {3, 2}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(testing::Message() << "encoding " << encoding << " lead " << c.lead
                                      << " length " << c.length);
      std::u16string text(static_cast<size_t>(c.lead), u'a');
      if (c.lead != 0) text += u'\n';
      text += std::u16string(static_cast<size_t>(c.length), u'b') + u"\nz";
      std::string bytes;
      if (encoding == 3) {
        bytes = "\xFF\xFE" + Utf16Le(text);
      } else {
        for (char16_t ch : text) bytes += static_cast<char>(ch);
      }
      bool tooLong = true;
      const Lines got = ReadStream(bytes, encoding == 3 ? 0 : kNoChange, nullptr, nullptr, &tooLong);
      // The end of the data and a line too long both end the text; only the
      // latter is reported as such.
      EXPECT_EQ(tooLong, !c.whole);
      Lines want;
      if (c.lead != 0) want.push_back(std::u16string(static_cast<size_t>(c.lead), u'a'));
      if (c.whole) {
        want.push_back(std::u16string(static_cast<size_t>(c.length), u'b'));
        want.push_back(u"z");
      }
      ASSERT_EQ(got.size(), want.size());
      EXPECT_TRUE(got == want);
    }
  }
}

TEST(TextFileReader, CrLfSplitAcrossTheBlockEnd) {
  // The CR is the last unit of block 1 and ends its line; the LF that starts
  // block 2 then ends an empty line.
  const std::u16string first(4095, u'x');
  EXPECT_EQ(ReadStream(std::string(4095, 'x') + "\r\ny", kNoChange), (Lines{first, u"", u"y"}));
  // UTF-16LE without a mark: block 1 is 8,192 bytes from position 0.
  EXPECT_EQ(ReadStream(Utf16Le(first + u"\r\ny"), 1), (Lines{first, u"", u"y"}));
  // Inside one block CR LF is one end.
  EXPECT_EQ(ReadStream(std::string(4094, 'x') + "\r\ny", kNoChange),
            (Lines{std::u16string(4094, u'x'), u"y"}));
}

TEST(TextFileReader, LongTextEveryLineBackAcrossManyBlocks) {
  std::string text;
  Lines want;
  for (int i = 0; i < 3000; ++i) {
    std::string line(static_cast<size_t>(i % 97), static_cast<char>('a' + i % 26));
    // LF and NUL ends: a CR LF pair split by a block end would add an empty
    // line (tested on its own above).
    text += line + (i % 3 == 0 ? std::string(1, '\0') : std::string("\n"));
    want.emplace_back(line.begin(), line.end());
  }
  const Lines got = ReadStream(text, kNoChange);
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], want[i]) << "line " << i;
}

TEST(TextFileReader, OddTrailingByteEndsWithoutHanging) {
  // An odd-length ASCII text without a mark is read as UTF-16LE; its last
  // byte is less than a unit and ends the data, in block 1 and across a join.
  for (size_t n : {1u, 3u, 8191u, 8193u, 20001u}) {
    SCOPED_TRACE(n);
    std::string text(n, 'q');
    for (size_t i = 100; i < n; i += 1000) text[i] = '\n';
    const Lines got = ReadStream(text, 0);
    size_t units = 0;
    for (const auto& l : got) units += l.size();
    EXPECT_LE(units, n / 2);
  }
}

TEST(TextFileReader, RewindAndMissingSource) {
  cMemIOTarget mem;
  mem.Write("\xEF\xBB\xBFone\ntwo\n", 11);
  mem.Seek(0);
  cTextFileReader r;
  _typebuf<char16_t> line;
  EXPECT_FALSE(r.ReadLine(line));
  EXPECT_FALSE(r.Rewind());
  EXPECT_FALSE(r.SetEncoding(0));
  ASSERT_TRUE(r.Attach(&mem));
  ASSERT_TRUE(r.ReadLine(line));
  ASSERT_TRUE(r.ReadLine(line));
  EXPECT_EQ(std::u16string(line.data, line.count), u"two");
  ASSERT_TRUE(r.Rewind());
  ASSERT_TRUE(r.ReadLine(line));
  EXPECT_EQ(std::u16string(line.data, line.count), u"one");
  EXPECT_FALSE(r.SetEncoding(7)) << "unknown encodings are refused";
  EXPECT_EQ(r.Encoding(), 2);
  EXPECT_FALSE(r.Attach(nullptr));
  EXPECT_FALSE(r.ReadLine(line));
}

TEST(TextFileReader, OpenReadsAFileByItsMark) {
  twtest::TempDir dir;
  struct Case {
    const char* name;
    std::string bytes;
    int wantEncoding;
    Lines want;
  } cases[] = {
      {"be.txt", "\xFE\xFF" + Utf16Be(u"one\r\ntwo"), 4, {u"one", u"two"}},
      {"le.txt", "\xFF\xFE" + Utf16Le(u"one\r\ntwo"), 3, {u"one", u"two"}},
      {"u8.txt", "\xEF\xBB\xBFone\r\ntwo", 2, {u"one", u"two"}},
      {"plain.txt", "one\r\n", 1, {u"\u6e6f\u0d65"}},
      {"byte.txt", "x", 1, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.path() + "/" + c.name;
    std::ofstream(path, std::ios::binary) << c.bytes;
    cTextFileReader r;
    ASSERT_TRUE(r.Open(std::u16string(path.begin(), path.end()).c_str()));
    EXPECT_TRUE(r.IsOpen());
    EXPECT_EQ(r.Encoding(), c.wantEncoding);
    EXPECT_EQ(ReadLines(r, c.bytes.size()), c.want);
  }
  cTextFileReader r;
  const std::string missing = dir.path() + "/missing.txt";
  EXPECT_FALSE(r.Open(std::u16string(missing.begin(), missing.end()).c_str()));
  _typebuf<char16_t> line;
  EXPECT_FALSE(r.ReadLine(line));
}

}  // namespace
