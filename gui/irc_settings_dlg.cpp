#include "gui/irc_settings_dlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "gui/window_text.h"
#include "irc/irc_settings.h"

namespace larkspan::gui {
namespace {

QLineEdit* TextBox(QFormLayout* form, const QString& label, const QString& text, QWidget* parent) {
  auto* box = new QLineEdit(text, parent);
  box->setAccessibleName(QString(label).remove(QLatin1Char(':')));
  auto* caption = new QLabel(label, parent);
  caption->setBuddy(box);
  form->addRow(caption, box);
  return box;
}

}  // namespace

IRCSettingsDlg::IRCSettingsDlg(schedule::ProfileSettings& settings, platform::Prompter& prompter,
                               QWidget* parent)
    : QDialog(parent), settings_(settings), prompter_(prompter) {
  setWindowTitle(QStringLiteral("IRC Settings"));
  const irc::IrcSettingsForm values = irc::IrcSettingsFormOf(settings_);
  auto* form = new QFormLayout;
  serverName_ = TextBox(form, QStringLiteral("Server name:"), FromStored(values.serverName), this);
  nickname_ = TextBox(form, QStringLiteral("Nickname:"), FromStored(values.nickname), this);
  channel_ = TextBox(form, QStringLiteral("Channel:"), FromStored(values.channel), this);
  userId_ = TextBox(form, QStringLiteral("User ID:"), FromStored(values.userId), this);
  autoPosting_ = new QCheckBox(QStringLiteral("Enable IRC Auto-Posting"), this);
  chatterMode_ = new QCheckBox(QStringLiteral("Chatter Mode"), this);
  updateTopic_ = new QCheckBox(QStringLiteral("Update Topic"), this);
  autoPosting_->setChecked(values.autoPosting);
  chatterMode_->setChecked(values.chatterMode);
  updateTopic_->setChecked(values.updateTopic);
  for (QCheckBox* box : {autoPosting_, chatterMode_, updateTopic_}) form->addRow(QString(), box);
  textColour_ =
      TextBox(form, QStringLiteral("Text Color:"), QString::fromStdString(values.textColour), this);
  textColour_->setMaxLength(3);
  textColour_->setMaximumWidth(
      textColour_->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 16);
  backgroundColour_ = TextBox(form, QStringLiteral("Background color:"),
                              QString::fromStdString(values.backgroundColour), this);
  form->setRowVisible(backgroundColour_, false);
  for (QLineEdit* box : {serverName_, nickname_, channel_, userId_})
    box->setMinimumWidth(box->fontMetrics().horizontalAdvance(QLatin1Char('x')) * 32);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

void IRCSettingsDlg::accept() {
  const irc::IrcSettingsForm values{.serverName = ToUtf8(serverName_->text()),
                                    .nickname = ToUtf8(nickname_->text()),
                                    .channel = ToUtf8(channel_->text()),
                                    .userId = ToUtf8(userId_->text()),
                                    .autoPosting = autoPosting_->isChecked(),
                                    .chatterMode = chatterMode_->isChecked(),
                                    .updateTopic = updateTopic_->isChecked(),
                                    .textColour = ToUtf8(textColour_->text()),
                                    .backgroundColour = ToUtf8(backgroundColour_->text())};
  if (!irc::StoreIrcSettings(values, settings_)) {
    prompter_.warning(irc::kColourRangeMessage);
    textColour_->setFocus();
    textColour_->selectAll();
    return;
  }
  QDialog::accept();
}

}  // namespace larkspan::gui
