// The stream contract (short counts, failures, seeking from each origin,
// SetSize, Clone, Close) run against every stream kind. Where kinds differ
// by design, the row says how in one column per behaviour.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <ostream>
#include <memory>
#include <string>

#include "base/buffered_io.h"
#include "base/fileio.h"
#include "base/memio.h"
#include "tests/support/scripted_stream.h"
#include "tests/support/test_support.h"

namespace {

const std::string kContent = "0123456789";

// A stream holding kContent at position 0, with whatever keeps it alive.
struct Subject {
  virtual ~Subject() = default;
  cFileIOTarget* stream = nullptr;
  // The bytes stored behind the stream (after pending output is flushed).
  virtual std::string Backing() = 0;
};

enum class WriteMode { kNone, kInPlace, kExtends };
enum class BadSeekFromEnd { kToZero, kUnchanged, kAlwaysFails };
enum class SetSizeMode { kResizes, kResizesSource, kSameSizeOnly, kNever };
enum class ClonePos { kStart, kEnd, kNotReadable };

struct Kind {
  const char* name;
  std::function<std::unique_ptr<Subject>()> make;
  bool readable;
  WriteMode write;
  bool seekPastEnd;  // Seek(size + 1) succeeds
  BadSeekFromEnd badSeekFromEnd;
  SetSizeMode setSize;
  ClonePos clonePos;
  bool openAfterClose;
  int kind;
};

struct MemSubject : Subject {
  cMemIOTarget mem;
  MemSubject() {
    mem.Write(kContent.data(), 10);
    mem.Seek(0);
    stream = &mem;
  }
  std::string Backing() override {
    _typebuf<char> b;
    mem.CopyToBuffer(b);
    return std::string(b.data ? b.data : "", static_cast<size_t>(b.count));
  }
};

struct WrapSubject : Subject {
  std::string buffer = kContent;
  cBufWrapperIO wrap;
  explicit WrapSubject(bool writable) {
    if (writable)
      wrap.Attach(buffer.data(), 10, true);
    else
      wrap.Attach(static_cast<const void*>(buffer.data()), 10);
    stream = &wrap;
  }
  std::string Backing() override { return buffer; }
};

struct WindowSubject : Subject {
  cMemIOTarget* source = nullptr;
  std::unique_ptr<cMemIOTarget> borrowed;
  cFileIOSubRange window;
  explicit WindowSubject(bool owned) {
    auto src = std::make_unique<cMemIOTarget>();
    const std::string all = "ab" + kContent + "xyz";
    src->Write(all.data(), static_cast<uint32_t>(all.size()));
    source = src.get();
    if (owned) {
      window.AttachOwned(std::move(src), 2, 10);
    } else {
      borrowed = std::move(src);
      window.Attach(source, 2, 10);
    }
    stream = &window;
  }
  std::string Backing() override {
    _typebuf<char> b;
    source->CopyToBuffer(b);
    return std::string(b.data + 2, 10);
  }
};

struct BufferedSubject : Subject {
  twtest::ScriptedStream source{kContent};
  cMemBufferedIO buffered;
  explicit BufferedSubject(int32_t capacity) {
    buffered.Attach(&source, capacity);
    stream = &buffered;
  }
  std::string Backing() override { return source.Content(); }
};

struct WriterSubject : Subject {
  twtest::ScriptedStream target{kContent};
  cMemBufferedLinearWriterIO writer;
  WriterSubject() {
    writer.Attach(&target, 4);
    stream = &writer;
  }
  std::string Backing() override {
    writer.Flush();
    return target.Content();
  }
};

struct FileSubject : Subject {
  twtest::TempDir dir;
  std::string path = dir.path() + "/stream.bin";
  cFileIO file;
  FileSubject() {
    std::ofstream(path, std::ios::binary) << kContent;
    file.Open(std::u16string(path.begin(), path.end()).c_str(), kFileRead | kFileWrite);
    stream = &file;
  }
  std::string Backing() override {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
};

const Kind kKinds[] = {
    {"File", [] { return std::make_unique<FileSubject>(); }, true, WriteMode::kExtends, true,
     BadSeekFromEnd::kUnchanged, SetSizeMode::kResizes, ClonePos::kStart, false, 1},
    {"Mem", [] { return std::make_unique<MemSubject>(); }, true, WriteMode::kExtends, false,
     BadSeekFromEnd::kToZero, SetSizeMode::kResizes, ClonePos::kEnd, true, 2},
    {"BufWrapperWritable", [] { return std::make_unique<WrapSubject>(true); }, true,
     WriteMode::kInPlace, false, BadSeekFromEnd::kToZero, SetSizeMode::kSameSizeOnly,
     ClonePos::kStart, false, 0},
    {"BufWrapperReadOnly", [] { return std::make_unique<WrapSubject>(false); }, true,
     WriteMode::kNone, false, BadSeekFromEnd::kToZero, SetSizeMode::kSameSizeOnly,
     ClonePos::kStart, false, 0},
    {"WindowBorrowed", [] { return std::make_unique<WindowSubject>(false); }, true,
     WriteMode::kInPlace, false, BadSeekFromEnd::kToZero, SetSizeMode::kNever, ClonePos::kStart,
     true, 0},
    {"WindowOwned", [] { return std::make_unique<WindowSubject>(true); }, true,
     WriteMode::kInPlace, false, BadSeekFromEnd::kToZero, SetSizeMode::kNever, ClonePos::kStart,
     true, 0},
    {"BufferedSmall", [] { return std::make_unique<BufferedSubject>(4); }, true,
     WriteMode::kExtends, true, BadSeekFromEnd::kToZero, SetSizeMode::kResizesSource,
     ClonePos::kStart, false, 0},
    {"BufferedLarge", [] { return std::make_unique<BufferedSubject>(4096); }, true,
     WriteMode::kExtends, true, BadSeekFromEnd::kToZero, SetSizeMode::kResizesSource,
     ClonePos::kStart, false, 0},
    {"LinearWriter", [] { return std::make_unique<WriterSubject>(); }, false, WriteMode::kExtends,
     false, BadSeekFromEnd::kAlwaysFails, SetSizeMode::kNever, ClonePos::kNotReadable, false, 0},
};

void PrintTo(const Kind& k, std::ostream* os) { *os << k.name; }

// The byte at the stream's position, or -1 at the end.
int NextByte(cFileIOTarget& s) {
  char c = 0;
  return s.Read(&c, 1) == 1 ? static_cast<unsigned char>(c) : -1;
}

std::string ReadAll(cFileIOTarget& s) {
  std::string out;
  char buf[7];
  for (uint32_t n; (n = s.Read(buf, sizeof buf)) != 0;) out.append(buf, n);
  return out;
}

class StreamContract : public ::testing::TestWithParam<Kind> {
protected:
  void SetUp() override {
    subject = GetParam().make();
    s = subject->stream;
  }
  std::unique_ptr<Subject> subject;
  cFileIOTarget* s = nullptr;
};

TEST_P(StreamContract, SizeKindAndShortReads) {
  const Kind& k = GetParam();
  EXPECT_EQ(s->GetSize(), 10u);
  EXPECT_EQ(s->GetKind(), k.kind);
  EXPECT_TRUE(s->IsOpen());
  char buf[16] = {};
  if (!k.readable) {
    EXPECT_EQ(s->Read(buf, 4), 0u);
    EXPECT_FALSE(s->ReadExact(buf, 1));
    return;
  }
  ASSERT_EQ(s->Read(buf, 4), 4u);
  EXPECT_EQ(std::string(buf, 4), "0123");
  EXPECT_EQ(s->Read(buf, 16), 6u) << "a short count at the end";
  EXPECT_EQ(std::string(buf, 6), "456789");
  EXPECT_EQ(s->Read(buf, 16), 0u);
  EXPECT_FALSE(s->ReadExact(buf, 1));
  ASSERT_TRUE(s->Seek(7));
  EXPECT_FALSE(s->ReadExact(buf, 4)) << "only 3 bytes left";
  ASSERT_TRUE(s->Seek(2));
  EXPECT_TRUE(s->ReadExact(buf, 3));
  EXPECT_EQ(std::string(buf, 3), "234");
  EXPECT_EQ(s->Read(nullptr, 3), 0u);
  EXPECT_EQ(s->Read(buf, 0), 0u);
  EXPECT_EQ(NextByte(*s), '5') << "failed reads do not move the position";
}

TEST_P(StreamContract, SeekFromStart) {
  const Kind& k = GetParam();
  EXPECT_TRUE(s->Seek(3));
  if (k.readable) {
    EXPECT_EQ(NextByte(*s), '3');
  }
  EXPECT_TRUE(s->Seek(10)) << "the end itself is a valid position";
  if (k.readable) {
    EXPECT_EQ(NextByte(*s), -1);
  }
  EXPECT_EQ(s->Seek(11), k.seekPastEnd);
  if (k.readable) {
    EXPECT_EQ(NextByte(*s), -1) << "nothing to read past the end";
  }
  EXPECT_TRUE(s->Seek(0));
  if (k.readable) {
    EXPECT_EQ(NextByte(*s), '0');
  }
}

TEST_P(StreamContract, SeekFromEnd) {
  const Kind& k = GetParam();
  if (k.badSeekFromEnd == BadSeekFromEnd::kAlwaysFails) {
    EXPECT_FALSE(s->SeekFromEnd(0));
    EXPECT_FALSE(s->SeekFromEnd(3));
    return;
  }
  ASSERT_TRUE(s->SeekFromEnd(0));
  EXPECT_EQ(NextByte(*s), -1);
  ASSERT_TRUE(s->SeekFromEnd(3));
  EXPECT_EQ(NextByte(*s), '7');
  ASSERT_TRUE(s->SeekFromEnd(10));
  EXPECT_EQ(NextByte(*s), '0');
  ASSERT_TRUE(s->Seek(5));
  EXPECT_FALSE(s->SeekFromEnd(11));
  EXPECT_EQ(NextByte(*s), k.badSeekFromEnd == BadSeekFromEnd::kToZero ? '0' : '5');
  EXPECT_FALSE(s->SeekFromEnd(UINT64_MAX));
}

TEST_P(StreamContract, WritesInPlaceAndAtTheEnd) {
  const Kind& k = GetParam();
  ASSERT_TRUE(s->Seek(2));
  const uint32_t inPlace = s->Write("ab", 2);
  EXPECT_EQ(s->Write(nullptr, 2), 0u);
  EXPECT_EQ(s->Write("q", 0), 0u);
  ASSERT_TRUE(s->Seek(9));
  const uint32_t atLast = s->Write("YZ", 2);
  const bool exact = s->WriteExact("!", 1);
  ASSERT_TRUE(s->Seek(0));
  const std::string after = subject->Backing();
  switch (k.write) {
    case WriteMode::kNone:
      EXPECT_EQ(inPlace, 0u);
      EXPECT_EQ(atLast, 0u);
      EXPECT_FALSE(exact);
      EXPECT_EQ(after, kContent);
      break;
    case WriteMode::kInPlace:
      EXPECT_EQ(inPlace, 2u);
      EXPECT_EQ(atLast, 1u) << "a fixed-size stream takes what fits";
      EXPECT_FALSE(exact);
      EXPECT_EQ(after, "01ab45678Y");
      break;
    case WriteMode::kExtends:
      EXPECT_EQ(inPlace, 2u);
      EXPECT_EQ(atLast, 2u);
      EXPECT_TRUE(exact);
      EXPECT_EQ(after, "01ab45678YZ!");
      break;
  }
  if (k.readable) {
    EXPECT_EQ(ReadAll(*s), after) << "reads see the writes";
  }
}

TEST_P(StreamContract, SetSize) {
  const Kind& k = GetParam();
  switch (k.setSize) {
    case SetSizeMode::kResizes:
    case SetSizeMode::kResizesSource:
      ASSERT_TRUE(s->SetSize(4));
      EXPECT_EQ(subject->Backing(), "0123");
      ASSERT_TRUE(s->SetSize(7));
      EXPECT_EQ(subject->Backing(), std::string("0123\0\0\0", 7)) << "grown bytes read as zero";
      // The buffered stream keeps the size it read at attachment.
      EXPECT_EQ(s->GetSize(), k.setSize == SetSizeMode::kResizes ? 7u : 10u);
      ASSERT_TRUE(s->Seek(2));
      EXPECT_EQ(ReadAll(*s), std::string("23\0\0\0", 5));
      break;
    case SetSizeMode::kSameSizeOnly:
      EXPECT_FALSE(s->SetSize(4));
      EXPECT_TRUE(s->SetSize(10));
      EXPECT_EQ(subject->Backing(), kContent);
      break;
    case SetSizeMode::kNever:
      EXPECT_FALSE(s->SetSize(4));
      EXPECT_FALSE(s->SetSize(10));
      EXPECT_EQ(subject->Backing(), kContent);
      break;
  }
}

TEST_P(StreamContract, CloneLeavesTheOriginalAlone) {
  const Kind& k = GetParam();
  for (bool independent : {false, true}) {
    SCOPED_TRACE(independent ? "independent" : "dependent");
    ASSERT_TRUE(s->Seek(3));
    std::unique_ptr<cFileIOTarget> c = s->Clone(independent);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->GetSize(), 10u);
    EXPECT_EQ(c->GetKind(), k.kind);
    if (k.clonePos == ClonePos::kNotReadable) continue;
    EXPECT_EQ(NextByte(*s), '3') << "the original keeps its position";
    EXPECT_EQ(NextByte(*c), k.clonePos == ClonePos::kStart ? '0' : -1);
    ASSERT_TRUE(c->Seek(0));
    EXPECT_EQ(ReadAll(*c), kContent);
    EXPECT_EQ(NextByte(*s), '4') << "reading the clone does not move the original";
  }
}

TEST_P(StreamContract, Close) {
  const Kind& k = GetParam();
  s->Close();
  EXPECT_EQ(s->IsOpen(), k.openAfterClose);
  char buf[4];
  s->Seek(0);
  if (k.openAfterClose && k.setSize == SetSizeMode::kNever) {
    // A window's Close keeps its source: it still reads.
    EXPECT_EQ(s->Read(buf, 4), 4u);
  } else {
    EXPECT_EQ(s->Read(buf, 4), 0u);
    EXPECT_EQ(s->GetSize(), 0u);
  }
  if (!k.openAfterClose) {
    EXPECT_EQ(s->Write("x", 1), 0u);
    EXPECT_EQ(s->Clone(false), nullptr);
  }
}

INSTANTIATE_TEST_SUITE_P(AllKinds, StreamContract, ::testing::ValuesIn(kKinds),
                         [](const ::testing::TestParamInfo<Kind>& info) { return info.param.name; });

}  // namespace
