#pragma once

#include <QDialog>
#include <array>

#include "monitor/ignore_options.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;

namespace larkspan::gui {

// "Advanced Monitor Mountpoint Options": the ignore-time rows, the names and
// the extensions of the editor's working copy. "Close" writes them back into
// it; "Cancel" (or Escape) leaves it as it was.
class MountpointDlg final : public QDialog {
  Q_OBJECT
 public:
  MountpointDlg(std::array<schedule::IgnoreTimeRow, schedule::kIgnoreTimeRows>& rows,
                monitor::IgnoreSlots& slots, QWidget* parent = nullptr);

 protected:
  void accept() override;

 private:
  struct RowControls {
    QCheckBox* enabled;
    QSpinBox* startHour;
    QSpinBox* startMinute;
    QSpinBox* endHour;
    QSpinBox* endMinute;
    QComboBox* day;
  };

  std::array<schedule::IgnoreTimeRow, schedule::kIgnoreTimeRows>& rows_;
  monitor::IgnoreSlots& slots_;
  std::array<RowControls, schedule::kIgnoreTimeRows> rowControls_{};
  QLineEdit* mountpoints_ = nullptr;
  QLineEdit* extensions_ = nullptr;
};

}  // namespace larkspan::gui
