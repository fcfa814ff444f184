// Our primitives against OpenSSL's libcrypto on the same processor, in one
// process: SHA-256 and SHA-1 (with the path chosen at run time, and the
// portable one forced), AES-128-GCM and AES-128-CBC over TLS-record-sized and
// package-chunk-sized buffers (again both paths), and X25519, also against
// BearSSL's 32-bit code (m31) and our former sixteen-limb form. Each pair
// runs interleaved with repetitions; the medians give the ratios printed at
// the end (above 1.0x means ours is faster).
#include <bearssl.h>
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <utility>
#include <string>
#include <vector>

#include "crypto/aes_internal.h"
#include "crypto/cbc.h"
#include "crypto/gcm.h"
#include "crypto/sha.h"
#include "crypto/sha_internal.h"
#include "crypto/x25519.h"
#include "crypto/x25519_internal.h"

namespace {

std::vector<uint8_t> Input(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = uint8_t(i * 131 + 7);
  return v;
}

void SetBytes(benchmark::State& state, size_t n) {
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(n));
}

// ---- SHA-256 / SHA-1 ----

void OursSha256(benchmark::State& state, size_t n, bool portable) {
  const auto in = Input(n);
  if (portable) tw::crypto::Sha256OverrideBlocks(&tw::crypto::Sha256BlocksPortable);
  uint8_t out[32];
  for (auto _ : state) {
    Sha256(out, in.data(), int64_t(n));
    benchmark::DoNotOptimize(out);
  }
  tw::crypto::Sha256OverrideBlocks(nullptr);
  SetBytes(state, n);
}

void OursSha1(benchmark::State& state, size_t n, bool portable) {
  const auto in = Input(n);
  if (portable) tw::crypto::Sha1OverrideBlocks(&tw::crypto::Sha1BlocksPortable);
  uint8_t out[20];
  for (auto _ : state) {
    sSha1Ctx ctx;
    Sha1Init(&ctx);
    Sha1Update(&ctx, in.data(), n);
    Sha1Final(&ctx, out);
    benchmark::DoNotOptimize(out);
  }
  tw::crypto::Sha1OverrideBlocks(nullptr);
  SetBytes(state, n);
}

void OpenSslDigest(benchmark::State& state, size_t n, const char* name) {
  const auto in = Input(n);
  EVP_MD* md = EVP_MD_fetch(nullptr, name, nullptr);
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  uint8_t out[64];
  unsigned len = 0;
  for (auto _ : state) {
    EVP_DigestInit_ex(ctx, md, nullptr);
    EVP_DigestUpdate(ctx, in.data(), n);
    EVP_DigestFinal_ex(ctx, out, &len);
    benchmark::DoNotOptimize(out);
  }
  EVP_MD_CTX_free(ctx);
  EVP_MD_free(md);
  SetBytes(state, n);
}

// ---- AES-128-GCM (one TLS record: 5-byte header as additional data) ----

const uint8_t kKey[16] = {0x2b, 0x7e, 0x15, 0x16, 0x28, 0xae, 0xd2, 0xa6,
                          0xab, 0xf7, 0x15, 0x88, 0x09, 0xcf, 0x4f, 0x3c};
const uint8_t kNonce[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
const uint8_t kHeader[5] = {0x17, 0x03, 0x03, 0x40, 0x11};

// Forces the AES table path for one benchmark.
struct sAesPath {
  explicit sAesPath(bool portable) : before(tw::crypto::AesForcePortable(portable)) {}
  ~sAesPath() { tw::crypto::AesForcePortable(before); }
  bool before;
};

void OursGcm(benchmark::State& state, size_t n, bool portable) {
  const sAesPath path(portable);
  const auto in = Input(n);
  std::vector<uint8_t> out(n);
  sGcmCtx ctx;
  GcmSetKey(128, kKey, &ctx);
  uint8_t tag[16];
  for (auto _ : state) {
    GcmEncryptAndTag(&ctx, kNonce, 12, kHeader, in.data(), n, out.data(), tag);
    benchmark::DoNotOptimize(tag);
  }
  SetBytes(state, n);
}

void OpenSslGcm(benchmark::State& state, size_t n) {
  const auto in = Input(n);
  std::vector<uint8_t> out(n + 16);
  EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, "AES-128-GCM", nullptr);
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  EVP_EncryptInit_ex(ctx, cipher, nullptr, kKey, nullptr);
  uint8_t tag[16];
  int len = 0;
  for (auto _ : state) {
    EVP_EncryptInit_ex(ctx, nullptr, nullptr, nullptr, kNonce);
    EVP_EncryptUpdate(ctx, nullptr, &len, kHeader, 5);
    EVP_EncryptUpdate(ctx, out.data(), &len, in.data(), int(n));
    EVP_EncryptFinal_ex(ctx, out.data() + len, &len);
    EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_GET_TAG, 16, tag);
    benchmark::DoNotOptimize(tag);
  }
  EVP_CIPHER_CTX_free(ctx);
  EVP_CIPHER_free(cipher);
  SetBytes(state, n);
}

