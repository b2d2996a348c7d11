#include "tests/support/loopback_port.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>
#include <thread>

#include "tests/support/child_process.h"

namespace larkspan::test {
namespace {

sockaddr_in Loopback(std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

// A socket bound to 127.0.0.1 at an ephemeral port, which goes into `port`.
int BoundSocket(std::uint16_t& port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = Loopback(0);
  socklen_t length = sizeof address;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    if (fd >= 0) ::close(fd);
    throw std::runtime_error("cannot bind a socket on 127.0.0.1");
  }
  port = ntohs(address.sin_port);
  return fd;
}

}  // namespace

std::uint16_t FreeLoopbackPort() {
  std::uint16_t port = 0;
  ::close(BoundSocket(port));
  return port;
}

int ListenOnLoopback(std::uint16_t& port) {
  const int fd = BoundSocket(port);
  if (::listen(fd, 128) != 0) {
    ::close(fd);
    throw std::runtime_error("cannot listen on 127.0.0.1");
  }
  return fd;
}

int ConnectToLoopback(std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_in address = Loopback(port);
  if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
    return fd;
  if (fd >= 0) ::close(fd);
  return -1;
}

bool WaitUntilAccepting(std::uint16_t port, std::chrono::milliseconds timeout,
                        ChildProcess* server) {
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
