#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/network_error.h"
#include "platform/socket_stream.h"

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
                std::string_view operatorPassword, std::string_view nickname = "reader")
      : stream_(platform::SocketStream::connect(
            "127.0.0.1", port,
            platform::SocketOptions{std::chrono::seconds(5), std::chrono::seconds(5)})) {
    const std::string nick(nickname);
    const std::string join = " JOIN :" + std::string(channel);
    for (const std::string& command :
         {"NICK " + nick, "USER " + nick + " 0 * :Larkspan test reader",
          "OPER " + std::string(operatorName) + " " + std::string(operatorPassword),
          "MODE " + nick + " +F", "JOIN " + std::string(channel)})
      send(command);
    // Before its own join the reader sees no other in the channel.
    if (!waitForLineContaining(join, std::chrono::seconds(10)))
      throw std::runtime_error("the test reader could not join " + std::string(channel));
  }
  IrcTestReader(const IrcTestReader&) = delete;
  IrcTestReader& operator=(const IrcTestReader&) = delete;

  // Skips lines until one satisfies `wanted` and returns it; nothing when
  // the time-out passes or the server closes first.
  std::optional<std::string> waitForLine(const std::function<bool(std::string_view)>& wanted,
                                         std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (auto line = nextLine(deadline))
      if (wanted(*line)) return line;
    return std::nullopt;
  }
  std::optional<std::string> waitForLineContaining(std::string_view text,
                                                   std::chrono::milliseconds timeout) {
    return waitForLine([&](std::string_view line) { return line.find(text) != line.npos; },
                       timeout);
  }

  // Sends one command; "\r\n" is appended.
  void send(std::string_view command) { stream_->writeAll(std::string(command) + "\r\n"); }

 private:
  std::optional<std::string> nextLine(Clock::time_point deadline) {
    for (;;) {
      if (const auto end = pending_.find("\r\n"); end != std::string::npos) {
        std::string line = pending_.substr(0, end);
        pending_.erase(0, end + 2);
        if (!line.starts_with("PING ")) return line;
        send("PONG " + line.substr(5));
        continue;
      }
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      try {
        char buffer[4096];
        std::size_t n = 0;
        if (left.count() <= 0 || !stream_->waitReadable(left) ||
            (n = stream_->readSome(buffer, sizeof buffer)) == 0)
          return std::nullopt;
        pending_.append(buffer, n);
      } catch (const platform::NetworkError&) {
        return std::nullopt;
      }
    }
  }

  std::unique_ptr<platform::SocketStream> stream_;
  std::string pending_;
};

}  // namespace larkspan::test
