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

TEST(IrcLines, LongChannelMessageIsCutSoThatTheLineFits1024Bytes) {
  const std::string text(2000, 'x');
  for (const std::string& channel :
       {std::string("#"), std::string("#sample"), std::string(23, 'c')}) {
    const std::string line = ChannelMessageLine(channel, 3, text);
    EXPECT_EQ(line.size(), kMaxChannelMessageLine) << channel;
    EXPECT_TRUE(line.ends_with("x\r\n")) << channel;
    const std::string head = "PRIVMSG " + channel + " :\00303";
    EXPECT_EQ(line.substr(0, head.size()), head);
  }
  // A text that just fits is left whole; one byte more is cut by one.
  const std::size_t room =
      kMaxChannelMessageLine - std::string("PRIVMSG #sample :\00303\r\n").size();
  EXPECT_EQ(ChannelMessageLine("#sample", 3, std::string(room, 'y')).size(),
            kMaxChannelMessageLine);
  EXPECT_EQ(ChannelMessageLine("#sample", 3, std::string(room + 1, 'y')).size(),
            kMaxChannelMessageLine);
  EXPECT_EQ(ChannelMessageLine("#sample", 3, std::string(room - 1, 'y')).size(),
            kMaxChannelMessageLine - 1);
}

TEST(IrcLines, CutNeverSplitsAUtf8Character) {
  // "é" is two bytes; an odd room would otherwise split the last one.
  std::string text;
  for (int i = 0; i < 600; ++i) text += "\xc3\xa9";
  const std::string line = ChannelMessageLine("#sample", 3, text);
  ASSERT_LE(line.size(), kMaxChannelMessageLine);
  const std::string body = line.substr(std::string("PRIVMSG #sample :\00303").size());
  const std::string inner = body.substr(0, body.size() - 2);
  EXPECT_EQ(inner.size() % 2, 0u);
  EXPECT_TRUE(inner.ends_with("\xc3\xa9"));
}

TEST(IrcLines, OneMessageIsAlwaysOneLine) {
  EXPECT_EQ(ChannelMessageLine("#sample", 3, "first\r\nQUIT"),
            std::string("PRIVMSG #sample :\00303first  QUIT\r\n"));
  EXPECT_EQ(ChannelMessageLine("#sample", 3, std::string("cut\0here", 8)),
            std::string("PRIVMSG #sample :\00303cut\r\n"));
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
