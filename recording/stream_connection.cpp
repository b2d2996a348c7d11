#include "recording/stream_connection.h"

#include <exception>

#include "platform/diagnostics.h"

namespace larkspan::recording {
namespace {

bool IsRedirect(int code) {
  return code == 301 || code == 302 || code == 303;
}

void SendWithHeaders(platform::HttpRequest& request, const RecordingJob& job) {
  request.addRequestHeaders(job.shoutcast ? kShoutcastHeaders : kBrowserHeaders);
  request.send();
}

}  // namespace

CRecordSession::CRecordSession(platform::HttpOptions options, DiagnosticSink diagnostics)
    : options_(options), diagnostics_(std::move(diagnostics)) {}

std::unique_ptr<platform::HttpConnection> CRecordSession::GetHttpConnection(
    const std::string& server, std::uint16_t port) const {
  return std::make_unique<platform::HttpConnection>(server, port, options_);
}

void CRecordSession::diagnose(std::string_view line) const {
  if (diagnostics_)
    diagnostics_(line);
  else
    platform::WriteStderrLine(line);
}

bool OpenStreamRequest(const RecordingJob& job,
                       std::unique_ptr<platform::HttpConnection>& connection,
                       std::unique_ptr<platform::HttpRequest>& request, CRecordSession& session,
                       platform::ServiceType /*service*/, std::string object,
                       std::string /*server*/, std::uint16_t /*port*/) {
  try {
    if (!connection) return false;
    request = connection->openRequest(std::move(object));
    SendWithHeaders(*request, job);
    const int code = request->statusCode();
    if (!IsRedirect(code)) {
      session.diagnose("Status Code is " + std::to_string(code));
      return true;
    }

    const std::string& head = request->rawHead();
    constexpr std::string_view kLocation = "Location: ";
    const std::size_t at = head.find(kLocation);
    if (at == std::string::npos) {
      session.diagnose("Error: Site redirects with no new location");
      return false;
    }
    const std::size_t start = at + kLocation.size();
    const std::string target = head.substr(start, head.find("\r\n", start) - start);

    request->close();
    request.reset();
    connection.reset();

    const auto parts = platform::SplitUrl(target);
    if (!parts) {
      session.diagnose("Error: the redirected URL could not be parsed.");
      return false;
    }
    if (parts->service != platform::ServiceType::Http) {
      session.diagnose("Error: the redirected URL does not reference a HTTP resource.");
      return false;
    }

    const auto redirected = session.GetHttpConnection(parts->server, parts->port);
    request = redirected->openRequest(parts->object);
    SendWithHeaders(*request, job);
    const int redirectedCode = request->statusCode();
    if (redirectedCode == 200) {
      session.diagnose("Status Code is 200");
      return true;
    }
    session.diagnose("Error: Got status code " + std::to_string(redirectedCode));
    return false;
  } catch (const std::exception&) {
    // Whatever fails inside an attempt (the network, memory) fails the
    // attempt only; the caller decides whether to try again.
    return false;
  }
}

}  // namespace larkspan::recording
