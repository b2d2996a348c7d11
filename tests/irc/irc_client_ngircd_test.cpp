// The client against Debian's ngIRCd on loopback, read through a second,
// test-side connection that has joined the same channel. In the expected
// lines "\003" is the colour control byte 0x03.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "irc/irc_bot_mfc.h"
#include "irc/keep_alive.h"
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
  std::unique_ptr<test::IrcTestReader> reader() {
    return std::make_unique<test::IrcTestReader>(
        server_.port(), "#sample", NgircdServer::kOperatorName, NgircdServer::kOperatorPassword);
  }

  NgircdServer server_;
  // ngIRCd says nothing before registration, so the client's first two reads
  // wait out their time-out.
  IrcBotMFC client_{{.serverName = "127.0.0.1"},
                    {.port = server_.port(), .connectTimeout = 5s, .readTimeout = 2s}};
};

TEST_F(IrcBotMFCWithNgircd, AnnouncesTopicsKeepsAliveAndQuits) {
  auto channel = reader();
  ASSERT_TRUE(client_.Connect());
  ASSERT_EQ(channel->waitForLineContaining(" JOIN ", kArrival), kBot + "JOIN :#sample");
  const std::string show = "RECORDING - Night Show ( http://host:8000/live.mp3 )";
  EXPECT_TRUE(client_.Say(show));
  EXPECT_EQ(channel->waitForLineContaining(" PRIVMSG ", kArrival),
            kBot + "PRIVMSG #sample :\00303" + show);
  // A line beyond the server's limit arrives cut, not dropped.
  EXPECT_TRUE(client_.Say("RECORDING - " + std::string(300, 'n') + " ( http://host/" +
                          std::string(300, 'u') + " )"));
  EXPECT_TRUE(channel->waitForLineContaining(
      kBot + "PRIVMSG #sample :\00303RECORDING - " + std::string(300, 'n'), kArrival));
  EXPECT_GT(client_.SendTopic(show), 0);
  EXPECT_EQ(channel->waitForLineContaining(" TOPIC ", kArrival), kBot + "TOPIC #sample :" + show);

  // The keep-alive draws 30 (one in ten) and then 34: the phrase of row 4
  // follows the PING, which the server answers without dropping the client.
  test::ScriptedRandom random({30, 34});
  SendIrcKeepAlive(&client_, {.autoPosting = true, .chatterMode = true}, random);
  EXPECT_EQ(channel->waitForLineContaining(" PRIVMSG ", kArrival),
            kBot + "PRIVMSG #sample :\00303Hope your day is going well.");

  EXPECT_TRUE(client_.Quit());
  EXPECT_TRUE(channel->waitForLineContaining(kBot + "QUIT", kArrival));
  EXPECT_TRUE(client_.Quit()) << "a second Quit on the closed connection";
}

// The server drops the bot (it restarts, as after a crash): the next
// keep-alive reconnects, and the next announcement arrives.
TEST_F(IrcBotMFCWithNgircd, KeepAliveReconnectsAfterTheServerDroppedTheBot) {
  client_.Connect();
  server_.restart();
  auto channel = reader();
  test::ScriptedRandom random({});
  SendIrcKeepAlive(&client_, {.autoPosting = true}, random);
  EXPECT_TRUE(channel->waitForLineContaining(" JOIN ", kArrival));
  EXPECT_TRUE(client_.Say("RECORDING - Night Show"));
  EXPECT_TRUE(channel->waitForLineContaining(" PRIVMSG #sample :\00303RECORDING", kArrival));
}

}  // namespace
}  // namespace larkspan::irc
