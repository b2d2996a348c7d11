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

class Socket {
 public:
  Socket() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    if (fd_ < 0) throw std::runtime_error("cannot create a socket");
  }
  ~Socket() { ::close(fd_); }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

std::uint16_t FreeLoopbackPort() {
  const Socket socket;
  sockaddr_in address = Loopback(0);
  socklen_t length = sizeof address;
  if (::bind(socket.fd(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(socket.fd(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::runtime_error("cannot find a free loopback port");
  }
  return ntohs(address.sin_port);
}

bool WaitUntilAccepting(std::uint16_t port, std::chrono::milliseconds timeout,
                        ChildProcess* server) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    {
      const Socket socket;
      const sockaddr_in address = Loopback(port);
      if (::connect(socket.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) ==
          0) {
        return true;
      }
    }
    if (server != nullptr && !server->running()) return false;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
}

}  // namespace larkspan::test
