#include "irc/irc_lines.h"

#include <gtest/gtest.h>

#include <string>

#include "irc/chatter_phrases.h"

namespace larkspan::irc {
namespace {

// In the expected lines "\003" is the colour control byte 0x03.

TEST(IrcLines, ColourPrefixIsControlCZeroAndColourOrThirtyHex) {
  EXPECT_EQ(kKeepAliveLine, "PING\r\n");
  EXPECT_EQ(ColourPrefix(3), std::string("\00303"));
  EXPECT_EQ(ColourPrefix(0), std::string("\00300"));
  EXPECT_EQ(ColourPrefix(9), std::string("\00309"));
  EXPECT_EQ(ColourPrefix(12), std::string("\0030<"));
  EXPECT_EQ(ColourPrefix(0x41), std::string("\0030q"));  // 0x41 | 0x30
  EXPECT_EQ(ColourPrefix(255), std::string("\0030\xff", 3));

  EXPECT_EQ(
      ChannelMessageLine("#sample", 3, "RECORDING - Night Show ( http://host:8000/live.mp3 )"),
      std::string(
          "PRIVMSG #sample :\00303RECORDING - Night Show ( http://host:8000/live.mp3 )\r\n"));
  EXPECT_EQ(ChannelMessageLine("#sample", 12, "hi"), std::string("PRIVMSG #sample :\0030<hi\r\n"));
  EXPECT_EQ(ChannelMessageLine("#sample", 3, ""), std::string("PRIVMSG #sample :\00303\r\n"));
}

TEST(IrcLines, WireLineIsOneWholeLineThatFitsTheServersLimit) {
  const std::string fits(kMaxLine - 2, 'x');
  std::string accents;  // "é" is two bytes: an odd cut would split one
  for (int i = 0; i < 300; ++i) accents += "\xc3\xa9";
  struct Case {
    std::string line, wire;
  };
  for (const auto& [line, wire] : {
           Case{"PING\r\n", "PING\r\n"},
           {"PING", "PING\r\n"},
           {"\r\n", "\r\n"},
           {"", ""},
           {"TOPIC #s :/a\r\nPRIVMSG NickServ :x\r\n", "TOPIC #s :/a  PRIVMSG NickServ :x\r\n"},
           {std::string("a\0b\nc\r\r\n", 8), "a b c \r\n"},
           {fits + "\r\n", fits + "\r\n"},
           {fits + "y\r\n", fits + "\r\n"},
           {"x" + accents, "x" + accents.substr(0, kMaxLine - 4) + "\r\n"},
       }) {
    EXPECT_EQ(WireLine(line), wire) << line.substr(0, 40);
  }
  EXPECT_EQ(ChatLine("hello"), "hello\r\n");
  EXPECT_EQ(ChatLine(std::string(1030, 'x')), std::string(1021, 'x') + "\r\n");
  EXPECT_EQ(ChatLine(std::string(1020, 'x') + "\xc3\xa9"), std::string(1020, 'x') + "\r\n");
}

TEST(ChatterPhrases, EveryRowIsOneShortSentenceEndingInItsLineEnd) {
  for (std::size_t i = 0; i < kChatterPhraseCount; ++i) {
    const char* row = ChatterPhrases[i];
    const std::string text(row, strnlen(row, kChatterPhraseWidth));
    ASSERT_LT(text.size(), kChatterPhraseWidth) << "row " << i << " is not zero-terminated";
    EXPECT_GE(text.size(), 8u) << text;
    EXPECT_LE(text.size(), 67u) << text;
    EXPECT_TRUE(text.ends_with("\r\n")) << text;
    EXPECT_EQ(text.find_first_of("\r\n"), text.size() - 2) << text;
  }
}

}  // namespace
}  // namespace larkspan::irc
