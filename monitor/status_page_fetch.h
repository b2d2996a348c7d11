#pragma once

#include <chrono>
#include <cstddef>
#include <string>

#include "platform/url.h"
#include "recording/recording_job.h"
#include "recording/stream_connection.h"

namespace larkspan::monitor {

// How the monitor fetches a status page. The fetch runs on the window's
// thread, so every limit is short: a stalled or slow server holds the program
// up for at most `fetchTimeout`.
struct StatusPageOptions {
  std::chrono::milliseconds connectTimeout{3'000};
  // The longest wait for any data of the reply.
  std::chrono::milliseconds readTimeout{3'000};
  // The whole fetch, redirect included.
  std::chrono::milliseconds fetchTimeout{5'000};
  // The page is cut at the largest buffer, doubling from 4 KiB, that does
  // not pass this. A real status page is a few KiB, and the names are taken
  // from its top anyway.
  std::size_t pageLimit = std::size_t{1} << 20;
  // Where the request's diagnostic lines go; dropped when empty, since the
  // monitor fetches four times a minute.
  recording::CRecordSession::DiagnosticSink diagnostics = {};
};

inline constexpr std::size_t kFirstPageBufferSize = 4096;
inline constexpr std::size_t kPageReadSize = 1023;

// GETs the status page at `address` with the job's header set (one redirect
// followed) and returns its body: all of it, or what had arrived when the
// connection failed, timed out or the page reached its limit. Empty when the
// request failed. Never throws a network failure.
std::string FetchStatusPage(const recording::RecordingJob& job, const platform::UrlParts& address,
                            const StatusPageOptions& options);

}  // namespace larkspan::monitor
