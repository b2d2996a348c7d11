#include "gui/record_mountpoint_dlg.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

namespace larkspan::gui {
namespace {

QLineEdit* TimeBox(const QString& name, QWidget* parent) {
  auto* box = new QLineEdit(parent);
  box->setAccessibleName(name);
  box->setMaxLength(2);
  box->setAlignment(Qt::AlignRight);
  box->setFixedWidth(box->fontMetrics().horizontalAdvance(QStringLiteral("000")) + 12);
  return box;
}

// A box's number, or -1 (out of every range) when it holds none.
int Number(const QLineEdit* box) {
  bool ok = false;
  const int value = box->text().trimmed().toInt(&ok);
  return ok ? value : -1;
}

}  // namespace

RecordMountpointDlg::RecordMountpointDlg(platform::Prompter& prompter, QWidget* parent)
    : QDialog(parent), prompter_(prompter) {
  setWindowTitle(QStringLiteral("Record New Mountpoint Options"));
  monitorContinuously_ = new QRadioButton(QStringLiteral("Monitor mountpoint continuously"), this);
  untilDisconnect_ = new QRadioButton(QStringLiteral("Record mountpoint until disconnect"), this);
  recordFrom_ = new QRadioButton(QStringLiteral("Record mountpoint from:"), this);
  choices_ = new QButtonGroup(this);
  for (QRadioButton* choice : {monitorContinuously_, untilDisconnect_, recordFrom_})
    choices_->addButton(choice);
  const QString names[] = {QStringLiteral("From hour"), QStringLiteral("From minute"),
                           QStringLiteral("To hour"), QStringLiteral("To minute")};
  for (int i = 0; i < 4; ++i) times_[i] = TimeBox(names[i], this);
  auto* to = new QLabel(QStringLiteral("To"), this);
  to->setBuddy(times_[2]);

  auto* fromRow = new QHBoxLayout;
  fromRow->addWidget(recordFrom_);
  fromRow->addWidget(times_[0]);
  fromRow->addWidget(new QLabel(QStringLiteral(":"), this));
  fromRow->addWidget(times_[1]);
  fromRow->addWidget(to);
  fromRow->addWidget(times_[2]);
  fromRow->addWidget(new QLabel(QStringLiteral(":"), this));
  fromRow->addWidget(times_[3]);
  fromRow->addStretch();

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(monitorContinuously_);
  layout->addWidget(untilDisconnect_);
  layout->addLayout(fromRow);
  layout->addWidget(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

void RecordMountpointDlg::display(const monitor::RecordMountpointValues& values) {
  // None chosen is a state of its own, which an exclusive group cannot show.
  choices_->setExclusive(false);
  monitorContinuously_->setChecked(values.monitorContinuously);
  untilDisconnect_->setChecked(values.recordUntilDisconnect && !values.monitorContinuously);
  recordFrom_->setChecked(values.recordFrom && !values.monitorContinuously &&
                          !values.recordUntilDisconnect);
  choices_->setExclusive(true);
  const int numbers[] = {values.fromHour, values.fromMinute, values.toHour, values.toMinute};
  for (int i = 0; i < 4; ++i) times_[i]->setText(QString::number(numbers[i]));
}

bool RecordMountpointDlg::exec(monitor::RecordMountpointValues& values) {
  display(values);
  monitorContinuously_->setFocus();
  if (QDialog::exec() != QDialog::Accepted) return false;
  values = confirmed_;
  return true;
}

void RecordMountpointDlg::accept() {
  // The choices count as they are on screen.
  const monitor::RecordMountpointValues values{
      .monitorContinuously = monitorContinuously_->isChecked(),
      .recordUntilDisconnect = untilDisconnect_->isChecked(),
      .recordFrom = recordFrom_->isChecked(),
      .fromHour = Number(times_[0]),
      .fromMinute = Number(times_[1]),
      .toHour = Number(times_[2]),
      .toMinute = Number(times_[3])};
  if (const auto refusal = monitor::CheckTimes(values)) {
    prompter_.warning(refusal->message);
    times_[refusal->field]->setFocus();
    times_[refusal->field]->selectAll();
    return;
  }
  confirmed_ = values;
  QDialog::accept();
}

}  // namespace larkspan::gui
