#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>

#include "bench/stream_server.h"

namespace larkspan::bench {

struct StreamFileCheck {
  std::uint64_t size = 0;
  // Bytes from the start of the file that equal the stream's.
  std::uint64_t matching = 0;
};

// Compares a recorded file with stream `id` of `content`.
StreamFileCheck CheckStreamFile(const std::filesystem::path& file, const StreamContent& content,
                                std::uint32_t id);

// True when `recording` is one unbroken, non-empty run of `capture`'s bytes:
// a listener's recording of a live stream, against a capture of the same
// stream that began before it and ended after it.
bool WithinCapture(std::string_view recording, std::string_view capture);

}  // namespace larkspan::bench