// ---- AES-128-CBC (a fresh IV per record, as TLS 1.2 does) ----

void OursCbc(benchmark::State& state, size_t n, bool decrypt, bool portable) {
  const sAesPath path(portable);
  const auto in = Input(n);
  std::vector<uint8_t> out(n);
  uint8_t iv[16] = {};
  std::memcpy(iv, kNonce, 12);
  cBlockCBC cbc;
  tOwned<cBlockCipher> aes(new cAESCipher());
  aes->SetKey(kKey, 128);
  cbc.SetCipher(std::move(aes));
  for (auto _ : state) {
    cbc.SetIV(iv, 16);
    if (decrypt)
      cbc.Decrypt(in.data(), out.data(), uint32_t(n));
    else
      cbc.Encrypt(in.data(), out.data(), uint32_t(n));
    benchmark::DoNotOptimize(out.data());
  }
  SetBytes(state, n);
}

void OpenSslCbc(benchmark::State& state, size_t n, bool decrypt) {
  const auto in = Input(n);
  std::vector<uint8_t> out(n + 16);
  uint8_t iv[16] = {};
  std::memcpy(iv, kNonce, 12);
  EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, "AES-128-CBC", nullptr);
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  EVP_CipherInit_ex(ctx, cipher, nullptr, kKey, iv, decrypt ? 0 : 1);
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  int len = 0;
  for (auto _ : state) {
    EVP_CipherInit_ex(ctx, nullptr, nullptr, nullptr, iv, -1);
    EVP_CipherUpdate(ctx, out.data(), &len, in.data(), int(n));
    benchmark::DoNotOptimize(out.data());
  }
  EVP_CIPHER_CTX_free(ctx);
  EVP_CIPHER_free(cipher);
  SetBytes(state, n);
}

// ---- X25519 (one shared-secret computation) ----

const uint8_t kPriv[32] = {0x77, 0x07, 0x6d, 0x0a, 0x73, 0x18, 0xa5, 0x7d, 0x3c, 0x16, 0xc1,
                           0x72, 0x51, 0xb2, 0x66, 0x45, 0xdf, 0x4c, 0x2f, 0x87, 0xeb, 0xc0,
                           0x99, 0x2a, 0xb1, 0x77, 0xfb, 0xa5, 0x1d, 0xb9, 0x2c, 0x2a};
const uint8_t kPeer[32] = {0xde, 0x9e, 0xdb, 0x7d, 0x7b, 0x7d, 0xc1, 0xb4, 0xd3, 0x5b, 0x61,
                           0xc2, 0xec, 0xe4, 0x35, 0x37, 0x3f, 0x83, 0x43, 0xc8, 0x5b, 0x78,
                           0x67, 0x4d, 0xad, 0xfc, 0x7e, 0x14, 0x6f, 0x88, 0x2b, 0x4f};

void OursX25519(benchmark::State& state) {
  uint8_t out[32];
  for (auto _ : state) {
    X25519(kPriv, out, kPeer);
    benchmark::DoNotOptimize(out);
  }
}

void OursX25519Radix16(benchmark::State& state) {
  uint8_t out[32];
  for (auto _ : state) {
    tw::crypto::X25519Radix16(kPriv, out, kPeer);
    benchmark::DoNotOptimize(out);
  }
}

// BearSSL's Curve25519 on 31-bit limbs with 32 x 32 -> 64 products, the
// same kind of code as ours. Its mul takes the point in place and the
// scalar as bytes (little-endian for this curve, clamped by the function).
void BearSslX25519(benchmark::State& state) {
  uint8_t point[32];
  for (auto _ : state) {
    std::memcpy(point, kPeer, 32);
    br_ec_c25519_m31.mul(point, 32, kPriv, 32, BR_EC_curve25519);
    benchmark::DoNotOptimize(point);
  }
}

void OpenSslX25519(benchmark::State& state) {
  EVP_PKEY* priv = EVP_PKEY_new_raw_private_key(EVP_PKEY_X25519, nullptr, kPriv, 32);
  EVP_PKEY* peer = EVP_PKEY_new_raw_public_key(EVP_PKEY_X25519, nullptr, kPeer, 32);
  EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(priv, nullptr);
  EVP_PKEY_derive_init(ctx);
  EVP_PKEY_derive_set_peer(ctx, peer);
  uint8_t out[32];
  for (auto _ : state) {
    size_t len = sizeof out;
    EVP_PKEY_derive(ctx, out, &len);
    benchmark::DoNotOptimize(out);
  }
  EVP_PKEY_CTX_free(ctx);
  EVP_PKEY_free(peer);
  EVP_PKEY_free(priv);
}

