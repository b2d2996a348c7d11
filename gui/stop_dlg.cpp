#include "gui/stop_dlg.h"

#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace larkspan::gui {

bool StopDlg::stopInProgress_ = false;

StopDlg::StopDlg(schedule::Profile& profile, recording::JobTable& jobTable,
                 platform::Prompter& prompter, platform::Clock& clock, QWidget* parent)
    : QDialog(parent),
      profile_(profile),
      jobTable_(jobTable),
      prompter_(prompter),
      clock_(clock),
      list_(new QListWidget(this)) {
  setWindowTitle(QStringLiteral("Stop Recording"));
  setModal(false);
  auto* caption =
      new QLabel(QStringLiteral("Select a recording to stop (double-click to select):"), this);
  caption->setBuddy(list_);
  list_->setAccessibleName(caption->text());
  auto* buttons = new QDialogButtonBox(this);
  QPushButton* close = buttons->addButton(QStringLiteral("Close"), QDialogButtonBox::RejectRole);
  close->setAutoDefault(false);
  connect(buttons, &QDialogButtonBox::rejected, this, &StopDlg::reject);
  connect(list_, &QListWidget::itemActivated, this, &StopDlg::stopPicked);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(caption);
  layout->addWidget(list_, 1);
  layout->addWidget(buttons);
  resize(380, 300);

  refreshTimer_.setInterval(1500);
  connect(&refreshTimer_, &QTimer::timeout, this, &StopDlg::refreshTick);
  refreshTimer_.start();
}

void StopDlg::fill() {
  filling_ = true;
  rows_ = schedule::ListStoppableRecordings(profile_, jobTable_);
  showRows();
  filling_ = false;
}

void StopDlg::showRows() {
  list_->clear();
  for (std::size_t i = 0; i < rows_.size(); ++i)
    list_->addItem(QString::fromStdString(schedule::StopRowText(i, rows_[i])));
}

void StopDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!painted_) {
    painted_ = true;
    fill();
  }
}

void StopDlg::refreshTick() {
  // The selection follows the position, not the recording.
  const int selected = list_->currentRow();
  fill();
  if (selected >= 0 && selected < list_->count()) list_->setCurrentRow(selected);
}

void StopDlg::stopPicked() {
  if (stopInProgress_ || filling_) return;
  const int picked = list_->currentRow();
  if (picked < 0) return;
  stopInProgress_ = true;
  const std::vector<schedule::StopRow> shown = rows_;
  const std::optional<schedule::StopRow> row =
      schedule::RowToStop(rows_, static_cast<std::size_t>(picked), profile_, jobTable_, prompter_);
  // RowToStop may have filled the list again: show what it found.
  if (rows_ != shown) showRows();
  if (row) schedule::StopRecordingOfRow(*row, profile_, jobTable_, prompter_, clock_.localNow());
  refreshTick();
  stopInProgress_ = false;
}

void StopDlg::markClosed() {
  closed_ = true;
  refreshTimer_.stop();
}

void StopDlg::reject() {
  markClosed();
  hide();
}

void StopDlg::closeEvent(QCloseEvent* event) {
  markClosed();
  event->accept();
}

}  // namespace larkspan::gui
