#include "gui/mountpoint_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QVBoxLayout>

#include "gui/form_controls.h"
#include "gui/window_text.h"

namespace larkspan::gui {

MountpointDlg::MountpointDlg(std::array<schedule::IgnoreTimeRow, schedule::kIgnoreTimeRows>& rows,
                             monitor::IgnoreSlots& slots, QWidget* parent)
    : QDialog(parent), rows_(rows), slots_(slots) {
  setWindowTitle(QStringLiteral("Advanced Monitor Mountpoint Options"));
  const monitor::IgnoreOptionsForm form = monitor::ShowIgnoreOptions(rows, slots);

  auto* timesGroup = new QGroupBox(QStringLiteral("Ignore mountpoint at specified times"), this);
  auto* times = new QGridLayout(timesGroup);
  QList<QWidget*> order;
  for (std::size_t i = 0; i < rowControls_.size(); ++i) {
    const int row = static_cast<int>(i);
    const QString name = QStringLiteral("Ignore Time %1").arg(row + 1);
    RowControls& c = rowControls_[i];
    c.enabled = new QCheckBox(name, timesGroup);
    c.startHour = new TimeBox(23, name + QStringLiteral(" start hour"), timesGroup);
    c.startMinute = new TimeBox(59, name + QStringLiteral(" start minute"), timesGroup);
    c.endHour = new TimeBox(23, name + QStringLiteral(" end hour"), timesGroup);
    c.endMinute = new TimeBox(59, name + QStringLiteral(" end minute"), timesGroup);
    c.day = new QComboBox(timesGroup);
    c.day->setEditable(true);
    c.day->setInsertPolicy(QComboBox::NoInsert);
    c.day->addItems({QStringLiteral("Sunday"), QStringLiteral("Monday"), QStringLiteral("Tuesday"),
                     QStringLiteral("Wednesday"), QStringLiteral("Thursday"),
                     QStringLiteral("Friday"), QStringLiteral("Saturday")});
    c.day->lineEdit()->setMaxLength(static_cast<int>(monitor::kIgnoreDayTextLimit));
    c.day->setAccessibleName(name + QStringLiteral(" day"));

    const auto& shown = form.rows[i];
    c.enabled->setChecked(shown.enabled);
    c.startHour->setValue(shown.startHour);
    c.startMinute->setValue(shown.startMinute);
    c.endHour->setValue(shown.endHour);
    c.endMinute->setValue(shown.endMinute);
    c.day->setCurrentText(FromStored(shown.day));

    int column = 0;
    times->addWidget(c.enabled, row, column++);
    for (auto [label, hour, minute] :
         {std::tuple{QStringLiteral("Start Time:"), c.startHour, c.startMinute},
          std::tuple{QStringLiteral("End Time:"), c.endHour, c.endMinute}}) {
      auto* text = new QLabel(label, timesGroup);
      text->setBuddy(hour);
      times->addWidget(text, row, column++, Qt::AlignRight);
      times->addWidget(hour, row, column++);
      times->addWidget(new QLabel(QStringLiteral(":"), timesGroup), row, column++);
      times->addWidget(minute, row, column++);
    }
    auto* dayLabel = new QLabel(QStringLiteral("Day:"), timesGroup);
    dayLabel->setBuddy(c.day);
    times->addWidget(dayLabel, row, column++, Qt::AlignRight);
    times->addWidget(c.day, row, column++);
    order << c.enabled << c.startHour << c.startMinute << c.endHour << c.endMinute << c.day;
  }
  times->setColumnMinimumWidth(1, 80);

  auto* namesGroup =
      new QGroupBox(QStringLiteral("Mountpoints to ignore (for monitor server only)"), this);
  mountpoints_ = new QLineEdit(FromStored(form.mountpoints), namesGroup);
  extensions_ = new QLineEdit(FromStored(form.extensions), namesGroup);
  auto* names = new QFormLayout(namesGroup);
  names->addRow(LabelFor(QStringLiteral("Ignore mountpoints:"), mountpoints_, namesGroup),
                mountpoints_);
  names->addRow(LabelFor(QStringLiteral("Ignore File Extensions:"), extensions_, namesGroup),
                extensions_);
  order << mountpoints_ << extensions_;

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* close = buttons->addButton(QStringLiteral("Close"), QDialogButtonBox::AcceptRole);
  QPushButton* cancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
  close->setDefault(true);
  cancel->setAutoDefault(false);
  connect(buttons, &QDialogButtonBox::accepted, this, &MountpointDlg::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &MountpointDlg::reject);
  order << close << cancel;

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(timesGroup);
  layout->addWidget(namesGroup);
  layout->addWidget(buttons);
  for (qsizetype i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

void MountpointDlg::accept() {
  monitor::IgnoreOptionsForm form;
  for (std::size_t i = 0; i < rowControls_.size(); ++i) {
    const RowControls& c = rowControls_[i];
    form.rows[i] = {.enabled = c.enabled->isChecked(),
                    .startHour = c.startHour->value(),
                    .startMinute = c.startMinute->value(),
                    .endHour = c.endHour->value(),
                    .endMinute = c.endMinute->value(),
                    .day = ToUtf8(c.day->currentText())};
  }
  form.mountpoints = ToUtf8(mountpoints_->text());
  form.extensions = ToUtf8(extensions_->text());
  monitor::ConfirmIgnoreOptions(form, rows_, slots_);
  QDialog::accept();
}

}  // namespace larkspan::gui
