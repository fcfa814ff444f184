// pictdump: what the picture library makes of files, for checks by hand and
// by scripts.
//
//   pictdump [--fit WxH] [--pam OUT] [--raw16 OUT] [--hash] [--props] [--page N] FILE...
//
// For each file: the format id, size, depth, image count, whether a preview
// exists and the properties, then the decoded picture (or with --fit the
// result code of fitted loading and the fitted picture). --pam writes the
// picture as a PAM file (RGB_ALPHA, top row first, maxval 255 or 65535);
// --raw16 writes the unpacked camera sensor frame of the load, before its
// development, as a 16-bit PGM (P5, maxval 65535, big-endian samples, top
// row first; three-colour frames, CR2 sRAW and X3F, as three samples per
// site side by side); with --hash its hash is printed too ("raw16-fnv64").
// --hash prints the FNV-1a 64-bit hash of those PAM bytes, so that the same
// files decoded on two targets can be compared line by line. --props prints
// the properties 1 to 21 as one line of JSON ("props: {...}") and, with
// --hash, its FNV-1a hash; --page N loads image N of a multi-image file.
// Exit code: 0 done, 1 bad usage, 2 a file unreadable or not recognised,
// 3 a file that failed to decode.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "base/memio.h"
#include "picture/pict_factory.h"
#include "picture/raw/raw_develop.h"

