// A stream for tests of stream wrappers: memory underneath, with counters of
// the calls it received and switches that make it misbehave the way a disk
// or a socket can (seeks that fail, writes that take only part).
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/fileio.h"
#include "base/memio.h"

namespace twtest {

class ScriptedStream : public cFileIOTarget {
public:
  explicit ScriptedStream(const std::string& content = {}) {
    data.Write(content.data(), static_cast<uint32_t>(content.size()));
    data.Seek(0);
  }

  // Behaviour switches.
  bool failSeek = false;
  uint64_t writeBudget = UINT64_MAX;  // bytes it will still take, in total

  // What it was asked.
  int reads = 0;
  int writes = 0;
  int seeks = 0;
  std::vector<uint32_t> readSizes;
  std::vector<uint32_t> writeSizes;

  cMemIOTarget data;

  std::string Content() {
    _typebuf<char> b;
    data.CopyToBuffer(b);
    return std::string(b.data != nullptr ? b.data : "", static_cast<size_t>(b.count));
  }

  uint64_t GetSize() override { return data.GetSize(); }
  uint32_t Read(void* destination, uint32_t count) override {
    ++reads;
    readSizes.push_back(count);
    return data.Read(destination, count);
  }
  uint32_t Write(const void* source, uint32_t count) override {
    ++writes;
    writeSizes.push_back(count);
    const auto n = static_cast<uint32_t>(std::min<uint64_t>(count, writeBudget));
    const uint32_t put = data.Write(source, n);
    writeBudget -= put;
    return put;
  }
  bool Seek(uint64_t position) override {
    ++seeks;
    return !failSeek && data.Seek(position);
  }
  bool SeekFromEnd(uint64_t distance) override { return !failSeek && data.SeekFromEnd(distance); }
  bool SetSize(uint64_t size) override { return data.SetSize(size); }
  void Close() override { data.Close(); }
  bool IsOpen() override { return true; }
  std::unique_ptr<cFileIOTarget> Clone(bool) override {
    auto c = std::make_unique<ScriptedStream>(Content());
    return c;
  }
};

}  // namespace twtest
