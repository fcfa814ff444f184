// cHttpRequest: one HTTP/1.0 or HTTP/1.1 request of the network client. It
// parses an "http://" or "https://" address and writes the exact request
// text that cHttpTransport::Execute (net/http_transport.h) sends.
//
// Rules:
//  a. Nothing is percent-encoded or decoded: the address's bytes go out as
//     they are, after the character check of SetUrl.
//  b. The fields are public: a caller may set method, version, user agent,
//     headers and form parts before Build. Build refuses text that would
//     break the request's lines (a CR or LF in a caller's header name or
//     value, user agent or form part field).
//  c. The request owns everything it holds.
#pragma once

#include <cstdint>
#include <memory>

#include "base/buffers.h"
#include "base/guardchar.h"
#include "base/packed_key.h"
#include "base/sorted_tree.h"

// One part of a multipart form. The disposition tail is written unchanged
// after the name (a file name is stored whole: filename="a.txt").
struct sHttpFormPart {
  _guardchar<char> name;
  _guardchar<char> contentType;      // empty: no Content-Type line
  _guardchar<char> dispositionTail;  // empty: nothing after the name
  _typebuf<char> data;
  std::unique_ptr<sHttpFormPart> next;
};

class cHttpRequest {
public:
  enum : int32_t { kGet = 0, kPost = 1 };
  enum : int32_t { kHttp10 = 0, kHttp11 = 1 };
  static constexpr const char* kDefaultUserAgent = "QXVNetHTTP (compatible; cross-platform)";

  // GET, HTTP/1.1, port 80, no TLS, nothing else set; then SetUrl(url) when
  // url is given, its result ignored (a bad address leaves host and path
  // empty, and Build fails).
  explicit cHttpRequest(const char* url = nullptr);
  virtual ~cHttpRequest();
  cHttpRequest(const cHttpRequest&) = delete;
  cHttpRequest& operator=(const cHttpRequest&) = delete;

  // Parses an address; false (fields unchanged) when it is not one:
  //  - "http://" or "https://", in any case; https gives TLS and port 443;
  //  - after it only ASCII letters, digits and ! # $ % & ' ( ) * + , - . / :
  //    ; = ? @ [ ] _ ~;
  //  - the authority runs to the first '/', '?' or '#' and must name a host;
  //    a ':' in it must be followed by decimal digits of a port 1..65535
  //    (leading zeros allowed) and nothing else;
  //  - the path is the rest from its '/' with the query, "/" followed by the
  //    query when a '?' ends the authority, "/" when nothing follows; the
  //    fragment ('#' onwards) is a browser's and is never sent.
  bool SetUrl(const char* url);

  // Clears user agent, host, authority, path, headers and parts, sets GET
  // and HTTP/1.1, then returns SetUrl(url).
  bool Reset(const char* url);

  // The request text into output (made exactly its size). False, output
  // unchanged, when host or path is unset, method or version is not one of
  // the values above, a header has an empty name, or a caller's field holds
  // a CR or LF.
  bool Build(_typebuf<char>& output) const;

  // Sets a header (a name set again gets the new value). Headers go out in
  // byte order of their names, after Host and User-Agent.
  void SetHeader(const char* name, const char* value);

  // Appends a form part (parts go out in the order they were added); a POST
  // with parts has a multipart/form-data body. Null strings are empty.
  sHttpFormPart* AddFormPart(const char* name, const char* contentType, const char* dispositionTail,
                             const void* data, int32_t length);

  int32_t method = kGet;
  _guardchar<char> userAgent;  // empty: kDefaultUserAgent
  _guardchar<char> host;       // the host name, without port
  _guardchar<char> authority;  // host and port as the address gave them (the Host line)
  _guardchar<char> path;       // from the first '/', query included
  int32_t port = 80;
  int32_t version = kHttp11;
  uint8_t tls = 0;             // 1 for "https://"
  cSortedTree<cPackedKey, _guardchar<char>> headers{kPackedKeyDepthLimit};
  std::unique_ptr<sHttpFormPart> parts;

private:
  void FreeParts();
};
