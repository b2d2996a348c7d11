#include "irc/keep_alive.h"

#include <string_view>

#include "irc/chatter_phrases.h"
#include "irc/irc_bot_mfc.h"
#include "irc/irc_lines.h"
#include "platform/random_source.h"
#include "platform/text.h"

namespace larkspan::irc {

void SendIrcKeepAlive(IrcBotMFC* client, const IrcKeepAliveSettings& settings,
                      platform::RandomSource& random, const std::function<void()>& reconnect) {
  if (!settings.autoPosting || client == nullptr) return;

  // The client reports 0 bytes when it has no live connection: none was
  // made, the server has dropped it, or a send failed.
  if (client->SendRaw(kKeepAliveLine) == 0) {
    if (reconnect) {
      reconnect();
    } else {
      client->Close();
      client->Connect();
    }
  }

  if (!settings.chatterMode) return;
  if (random.next() % 10 != 0) return;
  const auto& row = ChatterPhrases[static_cast<unsigned>(random.next()) % kChatterPhraseCount];
  // A row sent as it is would reach the server as an unknown command and
  // never show in the channel, so its sentence is posted as a channel
  // message, without the row's own line end.
  std::string_view sentence = platform::FieldText(row);
  if (sentence.ends_with("\r\n")) sentence.remove_suffix(2);
  client->Say(sentence);
}

}  // namespace larkspan::irc
