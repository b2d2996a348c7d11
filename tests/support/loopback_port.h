#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>

#include "tests/support/child_process.h"

namespace larkspan::test {

inline sockaddr_in LoopbackAddress(std::uint16_t port) {
  return {.sin_family = AF_INET,
          .sin_port = htons(port),
          .sin_addr = {htonl(INADDR_LOOPBACK)},
          .sin_zero = {}};
}

// A socket bound to 127.0.0.1 at a port of the kernel's choice, which goes
// into `port`; listening when asked. Throws std::runtime_error when there is
// none.
inline int BindLoopback(std::uint16_t& port, bool listening) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = LoopbackAddress(0);
  socklen_t length = sizeof address;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
      (listening && ::listen(fd, 128) != 0)) {
    if (fd >= 0) ::close(fd);
    throw std::runtime_error("cannot bind a socket on 127.0.0.1");
  }
  port = ntohs(address.sin_port);
  return fd;
}

// A TCP port on 127.0.0.1 that was free a moment ago (the kernel's choice
// of an ephemeral port). Another program may still take it before the
// caller does.
inline std::uint16_t FreeLoopbackPort() {
  std::uint16_t port = 0;
  ::close(BindLoopback(port, false));
  return port;
}

// A socket connected to 127.0.0.1:`port`; -1 when the connection fails.
inline int ConnectToLoopback(std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_in address = LoopbackAddress(port);
  if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
    return fd;
  if (fd >= 0) ::close(fd);
  return -1;
}

// Waits until 127.0.0.1:`port` accepts a connection. Gives up early when
// `server` is given and has ended. True when it accepted within `timeout`.
inline bool WaitUntilAccepting(std::uint16_t port, std::chrono::milliseconds timeout,
                               ChildProcess* server = nullptr) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (const int fd = ConnectToLoopback(port); fd >= 0) {
      ::close(fd);
      return true;
    }
    if ((server != nullptr && !server->running()) || std::chrono::steady_clock::now() >= deadline)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
}

}  // namespace larkspan::test
