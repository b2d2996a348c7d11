#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "monitor/status_page_fetch.h"
#include "platform/prompter.h"
#include "recording/recording_job.h"
#include "schedule/known_mountpoints.h"
#include "schedule/schedule_table.h"

namespace larkspan::monitor {

// At most this many new mountpoints come out of one poll of one server.
inline constexpr std::size_t kMaxNewPerPoll = 3;
// A full mountpoint URL must fit the 128-byte slot it is handed on in.
inline constexpr std::size_t kMaxMountpointUrlLength = 127;

// Which of the page's `names` are new for the monitoring entry at
// `entryIndex`, as full URLs (the server URL less one trailing "/", then the
// name), in page order and at most kMaxNewPerPoll. A name is not new when a
// continuously monitored entry records its URL (which also uses up one of the
// places), when a known mountpoint equals or, as a pattern, matches its URL,
// or when the entry's ignore rules reject it. A URL longer than
// kMaxMountpointUrlLength is skipped: cutting it would name another
// mountpoint.
std::vector<std::string> SelectNewMountpoints(const std::vector<std::string>& names,
                                              const schedule::ScheduleTable& schedule,
                                              const schedule::KnownMountpoints& known,
                                              std::string_view serverUrl, std::size_t entryIndex);

// One poll of the status page of the server at `serverUrl`, the URL of the
// monitoring entry at `entryIndex`: fetches the page with `job` as the
// request's context (its Shoutcast flag clear; the job is never started),
// scans it and writes the new mountpoints' URLs to `newMountpoints`. Returns
// their count (0 also when the server cannot be reached), or -1 after the
// warning "Cannot parse URL" when the page's address is not an HTTP URL.
//
// Runs on the window's thread with JobTableLock held; blocks for the fetch,
// within the limits of `options`. Reads the schedule and the known
// mountpoints only.
std::int16_t FindNewMountpoints(const recording::RecordingJob& job,
                                const schedule::ScheduleTable& schedule,
                                const schedule::KnownMountpoints& known, std::string_view serverUrl,
                                std::vector<std::string>& newMountpoints, std::size_t entryIndex,
                                const StatusPageOptions& options, platform::Prompter& prompter);

}  // namespace larkspan::monitor
