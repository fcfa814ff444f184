// cHttpTransport: executes one cHttpRequest over a new TCP connection and
// reads the answer into a cHttpResponse, synchronously on the calling
// thread. A transport holds no connection between requests: every Execute
// connects, sends, reads and closes, so one transport serves a request and
// its redirect in turn.
//
// TLS ("https://"): Connect runs the client handshake (x25519 key exchange;
// TLS 1.3 with AES-GCM, or TLS 1.2 ECDHE_RSA with AES-CBC) and Send and
// Receive then carry application data in records. A failed handshake closes
// the connection, so nothing is ever sent in clear to a TLS address.
// The server is authenticated: CheckCertificate checks the certificate
// chain and the host name against the trust store (net/tls_trust.h), and
// CheckCertificateVerify (TLS 1.3) and CheckServerKeyExchange (TLS 1.2)
// check the handshake signature with the leaf certificate's RSA key. Each
// refusal fails the handshake and leaves its own code in LastError().
#pragma once

#include <cstdint>

#include <vector>

#include "base/guardchar.h"
#include "crypto/cbc.h"
#include "crypto/gcm.h"
#include "crypto/rsa.h"
#include "net/http_request.h"
#include "net/http_response.h"
#include "net/tcp_socket.h"

// Last error codes of a failed TLS handshake, beside those of tcp_socket.h.
enum : int32_t {
  kTlsCertificateMalformed = 11,    // the Certificate message or a certificate does not parse
  kTlsCertificateUnsupported = 12,  // a key or signature algorithm that cannot be checked
  kTlsCertificateUntrusted = 13,    // no chain to a trusted root
  kTlsCertificateExpired = 14,      // a certificate outside its validity period
  kTlsCertificateBadUsage = 15,     // not a server certificate, or a CA not allowed to sign
  kTlsHostMismatch = 16,            // the certificate does not name the host
  kTlsBadSignature = 17,            // CertificateVerify or ServerKeyExchange does not verify
};

class cHttpTransport : public cTCPClient {
public:
  // The receive time-out while the answer is read.
  static constexpr sSocketTimeout kResponseTimeout{30, 0};
  enum : int32_t { kTlsNone = 0, kTls12 = 1, kTls13 = 2 };

  cHttpTransport() = default;
  ~cHttpTransport() override;

  // In TLS state 0 the socket's own send and receive.
  uint32_t Send(const void* data, uint32_t length) override;
  uint32_t Receive(void* buffer, uint32_t length, const sSocketTimeout* timeout) override;
  // The TCP connect, then, when the request wanted TLS, the handshake under
  // the current receive time-out; a failed handshake closes the socket.
  bool Connect(const uint8_t address[4], uint16_t port, uint32_t timeoutMs) override;
  // Given a handshake message body: true accepts; false fails the
  // handshake. CheckCertificate verifies the chain and the host name and
  // keeps the leaf's key; CheckCertificateVerify verifies the TLS 1.3
  // signature (rsa_pss_rsae_*) over the transcript hash; and
  // CheckServerKeyExchange the TLS 1.2 signature (rsa_pkcs1_* or
  // rsa_pss_rsae_*) over both randoms and the key-exchange parameters.
  virtual bool CheckCertificate(const uint8_t* body, uint32_t length);
  virtual bool CheckCertificateVerify(const uint8_t* body, uint32_t length);
  virtual bool CheckServerKeyExchange(const uint8_t* body, uint32_t length);

  // One request, start to end:
  //  1. fails when the request has no host or Build gives no text;
  //  2. closes any connection still open, remembers the host name and
  //     whether TLS is wanted;
  //  3. ConnectTo(host, port) (20 s connect time-out);
  //  4. receive time-out kResponseTimeout; sends the whole request text
  //     (a send that takes nothing fails);
  //  5. cHttpResponse::Read over the connection as a cSocketIO stream.
  // Every path closes the connection before returning. True when Read
  // succeeded; LastError() tells a socket-level cause.
  bool Execute(cHttpRequest& request, cHttpResponse& response);

  // Exactly n bytes straight from the socket (never through TLS), in
  // receives of at most 1024 bytes with the receive time-out. The count
  // read; less than n on failure, with the code of cTCPSocket::Receive.
  uint32_t ReceiveRaw(void* buffer, uint32_t n);

