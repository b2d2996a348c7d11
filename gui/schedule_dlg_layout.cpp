// The "Scheduler" form: what to record and when at the top, what to do with
// the recording and what to watch in two groups, the entry buttons below.

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "gui/form_controls.h"
#include "gui/schedule_dlg.h"

namespace larkspan::gui {
namespace {

// An hour box and a minute box with a colon between them, after a label.
void TimeRow(const QString& label, QSpinBox* hour, QSpinBox* minute, QWidget* parent,
             QHBoxLayout* row) {
  auto* text = new QLabel(label, parent);
  text->setBuddy(hour);
  const QString name = QString(label).remove(QLatin1Char(':'));
  hour->setAccessibleName(name + QStringLiteral(" hour"));
  minute->setAccessibleName(name + QStringLiteral(" minute"));
  row->addWidget(text);
  row->addWidget(hour);
  row->addWidget(new QLabel(QStringLiteral(":"), parent));
  row->addWidget(minute);
}

}  // namespace

void ScheduleDlg::buildControls() {
  programName_ = new QLineEdit(this);
  url_ = new QLineEdit(this);
  startHour_ = new TimeBox(23, QString(), this);
  startMinute_ = new TimeBox(59, QString(), this);
  endHour_ = new TimeBox(23, QString(), this);
  endMinute_ = new TimeBox(59, QString(), this);
  const QString dayNames[] = {QStringLiteral("Sunday"),   QStringLiteral("Monday"),
                              QStringLiteral("Tuesday"),  QStringLiteral("Wednesday"),
                              QStringLiteral("Thursday"), QStringLiteral("Friday"),
                              QStringLiteral("Saturday")};
  for (std::size_t day = 0; day < days_.size(); ++day)
    days_[day] = new QCheckBox(dayNames[day], this);
  oneTime_ = new QRadioButton(QStringLiteral("One time"), this);
  repeating_ = new QRadioButton(QStringLiteral("Repeating"), this);
  auto* once = new QButtonGroup(this);
  once->addButton(oneTime_);
  once->addButton(repeating_);
  shoutcast_ = new QCheckBox(QStringLiteral("Shoutcast"), this);

  auto* top = new QGridLayout;
  top->addWidget(LabelFor(QStringLiteral("Program:"), programName_, this), 0, 0);
  top->addWidget(programName_, 0, 1);
  top->addWidget(LabelFor(QStringLiteral("Stream URL:"), url_, this), 1, 0);
  top->addWidget(url_, 1, 1);
  auto* startLabel = new QLabel(QStringLiteral("Start Time:"), this);
  startLabel->setBuddy(startHour_);
  startHour_->setAccessibleName(QStringLiteral("Start Time hour"));
  startMinute_->setAccessibleName(QStringLiteral("Start Time minute"));
  auto* times = new QHBoxLayout;
  times->addWidget(startHour_);
  times->addWidget(new QLabel(QStringLiteral(":"), this));
  times->addWidget(startMinute_);
  times->addSpacing(24);
  TimeRow(QStringLiteral("End Time:"), endHour_, endMinute_, this, times);
  times->addStretch();
  top->addWidget(startLabel, 2, 0);
  top->addLayout(times, 2, 1);
  auto* dayLabel = new QLabel(QStringLiteral("Day:"), this);
  dayLabel->setBuddy(days_[0]);
  auto* dayRow = new QHBoxLayout;
  for (QCheckBox* box : days_) dayRow->addWidget(box);
  dayRow->addStretch();
  top->addWidget(dayLabel, 3, 0);
  top->addLayout(dayRow, 3, 1);
  auto* kind = new QHBoxLayout;
  kind->addWidget(oneTime_);
  kind->addWidget(repeating_);
  kind->addSpacing(24);
  kind->addWidget(shoutcast_);
  kind->addStretch();
  top->addLayout(kind, 4, 1);
  top->setColumnStretch(1, 1);

  auto* afterGroup = new QGroupBox(QStringLiteral("After recording"), this);
  convert_ = new QCheckBox(QStringLiteral("Convert after recording:"), afterGroup);
  bitrate_ = new QComboBox(afterGroup);
  bitrate_->addItems({QStringLiteral("128"), QStringLiteral("96"), QStringLiteral("64"),
                      QStringLiteral("48"), QStringLiteral("32"), QStringLiteral("16"),
                      QStringLiteral("8")});
  bitrate_->setAccessibleName(QStringLiteral("Bitrate"));
  deleteOriginal_ = new QCheckBox(QStringLiteral("Delete original recording"), afterGroup);
  auto* after = new QHBoxLayout(afterGroup);
  after->addWidget(convert_);
  after->addWidget(bitrate_);
  after->addWidget(new QLabel(QStringLiteral("kbps"), afterGroup));
  after->addSpacing(24);
  after->addWidget(deleteOriginal_);
  after->addStretch();

  auto* watchGroup = new QGroupBox(QStringLiteral("Monitoring"), this);
  deleteWhenDone_ =
      new QCheckBox(QStringLiteral("Delete this mountpoint when recording ends"), watchGroup);
  monitorMountpoint_ = new QCheckBox(QStringLiteral("Monitor Mountpoint Continuously"), watchGroup);
  advanced_ = FormButton(QStringLiteral("Advanced Mountpoint Options"), watchGroup);
  monitorServer_ = new QCheckBox(QStringLiteral("Monitor Server at Level:"), watchGroup);
  level_ = new QComboBox(watchGroup);
  level_->setEditable(true);
  level_->setInsertPolicy(QComboBox::InsertAlphabetically);
  level_->addItems(
      {QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("5")});
  level_->setAccessibleName(QStringLiteral("Level"));
  timeout_ = new QSpinBox(watchGroup);
  timeout_->setRange(0, schedule::kMaxTimeout);
  timeout_->setAlignment(Qt::AlignRight);
  auto* watch = new QGridLayout(watchGroup);
  watch->addWidget(deleteWhenDone_, 0, 0, 1, 3);
  watch->addWidget(monitorMountpoint_, 1, 0);
  watch->addWidget(advanced_, 1, 1, 1, 2, Qt::AlignLeft);
  watch->addWidget(monitorServer_, 2, 0);
  watch->addWidget(level_, 2, 1, Qt::AlignLeft);
  watch->addWidget(LabelFor(QStringLiteral("Timeout (in sec):"), timeout_, watchGroup), 3, 0);
  watch->addWidget(timeout_, 3, 1, Qt::AlignLeft);
  watch->setColumnStretch(2, 1);

  back_ = FormButton(QStringLiteral("<<"), this);
  back_->setAccessibleName(QStringLiteral("Previous entry"));
  forward_ = FormButton(QStringLiteral(">>"), this);
  forward_->setAccessibleName(QStringLiteral("Next entry"));
  append_ = FormButton(QStringLiteral("Append to End Of Schedule"), this);
  edit_ = FormButton(QStringLiteral("Edit Current Entry"), this);
  delete_ = FormButton(QStringLiteral("Delete Current Entry"), this);
  auto* entryButtons = new QHBoxLayout;
  entryButtons->addWidget(back_);
  entryButtons->addWidget(forward_);
  entryButtons->addStretch();
  entryButtons->addWidget(append_);
  entryButtons->addWidget(edit_);
  entryButtons->addWidget(delete_);

  auto* line = new QFrame(this);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  auto* closing = new QDialogButtonBox(this);
  close_ = closing->addButton(QStringLiteral("Close"), QDialogButtonBox::ActionRole);
  close_->setDefault(true);
  cancel_ = closing->addButton(QStringLiteral("Cancel"), QDialogButtonBox::ActionRole);
  cancel_->setAutoDefault(false);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(afterGroup);
  layout->addWidget(watchGroup);
  layout->addLayout(entryButtons);
  layout->addWidget(line);
  layout->addWidget(closing);
  layout->setSizeConstraint(QLayout::SetMinimumSize);

  QList<QWidget*> order = {programName_, url_, startHour_, startMinute_, endHour_, endMinute_};
  for (QCheckBox* box : days_) order << box;
  order << oneTime_ << repeating_ << shoutcast_ << convert_ << bitrate_ << deleteOriginal_
        << deleteWhenDone_ << monitorMountpoint_ << advanced_ << monitorServer_ << level_
        << timeout_ << back_ << forward_ << append_ << edit_ << delete_ << close_ << cancel_;
  for (qsizetype i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

}  // namespace larkspan::gui
