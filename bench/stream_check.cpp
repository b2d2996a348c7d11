#include "bench/stream_check.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace larkspan::bench {

StreamFileCheck CheckStreamFile(const std::filesystem::path& file, const StreamContent& content,
                                std::uint32_t id) {
  StreamFileCheck check;
  std::ifstream in(file, std::ios::binary);
  std::vector<char> got(1 << 20);
  std::vector<char> expected(got.size());
  bool same = true;
  while (in) {
    in.read(got.data(), static_cast<std::streamsize>(got.size()));
    const auto n = static_cast<std::size_t>(in.gcount());
    if (n == 0) break;
    if (same) {
      content(id, check.size, expected.data(), n);
      const auto mismatch =
          std::mismatch(got.begin(), got.begin() + static_cast<long>(n), expected.begin());
      check.matching += static_cast<std::uint64_t>(mismatch.first - got.begin());
      same = mismatch.first == got.begin() + static_cast<long>(n);
    }
    check.size += n;
  }
  return check;
}

bool WithinCapture(std::string_view recording, std::string_view capture) {
  if (recording.empty()) return false;
  // A tone's frames may repeat: every place the recording's first bytes
  // occur is a candidate.
  const std::string_view key = recording.substr(0, 4096);
  for (std::size_t at = capture.find(key); at != std::string_view::npos;
       at = capture.find(key, at + 1)) {
    if (capture.substr(at, recording.size()) == recording) return true;
  }
  return false;
}

}  // namespace larkspan::bench
