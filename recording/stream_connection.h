#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/http_client.h"
#include "platform/url.h"
#include "recording/recording_job.h"

namespace larkspan::recording {

// The request header lines, by the job's Shoutcast flag.
inline constexpr std::string_view kBrowserHeaders =
    "Accept: *.*, */*\r\nUser-Agent: Larkspan (compatible; MSIE 6.0; Windows NT 5.1)\r\n";
inline constexpr std::string_view kShoutcastHeaders =
    "Accept: Icy-Metadata, */*\r\nUser-Agent: Orvelle\r\n";

inline constexpr std::string_view kAgentName = "Larkspan v. 1.37b";

// Why an attempt to open a stream gave none, in words a user can read:
// "cannot connect to host:8000: Connection refused", "HTTP 404 Not Found".
struct AttemptFailure {
  std::string reason;
  // No descriptor was left for the socket.
  bool outOfDescriptors = false;
};

// An internet session: the options every connection opened through it uses
// (time-outs, the stop flag that cuts waits short) and where the short
// diagnostic lines of a request go. Each recording thread has its own
// sessions; nothing here is shared between threads.
class CRecordSession {
 public:
  using DiagnosticSink = std::function<void(std::string_view)>;

  // Diagnostics go to standard error unless a sink is given.
  explicit CRecordSession(platform::HttpOptions options = {}, DiagnosticSink diagnostics = {});

  std::unique_ptr<platform::HttpConnection> GetHttpConnection(
      const std::string& server, std::uint16_t port,
      platform::ServiceType service = platform::ServiceType::Http) const;

  const platform::HttpOptions& options() const { return options_; }
  void diagnose(std::string_view line) const;

  // Why the last OpenStreamRequest through this session gave no stream; an
  // error page it returned true for counts as a failure here. None when the
  // stream came.
  const std::optional<AttemptFailure>& lastFailure() const { return lastFailure_; }
  void setLastFailure(std::optional<AttemptFailure> failure) { lastFailure_ = std::move(failure); }

  std::string_view agentName() const { return kAgentName; }
  // A switch the session carries; nothing in the program sets it.
  std::int32_t switchValue() const { return 0; }

 private:
  platform::HttpOptions options_;
  DiagnosticSink diagnostics_;
  std::optional<AttemptFailure> lastFailure_;
};

// Opens a GET of `object` on `connection` with the job's header set and
// judges the reply. Follows one 301, 302 or 303 redirect through a new
// connection of `session`; after a redirect `connection` is released (the
// caller opens a new one before using it again). Every other status counts as
// success. Returns true when `request` holds a reply whose body the caller may
// read; any failure of the attempt (an exception) returns false. The URL parts are the caller's and
// are taken by value, so they are never changed.
bool OpenStreamRequest(const RecordingJob& job,
                       std::unique_ptr<platform::HttpConnection>& connection,
                       std::unique_ptr<platform::HttpRequest>& request, CRecordSession& session,
                       platform::ServiceType service, std::string object, std::string server,
                       std::uint16_t port);

}  // namespace larkspan::recording
