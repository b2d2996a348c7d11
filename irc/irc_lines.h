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

// The longest line a server takes, "\r\n" included: it drops longer ones.
inline constexpr std::size_t kMaxLine = 512;

std::string NickLine(std::string_view nickname);
std::string UserLine(std::string_view userId);
std::string JoinLine(std::string_view channel);
std::string TopicLine(std::string_view channel, std::string_view topic);

// The three bytes before every channel message's text: 0x03, '0' and the
// text colour OR 0x30 ("03" for colour 3, "0<" for colour 12).
std::string ColourPrefix(std::uint8_t textColour);

// "PRIVMSG {channel} :{prefix}{text}\r\n".
std::string ChannelMessageLine(std::string_view channel, std::uint8_t textColour,
                               std::string_view text);

// A line typed into the chat window as it goes to the server: the text as
// typed, cut to 1,021 bytes (never inside a UTF-8 character), then "\r\n".
std::string ChatLine(std::string_view typed);

// `line` as the client sends it: one whole line of at most kMaxLine bytes.
// One "\r\n" at its end is its own line end; every other CR, LF and NUL in it
// becomes a blank, so that the data a line carries (a name from a status
// page, a typed chat line) can never end it early and start a command of its
// own. What does not fit is cut off, never inside a UTF-8 character, and
// "\r\n" ends the result. Nothing comes of an empty text.
std::string WireLine(std::string_view line);

}  // namespace larkspan::irc
