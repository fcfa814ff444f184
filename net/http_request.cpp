// See net/http_request.h.
#include "net/http_request.h"

#include <cstring>

#include "base/format.h"
#include "base/memio.h"
#include "base/time.h"

namespace {

constexpr char kHttp[] = "http://";
constexpr char kHttps[] = "https://";

bool StartsWithNoCase(const char* text, const char* prefix) {
  for (; *prefix != '\0'; ++text, ++prefix) {
    char c = *text;
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != *prefix) return false;
  }
  return true;
}

// The characters an address may hold after its scheme: letters, digits and
// the URI's reserved and unreserved marks, nothing that needs quoting.
bool IsAddressChar(char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  return c != '\0' && std::strchr("!#$%&'()*+,-./:;=?@[]_~", c) != nullptr;
}

bool HasLineBreak(const char* text) {
  return text != nullptr && (std::strchr(text, '\r') != nullptr || std::strchr(text, '\n') != nullptr);
}

bool IsEmpty(const _guardchar<char>& s) { return s.text == nullptr || s.text[0] == '\0'; }

void Put(cMemIOTarget& out, const char* text, size_t n) {
  if (n > 0 && out.Write(text, static_cast<uint32_t>(n)) != n) throw std::bad_alloc();
}
void Put(cMemIOTarget& out, const char* text) {
  if (text != nullptr) Put(out, text, std::strlen(text));
}

}  // namespace

cHttpRequest::cHttpRequest(const char* url) {
  if (url != nullptr) SetUrl(url);
}

cHttpRequest::~cHttpRequest() { FreeParts(); }

void cHttpRequest::FreeParts() {
  // One at a time: a long chain must not recurse through the destructors.
  std::unique_ptr<sHttpFormPart> p = std::move(parts);
  while (p != nullptr) p = std::move(p->next);
}

bool cHttpRequest::SetUrl(const char* url) {
  if (url == nullptr) return false;
  uint8_t isTls;
  const char* rest;
  if (StartsWithNoCase(url, kHttps)) {
    isTls = 1;
    rest = url + std::strlen(kHttps);
  } else if (StartsWithNoCase(url, kHttp)) {
    isTls = 0;
    rest = url + std::strlen(kHttp);
  } else {
    return false;
  }
  for (const char* p = rest; *p != '\0'; ++p)
    if (!IsAddressChar(*p)) return false;

  const size_t authorityLength = std::strcspn(rest, "/?#");
  const char* colon = static_cast<const char*>(std::memchr(rest, ':', authorityLength));
  const size_t hostLength = colon != nullptr ? static_cast<size_t>(colon - rest) : authorityLength;
  if (hostLength == 0) return false;
  int32_t newPort = isTls ? 443 : 80;
  if (colon != nullptr) {
    const char* end = rest + authorityLength;
    const char* d = colon + 1;
    if (d == end) return false;
    int32_t value = 0;
    for (; d < end; ++d) {
      if (*d < '0' || *d > '9') return false;
      value = value * 10 + (*d - '0');
      if (value > 65535) return false;
    }
    if (value == 0) return false;
    newPort = value;
  }

  // The path: from the authority's end to the fragment.
  const char* after = rest + authorityLength;
  const size_t pathLength = std::strcspn(after, "#");
  host.AssignN(rest, static_cast<uint32_t>(hostLength));
  authority.AssignN(rest, static_cast<uint32_t>(authorityLength));
  if (*after == '/') {
    path.AssignN(after, static_cast<uint32_t>(pathLength));
  } else if (*after == '?') {
    _typebuf<char> p(static_cast<int32_t>(pathLength + 2));
    p.data[0] = '/';
    std::memcpy(p.data + 1, after, pathLength);
    p.data[pathLength + 1] = '\0';
    path.Assign(p.data);
  } else {
    path.Assign("/");
  }
  port = newPort;
  tls = isTls;
  return true;
}

bool cHttpRequest::Reset(const char* url) {
  userAgent.Clear();
  host.Clear();
  authority.Clear();
  path.Clear();
  headers.Clear();
  FreeParts();
  method = kGet;
  version = kHttp11;
  return SetUrl(url);
}

void cHttpRequest::SetHeader(const char* name, const char* value) {
  cPackedKey key;
  key.FromText(name, -1);
  headers.FindOrInsert(std::move(key))->Assign(value);
}

