// The download of a new setup file: cUpdateDownload fetches one address
// into a stream, following at most one redirect, and tells by its result
// code whether every announced byte arrived; cUpdateDownloader runs it as
// the job of a progress form.
//
// Rules:
//  a. Only a 200 answer with a Content-Length above 0, announced in its
//     head, whose bytes all arrived counts as complete (kDownloadComplete).
//     An answer without a length (to the close, or chunked), a length of 0,
//     a cut, a time-out or a stop never does.
//  b. Progress goes to the sink only when the length is above 0.
//  c. One redirect (301, 302, 303, 307 with a "Location") is followed; the
//     second attempt starts from result code kDownloadIncomplete again, so a
//     cut after the redirect is a cut, and a second redirect answer ends
//     with kDownloadSecondRedirect.
//  d. Nothing throws; every outcome is a result code.
#pragma once

#include <cstdint>

#include "base/guardchar.h"
#include "base/job.h"
#include "gui/dialogs/progress_form.h"
#include "net/http_response.h"

class cFileIOTarget;

namespace tw {
enum : int32_t {
  kDownloadBadAddress = 1,      // not an http:// or https:// address, or no socket library
  kDownloadIncomplete = 2,      // fewer bytes than announced, or none announced
  kDownloadServerError = 3,     // another status, or a redirect without "Location"
  kDownloadWriteFailed = 4,     // the output stream refused bytes
  kDownloadComplete = 10,       // every announced byte arrived
  kDownloadSecondRedirect = 11, // a redirect answer after the one followed
};
}  // namespace tw

class cUpdateDownload : public cHttpResponse {
public:
  // output and progress are borrowed; progress may be null.
  cUpdateDownload(cFileIOTarget* output, const char16_t* address, cProgressNotifyTarget* progress);

  // The whole download on the calling thread: a tw::kDownload* code.
  int32_t Run();

  bool OnHeaders() override;
  bool OnData(const char* data, uint32_t length, uint64_t offset) override;

  int32_t ResultCode() const { return result_; }
  uint64_t BytesReceived() const { return received_; }
  const char* RedirectAddress() const { return redirect_.text; }

private:
  cFileIOTarget* output_;
  _guardchar<char16_t> address_;
  cProgressNotifyTarget* progress_;
  int32_t result_ = tw::kDownloadIncomplete;
  uint64_t received_ = 0;
  int64_t announced_ = -1;  // Content-Length as the head gave it
  _guardchar<char> redirect_;
};

// The progress form whose job is one download attempt; its end code is the
// download's result code (0 when it was closed without one).
class cUpdateDownloader : public cStdBasicProgressForm {
public:
  cUpdateDownloader(cFileIOTarget* output, const char16_t* address)
      : download_(output, address, this) {}
  // The job uses the download: it is stopped before the download goes.
  ~cUpdateDownloader() override;

  int32_t Run() override { return download_.Run(); }

private:
  cUpdateDownload download_;
};
