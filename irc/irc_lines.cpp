#include "irc/irc_lines.h"

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
  return Join({"PRIVMSG ", channel, " :", ColourPrefix(textColour), text, kLineEnd});
}

std::string ChatLine(std::string_view typed) {
  std::string line(platform::CutUtf8(typed, 1021));
  line += kLineEnd;
  return line;
}

std::string WireLine(std::string_view line) {
  if (line.empty()) return {};
  if (line.ends_with(kLineEnd)) line.remove_suffix(kLineEnd.size());
  std::string wire = platform::SingleLine(platform::CutUtf8(line, kMaxLine - kLineEnd.size()));
  wire.append(kLineEnd);
  return wire;
}

}  // namespace larkspan::irc
