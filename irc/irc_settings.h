#pragma once

#include <string>
#include <string_view>

#include "irc/irc_bot_mfc.h"
#include "schedule/profile_settings.h"

namespace larkspan::platform {
class BackgroundWorker;
}

namespace larkspan::irc {

// The client's settings as the profile holds them.
IrcClientSettings ClientSettingsOf(const schedule::ProfileSettings& settings);

// What the "IRC Settings" window shows and the user types: texts as typed
// (UTF-8), the colours as the text of their boxes.
struct IrcSettingsForm {
  std::string serverName;
  std::string nickname;
  std::string channel;
  std::string userId;
  bool autoPosting = false;
  bool chatterMode = false;
  bool updateTopic = false;
  std::string textColour;
  std::string backgroundColour;
};

// The refusal of a colour that is not a whole number from 0 to 255.
inline constexpr const char* kColourRangeMessage = "Please enter an integer between 0 and 255.";

IrcSettingsForm IrcSettingsFormOf(const schedule::ProfileSettings& settings);

// Stores the form into the settings, each text cut to its field (server name
// 31 bytes, nickname 15, channel 23, user ID 15). False, and nothing stored,
// when a colour is refused.
bool StoreIrcSettings(const IrcSettingsForm& form, schedule::ProfileSettings& settings);

// The client's part of accepting the IRC settings, run in order on `work`'s
// thread so that a slow server never holds up the caller: QUIT on whatever
// connection there is, the new settings, and, with auto-posting on, a new
// registration.
void ApplyIrcSettings(IrcBotMFC& client, const schedule::ProfileSettings& settings,
                      platform::BackgroundWorker& work);

// Sends a line typed into the chat window as it is, on `work`'s thread after
// whatever IRC work is queued. When the send reports 0 bytes, the connection
// is closed and made again.
void SendChatLine(IrcBotMFC& client, std::string_view typed, platform::BackgroundWorker& work);

}  // namespace larkspan::irc
