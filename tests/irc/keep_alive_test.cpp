#include "irc/keep_alive.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "irc/chatter_phrases.h"
#include "irc/irc_bot_mfc.h"
#include "tests/support/scripted_random.h"

namespace larkspan::irc {
namespace {

using ::testing::InSequence;
using ::testing::Return;
using ::testing::StrictMock;

class MockIrcBot : public IrcBotMFC {
 public:
  MockIrcBot() : IrcBotMFC(IrcClientSettings{}) {}
  MOCK_METHOD(bool, Connect, (), (override));
  MOCK_METHOD(bool, Quit, (), (override));
  MOCK_METHOD(bool, Say, (std::string_view), (override));
  MOCK_METHOD(std::ptrdiff_t, SendRaw, (std::string_view), (override));
  MOCK_METHOD(void, Close, (), (override));
};

TEST(SendIrcKeepAlive, WithAutoPostingOffOrNoClientNothingIsSentOrDrawn) {
  StrictMock<MockIrcBot> bot;
  test::ScriptedRandom random({});
  SendIrcKeepAlive(&bot, {.autoPosting = false, .chatterMode = true}, random);
  SendIrcKeepAlive(nullptr, {.autoPosting = true, .chatterMode = true}, random);
  EXPECT_EQ(random.used(), 0u);
}

TEST(SendIrcKeepAlive, SendsThePingAndReconnectsOnlyWhenTheSendReportsZeroBytes) {
  StrictMock<MockIrcBot> bot;
  test::ScriptedRandom random({});
  {
    InSequence order;
    EXPECT_CALL(bot, SendRaw(std::string_view("PING\r\n"))).WillOnce(Return(6));
    EXPECT_CALL(bot, SendRaw(std::string_view("PING\r\n"))).WillOnce(Return(-1));
    EXPECT_CALL(bot, SendRaw(std::string_view("PING\r\n"))).WillOnce(Return(0));
    EXPECT_CALL(bot, Close());
    EXPECT_CALL(bot, Connect()).WillOnce(Return(true));
  }
  for (int i = 0; i < 3; ++i) SendIrcKeepAlive(&bot, {.autoPosting = true}, random);
  EXPECT_EQ(random.used(), 0u);
}

TEST(SendIrcKeepAlive, ChatterModePostsThePhrasePickedBySecondDrawOnOneDrawInTen) {
  StrictMock<MockIrcBot> bot;
  EXPECT_CALL(bot, SendRaw(std::string_view("PING\r\n"))).Times(3).WillRepeatedly(Return(6));
  std::string row7(ChatterPhrases[7]);
  row7.resize(row7.size() - 2);
  std::string row0(ChatterPhrases[0]);
  row0.resize(row0.size() - 2);
  {
    InSequence order;
    EXPECT_CALL(bot, Say(std::string_view(row7))).WillOnce(Return(true));
    EXPECT_CALL(bot, Say(std::string_view(row0))).WillOnce(Return(true));
  }
  // 13 is no multiple of ten: one draw, no phrase. 20 is: 37 % 30 picks row
  // 7. 0 is: 60 % 30 picks row 0.
  test::ScriptedRandom random({13, 20, 37, 0, 60});
  const IrcKeepAliveSettings chatter{.autoPosting = true, .chatterMode = true};
  SendIrcKeepAlive(&bot, chatter, random);
  EXPECT_EQ(random.used(), 1u);
  SendIrcKeepAlive(&bot, chatter, random);
  SendIrcKeepAlive(&bot, chatter, random);
  EXPECT_EQ(random.used(), 5u);
}

}  // namespace
}  // namespace larkspan::irc
