#include "irc/irc_lines.h"

#include <algorithm>

#include "platform/text.h"

namespace larkspan::irc {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

std::string Join(std::initializer_list<std::string_view> parts) {
  std::size_t size = 0;
  for (const auto part : parts) size += part.size();
  std::string line;
  line.reserve(size);
  for (const auto part : parts) line.append(part);
  return line;
}

}  // namespace

std::string NickLine(std::string_view nickname) {
  return Join({"NICK ", nickname, kLineEnd});
}

std::string UserLine(std::string_view userId) {
  return Join({"USER ", userId, " alt1 alt2 :", kFullName, kLineEnd});
}

std::string JoinLine(std::string_view channel) {
  return Join({"JOIN ", channel, kLineEnd});
}

std::string TopicLine(std::string_view channel, std::string_view topic) {
  return Join({"TOPIC ", channel, " :", topic, kLineEnd});
}

std::string ColourPrefix(std::uint8_t textColour) {
  return {'\x03', '0', static_cast<char>(textColour | 0x30)};
}

std::string ChannelMessageLine(std::string_view channel, std::uint8_t textColour,
                               std::string_view text) {
  const std::string_view head = "PRIVMSG ";
  const std::string_view separator = " :";
  const std::string prefix = ColourPrefix(textColour);

  text = text.substr(0, text.find('\0'));
  const std::size_t frame =
      head.size() + channel.size() + separator.size() + prefix.size() + kLineEnd.size();
  const std::size_t room = frame < kMaxChannelMessageLine ? kMaxChannelMessageLine - frame : 0;
  text = platform::CutUtf8(text, std::min(kMaxChannelMessageText, room));

  std::string line = Join({head, channel, separator, prefix, text, kLineEnd});
  const std::size_t textStart = frame - kLineEnd.size();
  std::replace_if(
      line.begin() + static_cast<std::ptrdiff_t>(textStart),
      line.end() - static_cast<std::ptrdiff_t>(kLineEnd.size()),
      [](char c) { return c == '\r' || c == '\n'; }, ' ');
  return line;
}

}  // namespace larkspan::irc