namespace {

std::vector<uint8_t> PamBytes(cPictBase& p) {
  const int32_t w = p.GetWidth(), h = p.GetHeight();
  const bool deep = p.IsHighDepth();
  std::string head = "P7\nWIDTH " + std::to_string(w) + "\nHEIGHT " + std::to_string(h) +
                     "\nDEPTH 4\nMAXVAL " + (deep ? "65535" : "255") + "\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
  std::vector<uint8_t> out(head.begin(), head.end());
  for (int32_t y = h - 1; y >= 0; --y) {  // buffers are bottom-up
    for (int32_t x = 0; x < w; ++x) {
      const int64_t i = static_cast<int64_t>(y) * w + x;
      if (deep) {
        const uint64_t v = p.Pixels64().data[i];
        for (int c : {2, 1, 0, 3}) {
          const uint32_t s = static_cast<uint32_t>(v >> (16 * c)) & 0xFFFF;
          out.push_back(static_cast<uint8_t>(s >> 8));
          out.push_back(static_cast<uint8_t>(s));
        }
      } else {
        const uint32_t v = p.Pixels32().data[i];
        for (int c : {2, 1, 0, 3}) out.push_back(static_cast<uint8_t>(v >> (8 * c)));
      }
    }
  }
  return out;
}

uint64_t Fnv1a(const std::vector<uint8_t>& bytes) {
  uint64_t h = 0xCBF29CE484222325ull;
  for (uint8_t b : bytes) {
    h ^= b;
    h *= 0x100000001B3ull;
  }
  return h;
}

void PrintProps(cPictBase& p) {
  for (int32_t id = 0; id <= kPropIdLast; ++id) {
    cPictProp* prop = p.GetOrAddProp(id, false);
    if (prop == nullptr) continue;
    std::printf("property %d: ", id);
    switch (prop->GetType()) {
      case kPropInt: std::printf("int %d\n", static_cast<cPictPropInt*>(prop)->value); break;
      case kPropDouble: std::printf("double %.6g\n", static_cast<cPictPropDouble*>(prop)->value); break;
      case kPropTimestamp: {
        const sPictTimestamp& t = static_cast<cPictPropTimestamp*>(prop)->value;
        std::printf("time %04u-%02u-%02u %02u:%02u:%02u\n", t.year, t.month, t.day, t.hour, t.minute, t.second);
        break;
      }
      case kPropString: {
        std::printf("string \"");
        for (const char16_t* s = static_cast<cPictPropString*>(prop)->value.text; s != nullptr && *s; ++s)
          std::printf(*s < 128 ? "%c" : "\\u%04x", static_cast<unsigned>(*s));
        std::printf("\"\n");
        break;
      }
      case kPropImage: {
        cPictBase* im = static_cast<cPictPropImage*>(prop)->GetPicture();
        std::printf("image %dx%d\n", im ? im->GetWidth() : 0, im ? im->GetHeight() : 0);
        break;
      }
      default: {
        auto* raw = static_cast<cPictPropRaw*>(prop);
        std::printf("raw %d bytes at %" PRIu64 "\n", raw->bytes.count, raw->offset);
        break;
      }
    }
  }
}

// Properties 1..21 as JSON: numbers for int and double (17 significant
// digits, so that two targets can be compared exactly), "YYYY-MM-DD
// HH:MM:SS" for timestamps, strings as UTF-16 escaped to ASCII, images as
// {"width", "height", "pixels"}, raw data as {"bytes", "offset"}.
std::string PropsJson(cPictBase& p) {
  std::string out = "{";
  char buf[128];
  bool first = true;
  for (int32_t id = 1; id <= kPropIdLast; ++id) {
    cPictProp* prop = p.GetOrAddProp(id, false);
    if (prop == nullptr) continue;
    if (!first) out += ",";
    first = false;
    std::snprintf(buf, sizeof buf, "\"%d\":", id);
    out += buf;
    switch (prop->GetType()) {
      case kPropInt: std::snprintf(buf, sizeof buf, "%d", static_cast<cPictPropInt*>(prop)->value); break;
      case kPropDouble: std::snprintf(buf, sizeof buf, "%.17g", static_cast<cPictPropDouble*>(prop)->value); break;
      case kPropTimestamp: {
        const sPictTimestamp& t = static_cast<cPictPropTimestamp*>(prop)->value;
        std::snprintf(buf, sizeof buf, "\"%04u-%02u-%02u %02u:%02u:%02u\"", t.year, t.month, t.day, t.hour, t.minute,
                      t.second);
        break;
      }
      case kPropString: {
        out += "\"";
        for (const char16_t* c = static_cast<cPictPropString*>(prop)->value.text; c != nullptr && *c; ++c) {
          if (*c >= 32 && *c < 127 && *c != '"' && *c != '\\') {
            out += static_cast<char>(*c);
          } else {
            std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(*c));
            out += buf;
          }
        }
        buf[0] = '"';
        buf[1] = 0;
        break;
      }
      case kPropImage: {
        cPictBase* im = static_cast<cPictPropImage*>(prop)->GetPicture();
        std::snprintf(buf, sizeof buf, "{\"width\":%d,\"height\":%d,\"pixels\":%s}", im ? im->GetWidth() : 0,
                      im ? im->GetHeight() : 0, im && im->HasPixels() ? "true" : "false");
        break;
      }
      default: {
        auto* raw = static_cast<cPictPropRaw*>(prop);
        std::snprintf(buf, sizeof buf, "{\"bytes\":%d,\"offset\":%" PRIu64 "}", raw->bytes.count, raw->offset);
        break;
      }
    }
    out += buf;
  }
  return out + "}";
}

int Usage() {
  std::fprintf(stderr, "usage: pictdump [--fit WxH] [--pam OUT] [--raw16 OUT] [--hash] [--props] [--page N] FILE...\n");
  return 1;
}

// The last sensor frame a camera load developed.
struct sRawFrame {
  std::vector<uint16_t> samples;
  int32_t width = 0;
  int32_t height = 0;
};

void KeepRawFrame(const uint16_t* raw, int32_t width, int32_t height, void* user) {
  auto* f = static_cast<sRawFrame*>(user);
  f->width = width;
  f->height = height;
  f->samples.assign(raw, raw + static_cast<size_t>(width) * height);
}

