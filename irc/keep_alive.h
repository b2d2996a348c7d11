#pragma once

#include <functional>

namespace larkspan::platform {
class RandomSource;
}

namespace larkspan::irc {

class IrcBotMFC;

// The two switches of the IRC settings that the keep-alive reads.
struct IrcKeepAliveSettings {
  bool autoPosting = false;  // "Enable IRC Auto-Posting"
  bool chatterMode = false;  // "Chatter Mode"
};

// The IRC part of the monitor tick, run in the seconds 0-4, 15-19, 30-34 and
// 45-49 of each minute on the window's thread. With auto-posting on and a
// client, sends "PING\r\n"; when that send reports 0 bytes, closes the
// connection and connects again, through `reconnect` when given (the program
// does it off the window's thread), else at once. Then, in Chatter Mode, one draw in ten
// (a draw divisible by 10) posts the canned phrase picked by a second draw
// modulo 30 to the channel as a channel message. `client` may be null.
void SendIrcKeepAlive(IrcBotMFC* client, const IrcKeepAliveSettings& settings,
                      platform::RandomSource& random, const std::function<void()>& reconnect = {});

}  // namespace larkspan::irc
