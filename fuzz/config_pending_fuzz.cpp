// Fuzz target for the configuration store's replay of pending copies: the
// pending folder lies in a folder every user of the machine can write, so
// its files are outside input. The input is a section file's bytes and a
// pending copy's bytes: a 16-bit little-endian length, that many bytes of
// the section file, then the pending copy. The harness writes both into a
// store folder of its own and opens a store on it, which replays the copy.
// Properties, against a model written from the store's rules:
//  - the pending copy is gone afterwards, whatever it held;
//  - the section file is replaced by the copy's image only when the copy is
//    whole ("QXVP", image size, before size, image, before bytes, sizes
//    adding up), its image is a section the reader accepts, and the file
//    holds what that save can have left: the image's first k bytes over the
//    before bytes, for some k up to the image's size; otherwise the file is
//    left exactly as it was;
//  - the store's tree of the section is the one the file now holds.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "base/config_node.h"
#include "base/config_store.h"

namespace {

namespace fs = std::filesystem;
using tBytes = std::vector<char>;

// A failed property names its line before the abort.
[[noreturn]] void Fail(int line, const char* what) {
  std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, line, what);
  std::abort();
}
#define Check(ok) ((ok) ? void() : Fail(__LINE__, #ok))

// A folder of this process's own, removed at exit.
struct sFolder {
  fs::path path;
  sFolder() {
    path = fs::temp_directory_path() / ("tw-config-pending-fuzz-" + std::to_string(std::random_device{}()));
    std::error_code ec;
    fs::remove_all(path, ec);
    fs::create_directories(path / ".pending");
  }
  ~sFolder() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};

const fs::path& Folder() {
  static const sFolder folder;
  return folder.path;
}

void Write(const fs::path& path, const char* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(data, static_cast<std::streamsize>(size));
  Check(out.good());
}

tBytes Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  Check(in.good());
  return tBytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

uint32_t Le32(const char* p) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(p[i]);
  return v;
}

// What the file must hold after the replay.
tBytes Expected(const tBytes& now, const tBytes& copy) {
  if (copy.size() < 12 || std::memcmp(copy.data(), "QXVP", 4) != 0) return now;
  const uint64_t imageSize = Le32(copy.data() + 4), beforeSize = Le32(copy.data() + 8);
  if (12 + imageSize + beforeSize != copy.size()) return now;
  const tBytes image(copy.begin() + 12, copy.begin() + 12 + static_cast<std::ptrdiff_t>(imageSize));
  const tBytes before(copy.begin() + 12 + static_cast<std::ptrdiff_t>(imageSize), copy.end());
  cConfigNode probe;
  if (!tw::ParseSectionImage(image.data(), static_cast<uint32_t>(image.size()), probe)) return now;
  for (size_t k = 0; k <= image.size(); ++k) {
    tBytes left(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(k));
    if (k < before.size()) left.insert(left.end(), before.begin() + static_cast<std::ptrdiff_t>(k), before.end());
    if (left == now) return image;
  }
  return now;
}

std::u16string Utf16Path(const fs::path& p) {
  std::u16string s = p.u16string();
  for (char16_t& c : s)
    if (c == u'\\') c = u'/';
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size > 8192) return 0;
  const size_t fileSize = std::min<size_t>(data[0] | (data[1] << 8), size - 2);
  const tBytes now(data + 2, data + 2 + fileSize);
  const tBytes copy(data + 2 + fileSize, data + size);

  const fs::path& folder = Folder();
  const fs::path section = folder / "s", pending = folder / ".pending" / "s";
  Write(section, now.data(), now.size());
  Write(pending, copy.data(), copy.size());
  const tBytes expect = Expected(now, copy);
  {
    cCIAppConfig store;
    const std::u16string path = Utf16Path(folder);
    Check(store.Open(path.c_str()));
    std::error_code ec;
    Check(!fs::exists(pending, ec));
    Check(Read(section) == expect);
    cConfigNode parsed;
    if (tw::ParseSectionImage(expect.data(), static_cast<uint32_t>(expect.size()), parsed)) {
      cConfigNode* root = store.FindSection("s", false);
      Check(root != nullptr && cConfigNode::SameTree(*root, parsed));
    }
  }
  std::error_code ec;
  fs::remove(section, ec);
  fs::remove(pending, ec);
  return 0;
}
