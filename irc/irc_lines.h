#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The wire format of every line the program sends to the IRC server. Every
// line is 8-bit text ending in "\r\n".
namespace larkspan::irc {

// The full-name field of the USER line.
inline constexpr std::string_view kFullName = "Larkspan v. 1.37b";

// The keep-alive: six bytes, no argument.
inline constexpr std::string_view kKeepAliveLine = "PING\r\n";
inline constexpr std::string_view kQuitLine = "QUIT\r\n";

// A channel message line, "\r\n" included, never exceeds this.
inline constexpr std::size_t kMaxChannelMessageLine = 1024;
// At most this much of a channel message's text follows the colour prefix;
// the line limit above may cut it shorter.
inline constexpr std::size_t kMaxChannelMessageText = 1016;

std::string NickLine(std::string_view nickname);
std::string UserLine(std::string_view userId);
std::string JoinLine(std::string_view channel);
std::string TopicLine(std::string_view channel, std::string_view topic);

// The three bytes before every channel message's text: 0x03, '0' and the
// text colour OR 0x30 ("03" for colour 3, "0<" for colour 12).
std::string ColourPrefix(std::uint8_t textColour);

// "PRIVMSG {channel} :{prefix}{text}\r\n". The text ends at a zero byte, its
// line breaks become blanks (one message is always one line), and it is cut,
// never inside a UTF-8 character, so that the whole line fits in
// kMaxChannelMessageLine bytes.
std::string ChannelMessageLine(std::string_view channel, std::uint8_t textColour,
                               std::string_view text);

}  // namespace larkspan::irc