// Keeps the median real time of every "<case>|<implementation>" benchmark.
class cRatioReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs)
      if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median")
        medians[r.run_name.function_name] = r.GetAdjustedRealTime();
  }
  std::map<std::string, double> medians;
};

}  // namespace

int main(int argc, char** argv) {
  struct Size {
    const char* label;
    size_t n;
  };
  const Size sizes[] = {{"64 B", 64}, {"16 KiB", 16384}, {"64 KiB", 65536}};
  // Each case: its name and the peer it is measured against.
  std::vector<std::pair<std::string, std::string>> cases;
  auto add = [&cases](const std::string& name, auto ours, auto peer, const char* peerName = "OpenSSL") {
    cases.emplace_back(name, peerName);
    benchmark::RegisterBenchmark((name + "|ours").c_str(), ours);
    benchmark::RegisterBenchmark((name + "|" + peerName).c_str(), peer);
  };
  for (const Size& s : sizes) {
    const size_t n = s.n;
    add(std::string("SHA-256 ") + s.label, [n](benchmark::State& st) { OursSha256(st, n, false); },
        [n](benchmark::State& st) { OpenSslDigest(st, n, "SHA256"); });
  }
  add("SHA-256 64 KiB (portable)", [](benchmark::State& st) { OursSha256(st, 65536, true); },
      [](benchmark::State& st) { OpenSslDigest(st, 65536, "SHA256"); });
  for (const Size& s : sizes) {
    const size_t n = s.n;
    add(std::string("SHA-1 ") + s.label, [n](benchmark::State& st) { OursSha1(st, n, false); },
        [n](benchmark::State& st) { OpenSslDigest(st, n, "SHA1"); });
  }
  add("SHA-1 64 KiB (portable)", [](benchmark::State& st) { OursSha1(st, 65536, true); },
      [](benchmark::State& st) { OpenSslDigest(st, 65536, "SHA1"); });
  for (bool portable : {false, true}) {
    const std::string tail = portable ? " (tables)" : "";
    add("AES-128-GCM 16 KiB" + tail, [portable](benchmark::State& st) { OursGcm(st, 16384, portable); },
        [](benchmark::State& st) { OpenSslGcm(st, 16384); });
    add("AES-128-GCM 64 B" + tail, [portable](benchmark::State& st) { OursGcm(st, 64, portable); },
        [](benchmark::State& st) { OpenSslGcm(st, 64); });
    add("AES-128-CBC enc 16 KiB" + tail, [portable](benchmark::State& st) { OursCbc(st, 16384, false, portable); },
        [](benchmark::State& st) { OpenSslCbc(st, 16384, false); });
    add("AES-128-CBC dec 16 KiB" + tail, [portable](benchmark::State& st) { OursCbc(st, 16384, true, portable); },
        [](benchmark::State& st) { OpenSslCbc(st, 16384, true); });
  }
  add("X25519 shared secret", OursX25519, OpenSslX25519);
  add("X25519 shared secret", OursX25519, BearSslX25519, "BearSSL m31");
  add("X25519 radix-16 (before)", OursX25519Radix16, BearSslX25519, "BearSSL m31");

  // Interleaved repetitions: drift in clock speed hits both sides alike.
  std::vector<char*> args(argv, argv + argc);
  std::string reps = "--benchmark_repetitions=7";
  std::string interleave = "--benchmark_enable_random_interleaving=true";
  std::string aggregates = "--benchmark_report_aggregates_only=true";
  args.insert(args.begin() + 1, {reps.data(), interleave.data(), aggregates.data()});
  int n = int(args.size());
  benchmark::Initialize(&n, args.data());
  cRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  std::printf("\nSHA extensions in use: %s; AES-NI and PCLMULQDQ in use: %s\n",
              tw::crypto::Sha256HardwareAvailable() ? "yes" : "no", tw::crypto::AesHardwareAvailable() ? "yes" : "no");
  std::printf("%-30s %14s %14s %-12s %8s\n", "median time per call", "ours", "peer", "(peer)", "speed");
  for (const auto& [c, peerName] : cases) {
    const auto o = reporter.medians.find(c + "|ours"), p = reporter.medians.find(c + "|" + peerName);
    if (o == reporter.medians.end() || p == reporter.medians.end()) continue;
    std::printf("%-30s %11.0f ns %11.0f ns %-12s %7.2fx\n", c.c_str(), o->second, p->second, peerName.c_str(),
                p->second / o->second);
  }
  benchmark::Shutdown();
  return 0;
}
