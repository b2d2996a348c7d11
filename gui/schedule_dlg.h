#pragma once

#include <QDialog>
#include <array>
#include <filesystem>
#include <optional>

#include "platform/prompter.h"
#include "schedule/schedule_editor.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace larkspan::gui {

// "Scheduler": the schedule editor's form, modeless under the schedule list,
// which disposes of it once it is closed. Enter in the form acts as "Close",
// Escape as "Cancel".
class ScheduleDlg final : public QDialog {
  Q_OBJECT
 public:
  ScheduleDlg(schedule::Profile& profile, platform::Prompter& prompter,
              const std::filesystem::path& startupDirectory, std::optional<std::size_t> index,
              QWidget* parent);

  schedule::ScheduleEditor& editor() { return editor_; }
  bool isClosed() const { return editor_.closed(); }
  // The list's double-click: stores the form, then shows `index`.
  void showEntry(std::optional<std::size_t> index);
  // Hides the window and deletes it once none of its actions is running (one
  // may be waiting for a box's answer). The caller forgets it.
  void dispose();

 protected:
  void accept() override;
  void reject() override;

 private:
  void buildControls();
  void connectControls();
  // Runs one of the editor's actions with the controls read before and
  // written after.
  template <typename Work>
  void act(Work work);
  void controlsToForm();
  void formToControls();
  void applyEnabling();
  void userChanged();
  void openAdvanced();

  schedule::ScheduleEditor editor_;
  int busy_ = 0;
  bool disposed_ = false;
  bool loading_ = false;

  QSpinBox* startHour_ = nullptr;
  QSpinBox* startMinute_ = nullptr;
  QSpinBox* endHour_ = nullptr;
  QSpinBox* endMinute_ = nullptr;
  std::array<QCheckBox*, 7> days_{};
  QRadioButton* oneTime_ = nullptr;
  QRadioButton* repeating_ = nullptr;
  QCheckBox* shoutcast_ = nullptr;
  QLineEdit* programName_ = nullptr;
  QLineEdit* url_ = nullptr;
  QCheckBox* convert_ = nullptr;
  QComboBox* bitrate_ = nullptr;
  QCheckBox* deleteOriginal_ = nullptr;
  QCheckBox* deleteWhenDone_ = nullptr;
  QCheckBox* monitorMountpoint_ = nullptr;
  QPushButton* advanced_ = nullptr;
  QCheckBox* monitorServer_ = nullptr;
  QComboBox* level_ = nullptr;
  QSpinBox* timeout_ = nullptr;
  QPushButton* back_ = nullptr;
  QPushButton* forward_ = nullptr;
  QPushButton* append_ = nullptr;
  QPushButton* delete_ = nullptr;
  QPushButton* edit_ = nullptr;
  QPushButton* close_ = nullptr;
  QPushButton* cancel_ = nullptr;
};

}  // namespace larkspan::gui
