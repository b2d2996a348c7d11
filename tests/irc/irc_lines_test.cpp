#include "irc/irc_lines.h"

#include <gtest/gtest.h>

#include <string>

#include "irc/chatter_phrases.h"

namespace larkspan::irc {
namespace {

TEST(IrcLines, RegistrationTopicAndFixedLinesAreByteExact) {
  EXPECT_EQ(NickLine("test"), "NICK test\r\n");
  EXPECT_EQ(NickLine("test___"), "NICK test___\r\n");
  EXPECT_EQ(UserLine("blank"), "USER blank alt1 alt2 :Larkspan v. 1.37b\r\n");
  EXPECT_EQ(JoinLine("#sample"), "JOIN #sample\r\n");
  EXPECT_EQ(TopicLine("#sample", "LKS currently idle"), "TOPIC #sample :LKS currently idle\r\n");
  EXPECT_EQ(kKeepAliveLine, "PING\r\n");
  EXPECT_EQ(kKeepAliveLine.size(), 6u);
  EXPECT_EQ(kQuitLine, "QUIT\r\n");
}

TEST(IrcLines, ColourPrefixIsControlCZeroAndColourOrThirtyHex) {
  EXPECT_EQ(ColourPrefix(3), std::string("\x03"
                                         "03"));
  EXPECT_EQ(ColourPrefix(0), std::string("\x03"
                                         "00"));
  EXPECT_EQ(ColourPrefix(9), std::string("\x03"
                                         "09"));
  EXPECT_EQ(ColourPrefix(12), std::string("\x03"
                                          "0<"));
  EXPECT_EQ(ColourPrefix(0x41), std::string("\x03"
                                            "0q"));  // 0x41 | 0x30
  EXPECT_EQ(ColourPrefix(255), std::string("\x03"
                                           "0\xff",
                                           3));

  EXPECT_EQ(
      ChannelMessageLine("#sample", 3, "RECORDING - Night Show ( http://host:8000/live.mp3 )"),
      std::string("PRIVMSG #sample :\x03"
                  "03RECORDING - Night Show ( http://host:8000/live.mp3 )\r\n"));
  EXPECT_EQ(ChannelMessageLine("#sample", 12, "hi"), std::string("PRIVMSG #sample :\x03"
                                                                 "0<hi\r\n"));
  EXPECT_EQ(ChannelMessageLine("#sample", 3, ""), std::string("PRIVMSG #sample :\x03"
                                                              "03\r\n"));
}

TEST(IrcLines, LongChannelMessageIsCutSoThatTheLineFits1024Bytes) {
  const std::string text(2000, 'x');
  for (const std::string& channel :
       {std::string("#"), std::string("#sample"), std::string(23, 'c')}) {
    const std::string line = ChannelMessageLine(channel, 3, text);
    EXPECT_EQ(line.size(), kMaxChannelMessageLine) << channel;
    EXPECT_TRUE(line.ends_with("x\r\n")) << channel;
    const std::string head = "PRIVMSG " + channel +
                             " :\x03"
                             "03";
    EXPECT_EQ(line.substr(0, head.size()), head);
  }
  // A text that just fits is left whole; one byte more is cut by one.
  const std::size_t room = kMaxChannelMessageLine - std::string(
                                                        "PRIVMSG #sample :\x03"
                                                        "03\r\n")
                                                        .size();
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
  const std::string body = line.substr(std::string("PRIVMSG #sample :\x03"
                                                   "03")
                                           .size());
  const std::string inner = body.substr(0, body.size() - 2);
  EXPECT_EQ(inner.size() % 2, 0u);
  EXPECT_TRUE(inner.ends_with("\xc3\xa9"));
}

TEST(IrcLines, OneMessageIsAlwaysOneLine) {
  EXPECT_EQ(ChannelMessageLine("#sample", 3, "first\r\nQUIT"), std::string("PRIVMSG #sample :\x03"
                                                                           "03first  QUIT\r\n"));
  EXPECT_EQ(ChannelMessageLine("#sample", 3, std::string("cut\0here", 8)),
            std::string("PRIVMSG #sample :\x03"
                        "03cut\r\n"));
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
