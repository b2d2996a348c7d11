#include "irc/irc_lines.h"

#include <gtest/gtest.h>

#include <string>

namespace larkspan::irc {
namespace {

TEST(IrcLines, WireLineIsOneWholeLineThatFitsTheServersLimit) {
  const std::string fits(kMaxLine - 2, 'x');
  std::string accents;  // "é" is two bytes: an odd cut would split one
  for (int i = 0; i < 300; ++i) accents += "\xc3\xa9";
  const std::pair<std::string, std::string> cases[] = {
      {"PING\r\n", "PING\r\n"},
      {"PING", "PING\r\n"},
      {"\r\n", "\r\n"},
      {"", ""},
      {"TOPIC #s :/a\r\nPRIVMSG NickServ :x\r\n", "TOPIC #s :/a  PRIVMSG NickServ :x\r\n"},
      {std::string("a\0b\nc\r\r\n", 8), "a b c \r\n"},
      {fits + "\r\n", fits + "\r\n"},
      {fits + "y\r\n", fits + "\r\n"},
      {"x" + accents, "x" + accents.substr(0, kMaxLine - 4) + "\r\n"}};
  for (const auto& [line, wire] : cases) EXPECT_EQ(WireLine(line), wire) << line.substr(0, 40);
  EXPECT_EQ(ChatLine(std::string(1030, 'x')), std::string(1021, 'x') + "\r\n");
  EXPECT_EQ(ChatLine(std::string(1020, 'x') + "\xc3\xa9"), std::string(1020, 'x') + "\r\n");
}

}  // namespace
}  // namespace larkspan::irc
