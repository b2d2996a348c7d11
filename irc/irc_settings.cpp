#include "irc/irc_settings.h"

#include <charconv>
#include <optional>

#include "irc/irc_lines.h"
#include "platform/background_worker.h"
#include "platform/text.h"
#include "schedule/control_text.h"

namespace larkspan::irc {
namespace {

using platform::FieldText;

std::optional<std::uint8_t> ParseColour(std::string_view text) {
  int value = -1;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < 0 ||
      value > 255)
    return std::nullopt;
  return static_cast<std::uint8_t>(value);
}

}  // namespace

IrcClientSettings ClientSettingsOf(const schedule::ProfileSettings& s) {
  return {.serverName = FieldText(s.ircServer),
          .nickname = FieldText(s.ircNickname),
          .channel = FieldText(s.ircChannel),
          .userId = FieldText(s.ircUserId),
          .textColour = s.ircTextColour,
          .backgroundColour = s.ircBackgroundColour};
}

IrcSettingsForm IrcSettingsFormOf(const schedule::ProfileSettings& s) {
  return {.serverName = std::string(FieldText(s.ircServer)),
          .nickname = std::string(FieldText(s.ircNickname)),
          .channel = std::string(FieldText(s.ircChannel)),
          .userId = std::string(FieldText(s.ircUserId)),
          .autoPosting = s.ircAutoPost != 0,
          .chatterMode = s.chatterMode != 0,
          .updateTopic = s.ircUpdateTopic != 0,
          .textColour = std::to_string(s.ircTextColour),
          .backgroundColour = std::to_string(s.ircBackgroundColour)};
}

bool StoreIrcSettings(const IrcSettingsForm& form, schedule::ProfileSettings& s) {
  const auto text = ParseColour(form.textColour);
  const auto background = ParseColour(form.backgroundColour);
  if (!text || !background) return false;
  schedule::CopyControlText(s.ircServer, form.serverName);
  schedule::CopyControlText(s.ircNickname, form.nickname);
  schedule::CopyControlText(s.ircChannel, form.channel);
  schedule::CopyControlText(s.ircUserId, form.userId);
  s.ircAutoPost = form.autoPosting ? 1 : 0;
  s.chatterMode = form.chatterMode ? 1 : 0;
  s.ircTextColour = *text;
  s.ircBackgroundColour = *background;
  s.ircUpdateTopic = form.updateTopic ? 1 : 0;
  return true;
}

void ApplyIrcSettings(IrcBotMFC& client, const schedule::ProfileSettings& settings,
                      platform::BackgroundWorker& work) {
  work.post([&client, settings] {
    client.Quit();
    client.SetSettings(ClientSettingsOf(settings));
    if (settings.ircAutoPost != 0) client.Connect();
  });
}

void SendChatLine(IrcBotMFC& client, std::string_view typed, platform::BackgroundWorker& work) {
  work.post([&client, line = ChatLine(typed)] {
    if (client.SendRaw(line) != 0) return;
    client.Close();
    client.Connect();
  });
}

}  // namespace larkspan::irc
