#pragma once

#include <QDialog>
#include <QTimer>
#include <filesystem>
#include <vector>

#include "platform/prompter.h"
#include "schedule/profile.h"

class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace larkspan::gui {

class ScheduleDlg;

// "Schedule": the user's entries, four lines each, and the owner of the
// "Scheduler" editor. A one-second timer rebuilds the list when the editor
// has changed the schedule and disposes of the editor once it is closed.
// Closing the list disposes of an open editor without storing its form.
class ViewScheduleDlg final : public QDialog {
  Q_OBJECT
 public:
  ViewScheduleDlg(schedule::Profile& profile, platform::Prompter& prompter,
                  std::filesystem::path startupDirectory, QWidget* parent);
  ~ViewScheduleDlg() override;

  QListWidget* list() const { return list_; }
  ScheduleDlg* editor() const { return editor_; }
  // The timer's work.
  void checkEditor();

 protected:
  void showEvent(QShowEvent* event) override;
  void done(int result) override;

 private:
  void rebuild();
  void schedulerClicked();
  void lineDoubleClicked(QListWidgetItem* item);
  void openEditor(std::optional<std::size_t> index);
  void disposeEditor();

  schedule::Profile& profile_;
  platform::Prompter& prompter_;
  std::filesystem::path startupDirectory_;
  QListWidget* list_;
  QPushButton* scheduler_;
  QTimer timer_;
  std::vector<std::size_t> order_;
  ScheduleDlg* editor_ = nullptr;  // a child; disposed of, never deleted directly
  bool built_ = false;
};

}  // namespace larkspan::gui
