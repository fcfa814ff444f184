// The update check. See update_check.h.
#include "tools/update_check.h"

#include <cstring>
#include <string>

#include "base/format.h"
#include "base/strings.h"
#include "net/http_request.h"
#include "net/http_transport.h"
#include "net/tcp_socket.h"

bool cPlainDataReader::OnHeaders() {
  if (status != 200 || contentLength < 1 || contentLength > kMaxAnswer) return false;
  body.Close();
  return true;
}

bool cPlainDataReader::OnData(const char* data, uint32_t length, uint64_t offset) {
  (void)offset;
  return body.WriteExact(data, length);
}

void FormatVersionText(_guardchar<char16_t>& out, uint64_t version) {
  const int32_t a = static_cast<int32_t>((version >> 48) & 0xFFFF);
  const int32_t b = static_cast<int32_t>((version >> 32) & 0xFFFF);
  const int32_t c = static_cast<int32_t>((version >> 16) & 0xFFFF);
  const int32_t d = static_cast<int32_t>(version & 0xFFFF);
  char16_t text[101];
  if (d != 0)
    FormatW(text, 101, u"%d.%d.%d.%d", a, b, c, d);
  else if (c == 0)
    FormatW(text, 101, u"%d.%d", a, b);
  else
    FormatW(text, 101, u"%d.%d.%d", a, b, c);
  out.Assign(text);
}

namespace {

// Position of the first CR at or after from, or size when there is none.
uint32_t FindCR(const char* body, uint32_t from, uint32_t size) {
  while (from < size && body[from] != '\r') ++from;
  return from;
}

// Past the run of CR and LF bytes at from.
uint32_t SkipLineEnds(const char* body, uint32_t from, uint32_t size) {
  while (from < size && (body[from] == '\r' || body[from] == '\n')) ++from;
  return from;
}

}  // namespace

bool ParseUpdateAnswer(const char* body, uint32_t size, uint64_t& version, _guardchar<char16_t>& downloadUrl,
                       _guardchar<char16_t>& webPage, _guardchar<char16_t>& releaseNotes) {
  if (body == nullptr || size == 0) return false;
  const uint32_t end1 = FindCR(body, 0, size);
  if (end1 == size || end1 == 0) return false;

  // The scan wants a terminated text; the line may hold anything.
  const std::string line1(body, end1);
  int32_t parts[4] = {0, 0, 0, 0};
  if (ScanA(line1.c_str(), "%d.%d.%d.%d", &parts[0], &parts[1], &parts[2], &parts[3]) < 2) return false;
  uint64_t announced = 0;
  for (int32_t part : parts) {
    if (part < 0 || part > 65535) return false;
    announced = (announced << 16) | static_cast<uint64_t>(part);
  }
  version = announced;

  const uint32_t start2 = SkipLineEnds(body, end1, size);
  if (start2 == size) return false;
  const uint32_t end2 = FindCR(body, start2, size);
  if (end2 == size) return false;
  Utf8ToWide(static_cast<int32_t>(end2 - start2), body + start2, downloadUrl);

  const uint32_t start3 = SkipLineEnds(body, end2, size);
  if (start3 == size) return false;
  const uint32_t end3 = FindCR(body, start3, size);
  if (end3 == size) return false;
  Utf8ToWide(static_cast<int32_t>(end3 - start3), body + start3, webPage);

  const uint32_t notes = SkipLineEnds(body, end3, size);
  if (notes < size) Utf8ToWide(static_cast<int32_t>(size - notes), body + notes, releaseNotes);
  return true;
}

void FormatUpdateCheckAddress(const char* prefix, const char* codename, _guardchar<char>& out) {
  std::string address = prefix != nullptr ? prefix : "";
  address += codename != nullptr ? codename : "";
  address += "&os=win";
  out.Assign(address.c_str());
}

bool CheckForUpdateAt(const char* prefix, const char* codename, uint64_t& version,
                      _guardchar<char16_t>& downloadUrl, _guardchar<char16_t>& webPage,
                      _guardchar<char16_t>& releaseNotes) {
  if (codename == nullptr || prefix == nullptr) return false;
  if (!StartSocketLibrary()) return false;
  _guardchar<char> address;
  FormatUpdateCheckAddress(prefix, codename, address);
  cHttpRequest request(address.text);
  cPlainDataReader reader;
  cHttpTransport transport;
  if (!transport.Execute(request, reader)) return false;
  _typebuf<char> answer;
  if (!reader.body.CopyToBuffer(answer)) return false;
  return ParseUpdateAnswer(answer.data, static_cast<uint32_t>(answer.count), version, downloadUrl, webPage,
                           releaseNotes);
}

bool CheckForUpdate(const char* codename, uint64_t& version, _guardchar<char16_t>& downloadUrl,
                    _guardchar<char16_t>& webPage, _guardchar<char16_t>& releaseNotes) {
  return CheckForUpdateAt(kUpdateCheckPrefix, codename, version, downloadUrl, webPage, releaseNotes);
}
