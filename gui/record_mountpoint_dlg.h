#pragma once

#include <QDialog>

#include "monitor/record_mountpoint_dialog.h"
#include "platform/prompter.h"

class QButtonGroup;
class QLineEdit;
class QRadioButton;

namespace larkspan::gui {

// "Record New Mountpoint Options": how to record a mountpoint the server
// monitor has found (monitor it, record it until it disconnects, or record
// it today between two times). The monitor tick makes one per tick and asks
// every question of that tick through it. "OK" refuses a time out of range
// and stays open on that field.
class RecordMountpointDlg final : public QDialog, public monitor::RecordMountpointDialog {
  Q_OBJECT
 public:
  explicit RecordMountpointDlg(platform::Prompter& prompter, QWidget* parent = nullptr);

  // monitor::RecordMountpointDialog.
  bool exec(monitor::RecordMountpointValues& values) override;
  using QDialog::exec;

  void accept() override;

 private:
  void display(const monitor::RecordMountpointValues& values);

  platform::Prompter& prompter_;
  QButtonGroup* choices_;
  QRadioButton* monitorContinuously_;
  QRadioButton* untilDisconnect_;
  QRadioButton* recordFrom_;
  QLineEdit* times_[4];
  monitor::RecordMountpointValues confirmed_;
};

}  // namespace larkspan::gui
