// The download of a new setup file. See update_download.h.
#include "tools/update_download.h"

#include "base/fileio.h"
#include "base/strings.h"
#include "net/http_request.h"
#include "net/http_transport.h"
#include "net/tcp_socket.h"

cUpdateDownload::cUpdateDownload(cFileIOTarget* output, const char16_t* address, cProgressNotifyTarget* progress)
    : output_(output), progress_(progress) {
  address_.Assign(address != nullptr ? address : u"");
}

int32_t cUpdateDownload::Run() {
  _guardchar<char> address;
  WideToUtf8(address_.text, address, -1);
  cHttpRequest request;
  if (!request.Reset(address.text)) return tw::kDownloadBadAddress;
  if (!StartSocketLibrary()) return tw::kDownloadBadAddress;

  cHttpTransport transport;
  received_ = 0;
  result_ = tw::kDownloadIncomplete;
  transport.Execute(request, *this);  // the byte count below decides
  if (result_ == tw::kDownloadSecondRedirect) {
    if (redirect_.IsEmpty()) return tw::kDownloadServerError;
    if (!request.Reset(redirect_.text)) return tw::kDownloadBadAddress;
    // From here a redirect answer is the second one, which is refused with
    // code 11 by OnHeaders; anything else starts as incomplete again.
    received_ = 0;
    result_ = tw::kDownloadIncomplete;
    transport.Execute(request, *this);
  }
  if (announced_ > 0 && received_ >= static_cast<uint64_t>(announced_)) return tw::kDownloadComplete;
  return result_;
}

bool cUpdateDownload::OnHeaders() {
  announced_ = contentLength;
  switch (status) {
    case 200:
      return true;
    case 301:
    case 302:
    case 303:
    case 307: {
      const char* location = GetLocation();
      if (location != nullptr) redirect_.Assign(location);
      result_ = tw::kDownloadSecondRedirect;
      return false;
    }
    default:
      result_ = tw::kDownloadServerError;
      return false;
  }
}

bool cUpdateDownload::OnData(const char* data, uint32_t length, uint64_t offset) {
  if (length == 0) return true;
  if (output_ == nullptr || !output_->WriteExact(data, length)) {
    result_ = tw::kDownloadWriteFailed;
    return false;
  }
  // Without a positive length there is no fraction to show (and a division
  // by 0 would give infinity or NaN).
  if (progress_ != nullptr && announced_ > 0) {
    const double percent = static_cast<double>(offset) * 100.0 / static_cast<double>(static_cast<uint64_t>(announced_));
    if (!progress_->SetProgress(percent)) return false;
  }
  received_ += length;
  return true;
}

cUpdateDownloader::~cUpdateDownloader() { cJob::Stop(kStopTimeoutMs); }