sHttpFormPart* cHttpRequest::AddFormPart(const char* name, const char* contentType,
                                         const char* dispositionTail, const void* data, int32_t length) {
  auto part = std::make_unique<sHttpFormPart>();
  part->name.Assign(name);
  part->contentType.Assign(contentType);
  part->dispositionTail.Assign(dispositionTail);
  if (length > 0) {
    part->data.Reallocate(length);
    std::memcpy(part->data.data, data, static_cast<size_t>(length));
  }
  std::unique_ptr<sHttpFormPart>* link = &parts;
  while (*link != nullptr) link = &(*link)->next;
  *link = std::move(part);
  return link->get();
}

bool cHttpRequest::Build(_typebuf<char>& output) const {
  if (IsEmpty(host) || IsEmpty(path)) return false;
  if (method != kGet && method != kPost) return false;
  if (version != kHttp10 && version != kHttp11) return false;
  // A line break in a caller's text would end its line early and let the
  // rest pose as further headers or a body.
  if (HasLineBreak(userAgent.text)) return false;
  _typebuf<char> name;
  for (auto* n = headers.First(); n != nullptr; n = headers.Next(n)) {
    n->key.ToBytes(name);
    if (name.count == 0 || name.data[0] == '\0' ||
        std::memchr(name.data, '\r', static_cast<size_t>(name.count)) != nullptr ||
        std::memchr(name.data, '\n', static_cast<size_t>(name.count)) != nullptr ||
        HasLineBreak(n->value.text))
      return false;
  }
  for (const sHttpFormPart* p = parts.get(); p != nullptr; p = p->next.get())
    if (HasLineBreak(p->name.text) || HasLineBreak(p->contentType.text) || HasLineBreak(p->dispositionTail.text))
      return false;

  cMemIOTarget out;
  Put(out, method == kGet ? "GET " : "POST ");
  Put(out, path.text);
  Put(out, version == kHttp10 ? " HTTP/1.0\r\n" : " HTTP/1.1\r\n");
  Put(out, "Host: ");
  Put(out, authority.text);
  Put(out, "\r\n");
  Put(out, "User-Agent: ");
  Put(out, IsEmpty(userAgent) ? kDefaultUserAgent : userAgent.text);
  Put(out, "\r\n");
  for (auto* n = headers.First(); n != nullptr; n = headers.Next(n)) {
    n->key.ToBytes(name);
    Put(out, name.data, strnlen(name.data, static_cast<size_t>(name.count)));
    Put(out, ": ");
    Put(out, n->value.text);
    Put(out, "\r\n");
  }
  if (method == kPost && parts != nullptr) {
    char boundary[50];
    FormatA(boundary, sizeof boundary, "----qxvnethttp%llx----",
            static_cast<unsigned long long>(GetMicroseconds()));
    Put(out, "Content-Type: multipart/form-data; boundary=");
    Put(out, boundary);
    Put(out, "\r\n");
    cMemIOTarget body;
    for (const sHttpFormPart* p = parts.get(); p != nullptr; p = p->next.get()) {
      Put(body, "--");
      Put(body, boundary);
      Put(body, "\r\n");
      Put(body, "Content-Disposition: form-data; name=\"");
      Put(body, p->name.text);
      if (!IsEmpty(p->dispositionTail)) {
        Put(body, "\"; ");
        Put(body, p->dispositionTail.text);
        Put(body, "\r\n");
      } else {
        Put(body, "\"\r\n");
      }
      if (!IsEmpty(p->contentType)) {
        Put(body, "Content-Type: ");
        Put(body, p->contentType.text);
        Put(body, "\r\n");
      }
      Put(body, "\r\n");
      Put(body, p->data.data, static_cast<size_t>(p->data.count));
      Put(body, "\r\n");
    }
    Put(body, "--");
    Put(body, boundary);
    Put(body, "--\r\n\r\n");
    char length[40];
    FormatA(length, sizeof length, "Content-Length: %d\r\n\r\n", static_cast<int>(body.GetSize()));
    Put(out, length);
    _typebuf<char> bytes;
    if (!body.CopyToBuffer(bytes)) throw std::bad_alloc();
    Put(out, bytes.data, static_cast<size_t>(bytes.count));
  } else {
    Put(out, "\r\n");
  }
  return out.CopyToBuffer(output);
}
