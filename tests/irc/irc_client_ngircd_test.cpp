// The client against Debian's ngIRCd on loopback, read through a second,
// test-side connection that has joined the same channel. In the expected
// lines "\003" is the colour control byte 0x03.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "irc/irc_bot_mfc.h"
#include "irc/irc_settings.h"
#include "irc/keep_alive.h"
#include "platform/background_worker.h"
#include "tests/support/irc_test_reader.h"
#include "tests/support/ngircd_server.h"
#include "tests/support/scripted_random.h"

namespace larkspan::irc {
namespace {

using namespace std::chrono_literals;
using test::NgircdServer;

// ngIRCd throttles the client (not the reader) to about three commands a
// second after a short burst.
constexpr auto kArrival = 15s;
const std::string kBot = ":test!~blank@127.0.0.1 ";

class IrcBotMFCWithNgircd : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    try {
      server_ = std::make_unique<NgircdServer>();
    } catch (const std::exception& e) {
      startFailure_ = e.what();
    }
  }
  static void TearDownTestSuite() { server_.reset(); }
  void SetUp() override { ASSERT_TRUE(server_) << "ngIRCd did not start: " << startFailure_; }

  std::unique_ptr<test::IrcTestReader> reader(std::string_view channel,
                                              std::string_view nickname = "reader") {
    return std::make_unique<test::IrcTestReader>(server_->port(), channel,
                                                 NgircdServer::kOperatorName,
                                                 NgircdServer::kOperatorPassword, nickname);
  }
  // ngIRCd says nothing before registration, so the client's first two reads
  // wait this long each.
  IrcBotMFC bot(std::string channel = "#sample") {
    return IrcBotMFC({.serverName = "127.0.0.1", .channel = channel},
                     {.port = server_->port(), .connectTimeout = 5s, .readTimeout = 2s});
  }

  static std::unique_ptr<NgircdServer> server_;
  static std::string startFailure_;
};

std::unique_ptr<NgircdServer> IrcBotMFCWithNgircd::server_;
std::string IrcBotMFCWithNgircd::startFailure_;

TEST_F(IrcBotMFCWithNgircd, AnnouncesTopicsKeepsAliveAndQuits) {
  auto channel = reader("#sample");
  IrcBotMFC client = bot();
  ASSERT_TRUE(client.Connect());
  ASSERT_EQ(channel->waitForLineContaining(" JOIN ", kArrival), kBot + "JOIN :#sample");
  const std::string show = "RECORDING - Night Show ( http://host:8000/live.mp3 )";
  EXPECT_TRUE(client.Say(show));
  EXPECT_EQ(channel->waitForLineContaining(" PRIVMSG ", kArrival),
            kBot + "PRIVMSG #sample :\00303" + show);
  // A line beyond the server's limit arrives cut, not dropped.
  EXPECT_TRUE(client.Say("RECORDING - " + std::string(300, 'n') + " ( http://host/" +
                         std::string(300, 'u') + " )"));
  EXPECT_TRUE(channel->waitForLineContaining(
      kBot + "PRIVMSG #sample :\00303RECORDING - " + std::string(300, 'n'), kArrival));
  EXPECT_GT(client.SendTopic(show), 0);
  EXPECT_EQ(channel->waitForLineContaining(" TOPIC ", kArrival), kBot + "TOPIC #sample :" + show);

  // The keep-alive draws 30 (one in ten) and then 34: the phrase of row 4
  // follows the PING, which the server answers without dropping the client.
  test::ScriptedRandom random({30, 34});
  SendIrcKeepAlive(&client, {.autoPosting = true, .chatterMode = true}, random);
  EXPECT_EQ(channel->waitForLineContaining(" PRIVMSG ", kArrival),
            kBot + "PRIVMSG #sample :\00303Hope your day is going well.");

  EXPECT_TRUE(client.Quit());
  EXPECT_TRUE(channel->waitForLineContaining(kBot + "QUIT", kArrival));
  EXPECT_TRUE(client.Quit()) << "a second Quit on the closed connection";
}

// Accepting the IRC settings: QUIT first, then, with auto-posting on, the new
// nickname in the new channel; with it off, nothing after the QUIT. A line
// typed into the chat window goes out as typed.
TEST_F(IrcBotMFCWithNgircd, AcceptedSettingsQuitThenRegisterAnewOnlyWithAutoPosting) {
  auto first = reader("#first");
  auto channel = reader("#larkspan", "reader2");
  IrcBotMFC client = bot("#first");
  client.Connect();
  ASSERT_TRUE(first->waitForLineContaining(" JOIN ", kArrival));

  schedule::ProfileSettings settings;
  IrcSettingsForm form = IrcSettingsFormOf(settings);
  form.serverName = "localhost";
  form.nickname = "larkbot";
  form.channel = "#larkspan";
  form.userId = "lark";
  form.autoPosting = true;
  ASSERT_TRUE(StoreIrcSettings(form, settings));
  platform::BackgroundWorker work;
  ApplyIrcSettings(client, settings, work);
  EXPECT_TRUE(first->waitForLineContaining(kBot + "QUIT", kArrival));
  const std::string larkbot = ":larkbot!~lark@127.0.0.1 ";
  EXPECT_EQ(channel->waitForLineContaining(" JOIN ", kArrival), larkbot + "JOIN :#larkspan");
  SendChatLine(client, "PRIVMSG #larkspan :hello", work);
  EXPECT_EQ(channel->waitForLineContaining(" PRIVMSG ", kArrival),
            larkbot + "PRIVMSG #larkspan :hello");

  settings.ircAutoPost = 0;
  ApplyIrcSettings(client, settings, work);
  EXPECT_TRUE(channel->waitForLineContaining(larkbot + "QUIT", kArrival));
  work.waitUntilIdle();
  EXPECT_EQ(client.SendRaw("PRIVMSG #larkspan :still here?\r\n"), 0) << "no new connection";
}

// The server drops the bot (it restarts, as after a crash): the next
// keep-alive reconnects, and the next announcement arrives.
TEST_F(IrcBotMFCWithNgircd, KeepAliveReconnectsAfterTheServerDroppedTheBot) {
  IrcBotMFC client = bot();
  client.Connect();
  server_->restart();
  auto channel = reader("#sample");
  test::ScriptedRandom random({});
  SendIrcKeepAlive(&client, {.autoPosting = true}, random);
  EXPECT_TRUE(channel->waitForLineContaining(" JOIN ", kArrival));
  EXPECT_TRUE(client.Say("RECORDING - Night Show"));
  EXPECT_TRUE(channel->waitForLineContaining(" PRIVMSG #sample :\00303RECORDING", kArrival));
}

}  // namespace
}  // namespace larkspan::irc
