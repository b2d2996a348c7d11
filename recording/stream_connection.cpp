#include "recording/stream_connection.h"

#include <exception>

#include "platform/diagnostics.h"
#include "platform/network_error.h"

namespace larkspan::recording {
namespace {

bool IsRedirect(int code) {
  return code == 301 || code == 302 || code == 303;
}

void SendWithHeaders(platform::HttpRequest& request, const RecordingJob& job) {
  request.addRequestHeaders(job.shoutcast ? kShoutcastHeaders : kBrowserHeaders);
  request.send();
}

// "HTTP 404 Not Found": the reply's status line without its version.
AttemptFailure StatusFailure(const platform::HttpRequest& request) {
  const std::string& head = request.rawHead();
  const std::string line = head.substr(0, head.find("\r\n"));
  const std::size_t blank = line.find(' ');
  return {"HTTP " + (blank == std::string::npos ? std::to_string(request.statusCode())
                                                : line.substr(blank + 1))};
}

// Writes the diagnostic line of an attempt that gave no stream and keeps why.
bool Fail(CRecordSession& session, const std::string& diagnostic, AttemptFailure failure) {
  session.diagnose(diagnostic);
  session.setLastFailure(std::move(failure));
  return false;
}

}  // namespace

CRecordSession::CRecordSession(platform::HttpOptions options, DiagnosticSink diagnostics)
    : options_(options), diagnostics_(std::move(diagnostics)) {}

std::unique_ptr<platform::HttpConnection> CRecordSession::GetHttpConnection(
    const std::string& server, std::uint16_t port, platform::ServiceType service) const {
  return std::make_unique<platform::HttpConnection>(server, port, options_, service);
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
  session.setLastFailure(std::nullopt);
  try {
    if (!connection) return false;
    request = connection->openRequest(std::move(object));
    SendWithHeaders(*request, job);
    const int code = request->statusCode();
    if (!IsRedirect(code)) {
      session.diagnose("Status Code is " + std::to_string(code));
      // The error page is read as the body, but no stream comes with it.
      if (code >= 400) session.setLastFailure(StatusFailure(*request));
      return true;
    }

    const std::string& head = request->rawHead();
    constexpr std::string_view kLocation = "Location: ";
    const std::size_t at = head.find(kLocation);
    if (at == std::string::npos) {
      return Fail(session, "Error: Site redirects with no new location",
                  {"Site redirects with no new location"});
    }
    const std::size_t start = at + kLocation.size();
    const std::string target = head.substr(start, head.find("\r\n", start) - start);

    request->close();
    request.reset();
    connection.reset();

    const auto parts = platform::SplitUrl(target);
    if (!parts) {
      return Fail(session, "Error: the redirected URL could not be parsed.",
                  {"the redirected URL could not be parsed."});
    }
    if (!platform::IsHttpService(parts->service)) {
      return Fail(session, "Error: the redirected URL does not reference a HTTP resource.",
                  {"the redirected URL does not reference a HTTP resource."});
    }

    const auto redirected = session.GetHttpConnection(parts->server, parts->port, parts->service);
    request = redirected->openRequest(parts->object);
    SendWithHeaders(*request, job);
    const int redirectedCode = request->statusCode();
    if (redirectedCode == 200) {
      session.diagnose("Status Code is 200");
      return true;
    }
    return Fail(session, "Error: Got status code " + std::to_string(redirectedCode),
                StatusFailure(*request));
  } catch (const platform::NetworkError& e) {
    session.setLastFailure(AttemptFailure{e.what(), e.outOfDescriptors()});
    return false;
  } catch (const std::exception& e) {
    // Whatever else fails inside an attempt (memory, say) fails the attempt
    // only; the caller decides whether to try again.
    session.setLastFailure(AttemptFailure{e.what(), false});
    return false;
  }
}

}  // namespace larkspan::recording
