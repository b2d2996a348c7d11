#include "gui/schedule_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include "gui/mountpoint_dlg.h"
#include "gui/window_text.h"

namespace larkspan::gui {

ScheduleDlg::ScheduleDlg(schedule::Profile& profile, platform::Prompter& prompter,
                         const std::filesystem::path& startupDirectory,
                         std::optional<std::size_t> index, QWidget* parent)
    : QDialog(parent), editor_(profile, prompter, startupDirectory) {
  setWindowTitle(QStringLiteral("Scheduler"));
  setModal(false);
  buildControls();
  connectControls();
  editor_.open(index);
  formToControls();
  applyEnabling();
}

void ScheduleDlg::connectControls() {
  for (QSpinBox* box : {startHour_, startMinute_, endHour_, endMinute_, timeout_})
    connect(box, &QSpinBox::valueChanged, this, &ScheduleDlg::userChanged);
  for (QLineEdit* box : {programName_, url_})
    connect(box, &QLineEdit::textEdited, this, &ScheduleDlg::userChanged);
  for (QCheckBox* box : days_) connect(box, &QCheckBox::clicked, this, &ScheduleDlg::userChanged);
  for (QAbstractButton* box : std::initializer_list<QAbstractButton*>{
           oneTime_, repeating_, shoutcast_, convert_, deleteOriginal_, deleteWhenDone_,
           monitorMountpoint_, monitorServer_})
    connect(box, &QAbstractButton::clicked, this, &ScheduleDlg::userChanged);
  connect(bitrate_, &QComboBox::activated, this, &ScheduleDlg::userChanged);

  connect(back_, &QPushButton::clicked, this, [this] { act([this] { editor_.stepBack(); }); });
  connect(forward_, &QPushButton::clicked, this,
          [this] { act([this] { editor_.stepForward(); }); });
  connect(append_, &QPushButton::clicked, this, [this] { act([this] { editor_.append(); }); });
  connect(edit_, &QPushButton::clicked, this, [this] { act([this] { editor_.editCurrent(); }); });
  connect(delete_, &QPushButton::clicked, this,
          [this] { act([this] { editor_.deleteCurrent(); }); });
  connect(advanced_, &QPushButton::clicked, this, &ScheduleDlg::openAdvanced);
  connect(close_, &QPushButton::clicked, this, &ScheduleDlg::accept);
  connect(cancel_, &QPushButton::clicked, this, &ScheduleDlg::reject);
}

template <typename Work>
void ScheduleDlg::act(Work work) {
  if (disposed_ || editor_.closed()) return;
  ++busy_;
  controlsToForm();
  work();
  formToControls();
  applyEnabling();
  --busy_;
  if (editor_.closed()) hide();
  if (disposed_ && busy_ == 0) deleteLater();
}

void ScheduleDlg::dispose() {
  if (disposed_) return;
  disposed_ = true;
  hide();
  if (busy_ == 0) deleteLater();
}

void ScheduleDlg::showEntry(std::optional<std::size_t> index) {
  act([this, index] { editor_.showEntry(index); });
  show();
  raise();
}

void ScheduleDlg::accept() {
  act([this] { editor_.close(); });
}

void ScheduleDlg::reject() {
  act([this] { editor_.cancel(); });
}

void ScheduleDlg::userChanged() {
  if (loading_) return;
  controlsToForm();
  editor_.markModified();
  applyEnabling();
}

void ScheduleDlg::openAdvanced() {
  act([this] {
    schedule::ScheduleForm& form = editor_.form();
    MountpointDlg advanced(form.ignoreTimes, form.ignore, this);
    advanced.exec();
  });
}

void ScheduleDlg::controlsToForm() {
  schedule::ScheduleForm& f = editor_.form();
  f.startHour = startHour_->value();
  f.startMinute = startMinute_->value();
  f.endHour = endHour_->value();
  f.endMinute = endMinute_->value();
  for (std::size_t day = 0; day < days_.size(); ++day) f.days[day] = days_[day]->isChecked();
  f.repeating = repeating_->isChecked();
  f.shoutcast = shoutcast_->isChecked();
  f.programName = ToUtf8(programName_->text());
  f.url = ToUtf8(url_->text());
  f.convert = convert_->isChecked();
  f.bitrate = ToUtf8(bitrate_->currentText());
  f.deleteOriginal = deleteOriginal_->isChecked();
  f.deleteWhenDone = deleteWhenDone_->isChecked();
  f.monitorMountpoint = monitorMountpoint_->isChecked();
  f.monitorServer = monitorServer_->isChecked();
  f.level = ToUtf8(level_->currentText());
  f.timeout = timeout_->value();
}

void ScheduleDlg::formToControls() {
  loading_ = true;
  const schedule::ScheduleForm& f = editor_.form();
  startHour_->setValue(f.startHour);
  startMinute_->setValue(f.startMinute);
  endHour_->setValue(f.endHour);
  endMinute_->setValue(f.endMinute);
  for (std::size_t day = 0; day < days_.size(); ++day) days_[day]->setChecked(f.days[day]);
  (f.repeating ? repeating_ : oneTime_)->setChecked(true);
  shoutcast_->setChecked(f.shoutcast);
  programName_->setText(FromStored(f.programName));
  url_->setText(FromStored(f.url));
  convert_->setChecked(f.convert);
  bitrate_->setCurrentText(FromStored(f.bitrate));
  deleteOriginal_->setChecked(f.deleteOriginal);
  deleteWhenDone_->setChecked(f.deleteWhenDone);
  monitorMountpoint_->setChecked(f.monitorMountpoint);
  monitorServer_->setChecked(f.monitorServer);
  level_->setCurrentText(FromStored(f.level));
  timeout_->setValue(f.timeout);
  loading_ = false;
}

void ScheduleDlg::applyEnabling() {
  const schedule::EnabledControls enabled = schedule::EnabledFor(editor_.form());
  for (QWidget* w : {static_cast<QWidget*>(startHour_), static_cast<QWidget*>(startMinute_),
                     static_cast<QWidget*>(endHour_), static_cast<QWidget*>(endMinute_),
                     static_cast<QWidget*>(oneTime_), static_cast<QWidget*>(repeating_)})
    w->setEnabled(enabled.timesAndDays);
  for (QCheckBox* box : days_) box->setEnabled(enabled.timesAndDays);
  programName_->setEnabled(enabled.program);
}

}  // namespace larkspan::gui
