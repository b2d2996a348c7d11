#include "monitor/status_page_fetch.h"

#include <algorithm>
#include <memory>

#include "monitor/fetch_deadline.h"
#include "platform/network_error.h"

namespace larkspan::monitor {
namespace {

// Reads the body in steps of kPageReadSize into a buffer that doubles from
// kFirstPageBufferSize, until a short read or a full buffer that may not
// double again.
void ReadBody(platform::HttpRequest& request, std::size_t pageLimit, std::string& page,
              std::size_t& count) {
  page.resize(kFirstPageBufferSize);
  while (true) {
    if (page.size() < count + kPageReadSize && page.size() * 2 <= pageLimit)
      page.resize(page.size() * 2);
    const std::size_t room = std::min(kPageReadSize, page.size() - count);
    if (room == 0) return;
    const std::size_t n = request.read(page.data() + count, room);
    count += n;
    if (n < kPageReadSize) return;
  }
}

}  // namespace

std::string FetchStatusPage(const recording::RecordingJob& job, const platform::UrlParts& address,
                            const StatusPageOptions& options) {
  const FetchDeadline deadline(options.fetchTimeout);
  platform::HttpOptions http;
  http.connectTimeout = options.connectTimeout;
  http.readTimeout = options.readTimeout;
  // The page is never read twice: keep nothing for a replay.
  http.keepLimit = 0;
  http.cancel = deadline.flag();
  recording::CRecordSession session(
      http, options.diagnostics ? options.diagnostics : [](std::string_view) {});

  std::string page;
  std::size_t count = 0;
  auto connection = session.GetHttpConnection(address.server, address.port, address.service);
  std::unique_ptr<platform::HttpRequest> request;
  try {
    if (recording::OpenStreamRequest(job, connection, request, session, address.service,
                                     address.object, address.server, address.port))
      ReadBody(*request, options.pageLimit, page, count);
  } catch (const platform::NetworkError&) {
    // What arrived before the failure is scanned like a whole page.
  }
  if (request) request->close();
  page.resize(count);
  return page;
}

}  // namespace larkspan::monitor
