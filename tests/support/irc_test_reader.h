#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace larkspan::platform {
class SocketStream;
}

namespace larkspan::test {

// The tests' own IRC connection to a real server on 127.0.0.1: it registers,
// becomes operator and sets user mode +F so that the server never throttles
// it, joins a channel and then reads what arrives there. Lines are handed
// out in the order they arrived, without their "\r\n"; the server's PINGs
// are answered on the way.
class IrcTestReader {
 public:
  using Clock = std::chrono::steady_clock;

  // Connects and joins `channel`; returns once the server has confirmed the
  // join. Throws std::runtime_error when that does not happen in time.
  IrcTestReader(std::uint16_t port, std::string_view channel, std::string_view operatorName,
                std::string_view operatorPassword, std::string_view nickname = "reader");
  ~IrcTestReader();
  IrcTestReader(const IrcTestReader&) = delete;
  IrcTestReader& operator=(const IrcTestReader&) = delete;

  // Skips lines until one satisfies `wanted` and returns it; nothing when
  // the time-out passes or the server closes first.
  std::optional<std::string> waitForLine(const std::function<bool(std::string_view)>& wanted,
                                         std::chrono::milliseconds timeout);
  std::optional<std::string> waitForLineContaining(std::string_view text,
                                                   std::chrono::milliseconds timeout);

  // Sends one command; "\r\n" is appended.
  void send(std::string_view command);

 private:
  std::optional<std::string> nextLine(Clock::time_point deadline);

  std::unique_ptr<platform::SocketStream> stream_;
  std::string pending_;
};

}  // namespace larkspan::test