std::vector<uint8_t> PgmBytes(const sRawFrame& f) {
  const std::string head =
      "P5\n" + std::to_string(f.width) + " " + std::to_string(f.height) + "\n65535\n";
  std::vector<uint8_t> out(head.begin(), head.end());
  for (uint16_t s : f.samples) {
    out.push_back(static_cast<uint8_t>(s >> 8));
    out.push_back(static_cast<uint8_t>(s));
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  int32_t fitW = 0, fitH = 0;
  const char* pamPath = nullptr;
  const char* rawPath = nullptr;
  bool hash = false;
  bool props = false;
  int32_t page = 0;
  std::vector<const char*> files;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--fit") == 0 && i + 1 < argc) {
      if (std::sscanf(argv[++i], "%dx%d", &fitW, &fitH) != 2 || fitW < 1 || fitH < 1) return Usage();
    } else if (std::strcmp(argv[i], "--pam") == 0 && i + 1 < argc) {
      pamPath = argv[++i];
    } else if (std::strcmp(argv[i], "--raw16") == 0 && i + 1 < argc) {
      rawPath = argv[++i];
    } else if (std::strcmp(argv[i], "--hash") == 0) {
      hash = true;
    } else if (std::strcmp(argv[i], "--props") == 0) {
      props = true;
    } else if (std::strcmp(argv[i], "--page") == 0 && i + 1 < argc) {
      if (std::sscanf(argv[++i], "%d", &page) != 1 || page < 0) return Usage();
    } else if (argv[i][0] == '-') {
      return Usage();
    } else {
      files.push_back(argv[i]);
    }
  }
  if (files.empty()) return Usage();
  sRawFrame frame;
  if (rawPath != nullptr) SetRawFrameHook(&KeepRawFrame, &frame);
  int status = 0;
  for (const char* path : files) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      std::printf("%s: cannot read\n", path);
      status = 2;
      continue;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
    std::printf("file: %s\n", path);
    sPictInfo info;
    std::unique_ptr<cPictBase> decoder(CreatePicture(&io, &info));
    if (decoder == nullptr) {
      std::printf("format: unknown\n");
      status = 2;
      continue;
    }
    std::printf("format: %d\nsize: %dx%d\n", decoder->GetFormat(), info.width, info.height);
    io.Seek(0);
    std::printf("images: %d\npreview: %s\n", decoder->GetImageCount(&io), info.hasPreview ? "yes" : "no");
    cPictDummy fitted;
    cPictBase* shown = decoder.get();
    if (fitW > 0) {
      io.Seek(0);
      const int32_t r = LoadPictureFitted(&io, &fitted, fitW, fitH);
      std::printf("fit: %d\n", r);
      if (r != 0) {
        status = 3;
        continue;
      }
      shown = &fitted;
    } else {
      io.Seek(0);
      if (page > 0 ? !decoder->LoadImage(&io, page) : !decoder->Load(&io)) {
        std::printf("load: failed\n");
        status = 3;
        continue;
      }
    }
    if (rawPath != nullptr) {
      if (frame.samples.empty()) {
        std::printf("raw16: none\n");
        status = 3;
        continue;
      }
      const std::vector<uint8_t> pgm = PgmBytes(frame);
      std::printf("raw16: %dx%d\n", frame.width, frame.height);
      if (hash) std::printf("raw16-fnv64: %016" PRIx64 "\n", Fnv1a(pgm));
      std::ofstream out(rawPath, std::ios::binary);
      out.write(reinterpret_cast<const char*>(pgm.data()), static_cast<std::streamsize>(pgm.size()));
      if (!out) {
        std::printf("%s: cannot write\n", rawPath);
        status = 2;
      }
      frame = sRawFrame();
    }
    std::printf("depth: %d\npicture: %dx%d\n", shown->IsHighDepth() ? 16 : 8, shown->GetWidth(), shown->GetHeight());
    PrintProps(*decoder);
    if (props) {
      const std::string json = PropsJson(*decoder);
      std::printf("props: %s\n", json.c_str());
      if (hash) std::printf("props-fnv64: %016" PRIx64 "\n", Fnv1a(std::vector<uint8_t>(json.begin(), json.end())));
    }
    if (!shown->HasPixels()) {
      std::printf("pixels: none\n");
      status = 3;
      continue;
    }
    const std::vector<uint8_t> pam = PamBytes(*shown);
    if (hash) std::printf("pam-fnv64: %016" PRIx64 "\n", Fnv1a(pam));
    if (pamPath != nullptr) {
      std::ofstream out(pamPath, std::ios::binary);
      out.write(reinterpret_cast<const char*>(pam.data()), static_cast<std::streamsize>(pam.size()));
      if (!out) {
        std::printf("%s: cannot write\n", pamPath);
        status = 2;
      }
    }
  }
  return status;
}
