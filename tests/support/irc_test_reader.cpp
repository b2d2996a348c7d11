#include "tests/support/irc_test_reader.h"

#include <stdexcept>

#include "platform/network_error.h"
#include "platform/socket_stream.h"

namespace larkspan::test {
namespace {

constexpr std::chrono::seconds kJoinTimeout{10};

}  // namespace

IrcTestReader::IrcTestReader(std::uint16_t port, std::string_view channel,
                             std::string_view operatorName, std::string_view operatorPassword,
                             std::string_view nickname) {
  stream_ = platform::SocketStream::connect(
      "127.0.0.1", port, platform::SocketOptions{std::chrono::seconds(5), std::chrono::seconds(5)});
  const std::string nick(nickname);
  send("NICK " + nick);
  send("USER " + nick + " 0 * :Larkspan test reader");
  send("OPER " + std::string(operatorName) + " " + std::string(operatorPassword));
  send("MODE " + nick + " +F");
  send("JOIN " + std::string(channel));
  const std::string joined = ":" + nick + "!";
  const std::string joinTail = " JOIN :" + std::string(channel);
  if (!waitForLine(
          [&](std::string_view line) {
            return line.starts_with(joined) && line.ends_with(joinTail);
          },
          kJoinTimeout)) {
    throw std::runtime_error("the test reader could not join " + std::string(channel));
  }
}

IrcTestReader::~IrcTestReader() = default;

void IrcTestReader::send(std::string_view command) {
  std::string line(command);
  line += "\r\n";
  stream_->writeAll(line);
}

std::optional<std::string> IrcTestReader::nextLine(Clock::time_point deadline) {
  for (;;) {
    if (const auto end = pending_.find("\r\n"); end != std::string::npos) {
      std::string line = pending_.substr(0, end);
      pending_.erase(0, end + 2);
      if (line.starts_with("PING ")) {
        send("PONG " + line.substr(5));
        continue;
      }
      return line;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return std::nullopt;
    try {
      if (!stream_->waitReadable(left)) return std::nullopt;
      char buffer[4096];
      const std::size_t n = stream_->readSome(buffer, sizeof buffer);
      if (n == 0) return std::nullopt;
      pending_.append(buffer, n);
    } catch (const platform::NetworkError&) {
      return std::nullopt;
    }
  }
}

std::optional<std::string> IrcTestReader::waitForLine(
    const std::function<bool(std::string_view)>& wanted, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (auto line = nextLine(deadline)) {
    if (wanted(*line)) return line;
  }
  return std::nullopt;
}

std::optional<std::string> IrcTestReader::waitForLineContaining(std::string_view text,
                                                                std::chrono::milliseconds timeout) {
  return waitForLine(
      [&](std::string_view line) { return line.find(text) != std::string_view::npos; }, timeout);
}

}  // namespace larkspan::test
