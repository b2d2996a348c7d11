#include "platform/diagnostics.h"

#include <unistd.h>

#include <cerrno>
#include <string>

namespace larkspan::platform {
namespace {

void WriteLine(int fd, std::string_view line) {
  std::string buffer;
  buffer.reserve(line.size() + 1);
  buffer.append(line);
  buffer.push_back('\n');
  const char* p = buffer.data();
  std::size_t left = buffer.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    p += n;
    left -= static_cast<std::size_t>(n);
  }
}

}  // namespace

void WriteStderrLine(std::string_view line) {
  WriteLine(STDERR_FILENO, line);
}
void WriteStdoutLine(std::string_view line) {
  WriteLine(STDOUT_FILENO, line);
}

}  // namespace larkspan::platform
