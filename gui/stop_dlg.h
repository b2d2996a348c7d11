#pragma once

#include <QDialog>
#include <QTimer>
#include <vector>

#include "platform/clock.h"
#include "platform/prompter.h"
#include "recording/job_table.h"
#include "schedule/profile.h"
#include "schedule/stop_list.h"

class QListWidget;

namespace larkspan::gui {

// "Stop Recording": the scheduled and monitored recordings that run, one row
// each, refreshed every 1,500 ms; a double-click (or Enter) on a row stops
// that recording for the rest of the day. Modeless. Closing it only marks it
// closed (and hides it): the main window disposes of it.
class StopDlg final : public QDialog {
  Q_OBJECT
 public:
  StopDlg(schedule::Profile& profile, recording::JobTable& jobTable, platform::Prompter& prompter,
          platform::Clock& clock, QWidget* parent = nullptr);

  bool isClosed() const { return closed_; }
  // The rows as shown, for the main window's tests and screen readers alike.
  const std::vector<schedule::StopRow>& rows() const { return rows_; }
  QListWidget* list() const { return list_; }

  // Rebuilds the list from the schedule and the job table.
  void fill();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  void refreshTick();
  // Writes rows_ to the list.
  void showRows();
  void stopPicked();
  void markClosed();

  schedule::Profile& profile_;
  recording::JobTable& jobTable_;
  platform::Prompter& prompter_;
  platform::Clock& clock_;
  QListWidget* list_;
  QTimer refreshTimer_;
  std::vector<schedule::StopRow> rows_;
  bool filling_ = false;
  bool painted_ = false;
  bool closed_ = false;
  // One stop action at a time, across stop windows: a box of one keeps the
  // timers and the user's clicks going.
  static bool stopInProgress_;
};

}  // namespace larkspan::gui