  const char* HostName() const { return hostName_.text; }
  // Tests and fuzzing: the raw bytes of the connection go to and come from
  // wire (a scripted stand-in) instead of the socket, and host is the
  // server name, so that Handshake and the record readers run without a
  // network. Null restores the socket.
  void UseWire(cTCPSocket* wire, const char* host);
  int32_t TlsState() const { return tlsState_; }
  uint16_t CipherSuite() const { return cipherSuite_; }

  // The handshake steps; public so that tests drive them over scripted
  // connections.
  bool Handshake();
  // Sends the ClientHello record (kept in helloRecord for the transcript)
  // with a fresh client random and the given public key.
  bool SendClientHello(std::vector<uint8_t>& helloRecord, const uint8_t publicKey[32], uint8_t clientRandom[32]);
  // Reads the ServerHello record: server random, the x25519 key share (TLS
  // 1.3 only), the record body for the transcript and whether the server
  // chose TLS 1.2. The suite is stored.
  bool ReadServerHello(uint8_t serverRandom[32], uint8_t serverKey[32], std::vector<uint8_t>& message, bool* tls12);
  // One unencrypted record with version 03 03.
  bool ReadPlainRecord(uint8_t* type, std::vector<uint8_t>& body);
  // One TLS 1.3 record: the whole opened plaintext (inner type and any
  // padding included).
  bool ReadRecord13(std::vector<uint8_t>& plaintext, uint64_t sequence, const sGcmCtx& ctx);
  // Seals plaintext (inner type appended) and sends it in one send.
  bool SendRecord13(const uint8_t* plaintext, uint32_t length, uint64_t sequence, const sGcmCtx& ctx);
  // TLS 1.2: one record sent under the send sequence number with a fresh
  // explicit IV, and one record read and opened under the receive sequence
  // number (plaintext with the record type appended).
  bool SendRecord12(uint32_t length, uint64_t sequence, const uint8_t* plaintext, uint8_t type);
  bool ReadRecord12(uint8_t* type, std::vector<uint8_t>& plaintext);

protected:
  // Refuses the handshake with a code from the list above.
  bool Refuse(int32_t code);
  // What the hooks check against: the transcript hash up to the message
  // before CertificateVerify, both randoms, and the leaf's key once
  // CheckCertificate accepted.
  uint8_t transcriptHash_[48] = {};
  int32_t transcriptHashLength_ = 0;
  uint8_t clientRandom_[32] = {};
  uint8_t serverRandom_[32] = {};
  sRsaPublicKey serverKey_;

private:
  struct sKeyMaterial;
  bool Handshake12(const std::vector<uint8_t>& helloRecord, const std::vector<uint8_t>& serverHello,
                   sKeyMaterial& km);
  bool Handshake13(const std::vector<uint8_t>& helloRecord, const std::vector<uint8_t>& serverHello,
                   const uint8_t shared[32]);
  // The five-byte header of the next record; one read ahead is kept here.
  bool ReadHeader(uint8_t header[5]);
  uint32_t SendAll(const void* data, uint32_t length);
  uint32_t ReceivePlain(void* buffer, uint32_t length, const sSocketTimeout* timeout);
  uint32_t SendTls(const void* data, uint32_t length);
  uint32_t ReceiveTls(void* buffer, uint32_t length);

  _guardchar<char> hostName_;
  int32_t tlsState_ = kTlsNone;
  uint8_t tlsWanted_ = 0;
  uint16_t cipherSuite_ = 0xFFFF;
  sGcmCtx readCtx_{};
  sGcmCtx writeCtx_{};
  // TLS 1.2: the record ciphers (each owns its AES) and the MAC keys.
  cBlockCBC writeCbc_;
  cBlockCBC readCbc_;
  uint8_t clientMacKey_[20] = {};
  uint8_t serverMacKey_[20] = {};
  uint64_t sendSequence_ = 0;
  uint64_t receiveSequence_ = 0;
  std::vector<uint8_t> sendBuffer_;
  // The last record's content not yet handed out, and the read position.
  std::vector<uint8_t> leftover_;
  size_t leftoverPos_ = 0;
  uint8_t pendingHeader_[5] = {};
  bool headerPending_ = false;
  int32_t tlsError_ = 0;
  cTCPSocket* wire_ = nullptr;
};
