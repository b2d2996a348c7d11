#pragma once

#include <cstdint>
#include <filesystem>

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

}  // namespace larkspan::bench
