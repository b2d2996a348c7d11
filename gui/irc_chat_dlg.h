#pragma once

#include <QDialog>

class QLineEdit;

namespace larkspan::irc {
class IrcBotMFC;
}
namespace larkspan::platform {
class BackgroundWorker;
}

namespace larkspan::gui {

// "IRC Chat Window", modal: "Enter" sends the typed text to the IRC server
// as one raw line (the user types whole IRC lines) and leaves it in the box;
// "OK" closes. Nothing the server sends is shown. The send runs on `work`'s
// thread, after the IRC work queued before it.
class IRCChatDlg final : public QDialog {
  Q_OBJECT
 public:
  IRCChatDlg(irc::IrcBotMFC& client, platform::BackgroundWorker& work, QWidget* parent = nullptr);

 private:
  void send();

  irc::IrcBotMFC& client_;
  platform::BackgroundWorker& work_;
  QLineEdit* text_;
};

}  // namespace larkspan::gui
