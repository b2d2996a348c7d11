#include "gui/irc_chat_dlg.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "gui/window_text.h"
#include "irc/irc_settings.h"

namespace larkspan::gui {

IRCChatDlg::IRCChatDlg(irc::IrcBotMFC& client, platform::BackgroundWorker& work, QWidget* parent)
    : QDialog(parent), client_(client), work_(work) {
  setWindowTitle(QStringLiteral("IRC Chat Window"));
  text_ = new QLineEdit(this);
  text_->setAccessibleName(QStringLiteral("IRC line"));
  text_->setPlaceholderText(QStringLiteral("PRIVMSG #channel :text"));
  text_->setMinimumWidth(text_->fontMetrics().horizontalAdvance(QLatin1Char('x')) * 48);
  auto* label = new QLabel(QStringLiteral("IRC line:"), this);
  label->setBuddy(text_);
  // Enter in the box sends; only "OK" closes.
  auto* enter = new QPushButton(QStringLiteral("Enter"), this);
  enter->setDefault(true);
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setAutoDefault(false);
  connect(enter, &QPushButton::clicked, this, &IRCChatDlg::send);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  auto* grid = new QGridLayout(this);
  grid->addWidget(label, 0, 0);
  grid->addWidget(text_, 0, 1);
  grid->addWidget(enter, 0, 2);
  grid->addWidget(ok, 1, 2);
  grid->setColumnStretch(1, 1);
}

void IRCChatDlg::send() {
  irc::SendChatLine(client_, ToUtf8(text_->text()), work_);
}

}  // namespace larkspan::gui
