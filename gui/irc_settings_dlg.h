#pragma once

#include <QDialog>

#include "platform/prompter.h"
#include "schedule/profile_settings.h"

class QCheckBox;
class QLineEdit;

namespace larkspan::gui {

// "IRC Settings", modal: the IRC server, nickname, channel and user ID, the
// posting switches and the text colour. "OK" stores them into the settings
// (a colour other than a whole number from 0 to 255 is refused and the
// window stays open); "Cancel" changes nothing. Saving the profile and
// handing the settings to the IRC client is the caller's, after "OK".
class IRCSettingsDlg final : public QDialog {
  Q_OBJECT
 public:
  IRCSettingsDlg(schedule::ProfileSettings& settings, platform::Prompter& prompter,
                 QWidget* parent = nullptr);

  void accept() override;

 private:
  schedule::ProfileSettings& settings_;
  platform::Prompter& prompter_;
  QLineEdit* serverName_;
  QLineEdit* nickname_;
  QLineEdit* channel_;
  QLineEdit* userId_;
  QCheckBox* autoPosting_;
  QCheckBox* chatterMode_;
  QCheckBox* updateTopic_;
  QLineEdit* textColour_;
  // Kept with the settings but not shown: no message uses it.
  QLineEdit* backgroundColour_;
};

}  // namespace larkspan::gui
