// The update check: one plain HTTP GET to the publisher's update endpoint
// that names an installed package by its codename, and the parser of the
// short answer (a version line, the new setup file's address, a web page
// and optional release notes, lines ended by CR).
//
// Rules:
//  a. Every failure is a false result; nothing is shown, thrown or logged.
//     The callers decide what to tell the user.
//  b. An out-parameter is written only when the parse reaches it: texts
//     written before a failing step stay written (the version, for one, is
//     set before the address lines are looked at).
//  c. The check is synchronous and blocks its thread for the whole
//     exchange (the transport's connect and receive time-outs).
//  d. The answer is announced in advance and capped at kMaxAnswer bytes, so
//     it is held whole in memory.
#pragma once

#include <cstdint>

#include "base/guardchar.h"
#include "base/memio.h"
#include "net/http_response.h"

// The update endpoint's host: a name under the reserved ".test" domain,
// the same in the program and in its tests, which name it in a hosts file.
inline constexpr char kUpdateCheckHost[] = "updates.tarnwick.test";
// The address up to the codename; "%s%s&os=win" puts prefix and codename
// together.
inline constexpr char kUpdateCheckPrefix[] = "http://updates.tarnwick.test/autocheck.php?softwareid=";

// What an update check found, and what the update offer form shows. Its
// creator owns it: CheckForUpdate fills the last three, the caller the
// name and the version text.
struct sUpdateInfo {
  _guardchar<char16_t> name;
  _guardchar<char16_t> versionText;
  _guardchar<char16_t> downloadUrl;
  _guardchar<char16_t> webPage;
  _guardchar<char16_t> releaseNotes;
};

// The sink of one check's answer: the body in memory.
class cPlainDataReader : public cHttpResponse {
public:
  static constexpr int64_t kMaxAnswer = 65536;

  // Accepts only status 200 with a Content-Length from 1 to kMaxAnswer;
  // then empties the memory stream.
  bool OnHeaders() override;
  // Writes the bytes at the stream's position.
  bool OnData(const char* data, uint32_t length, uint64_t offset) override;

  cMemIOTarget body;
};

// The version as text, at most 100 characters: "a.b" when the last two
// parts are 0, "a.b.c" when only the last one is, else "a.b.c.d".
void FormatVersionText(_guardchar<char16_t>& out, uint64_t version);

// Parses an answer body of size bytes (see rule b for the out-parameters).
// Releases notes are left unchanged when the answer has none.
bool ParseUpdateAnswer(const char* body, uint32_t size, uint64_t& version, _guardchar<char16_t>& downloadUrl,
                       _guardchar<char16_t>& webPage, _guardchar<char16_t>& releaseNotes);

// prefix followed by the codename and "&os=win"; the codename's bytes go in
// unchanged (the request refuses what an address may not hold).
void FormatUpdateCheckAddress(const char* prefix, const char* codename, _guardchar<char>& out);

// The check against the program's endpoint (kUpdateCheckPrefix). A null
// codename fails at once; so does a socket library that does not start
// (the next check tries again).
bool CheckForUpdate(const char* codename, uint64_t& version, _guardchar<char16_t>& downloadUrl,
                    _guardchar<char16_t>& webPage, _guardchar<char16_t>& releaseNotes);
// The same against another address prefix (tests reach a loopback server
// through it).
bool CheckForUpdateAt(const char* prefix, const char* codename, uint64_t& version,
                      _guardchar<char16_t>& downloadUrl, _guardchar<char16_t>& webPage,
                      _guardchar<char16_t>& releaseNotes);
