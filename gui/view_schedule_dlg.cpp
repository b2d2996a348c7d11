#include "gui/view_schedule_dlg.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/form_controls.h"
#include "gui/schedule_dlg.h"
#include "gui/window_text.h"
#include "schedule/schedule_listing.h"

namespace larkspan::gui {

ViewScheduleDlg::ViewScheduleDlg(schedule::Profile& profile, platform::Prompter& prompter,
                                 std::filesystem::path startupDirectory, QWidget* parent)
    : QDialog(parent),
      profile_(profile),
      prompter_(prompter),
      startupDirectory_(std::move(startupDirectory)),
      list_(new QListWidget(this)),
      scheduler_(FormButton(QStringLiteral("Scheduler"), this)) {
  setWindowTitle(QStringLiteral("Schedule"));
  auto* caption = new QLabel(QStringLiteral("Scheduled recordings (double-click to edit):"), this);
  caption->setBuddy(list_);
  list_->setAccessibleName(QStringLiteral("Scheduled recordings"));
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(scheduler_, QDialogButtonBox::ActionRole);
  QPushButton* close = buttons->addButton(QStringLiteral("Close"), QDialogButtonBox::AcceptRole);
  close->setDefault(true);
  close->setAccessibleName(QStringLiteral("Close the schedule"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(scheduler_, &QPushButton::clicked, this, &ViewScheduleDlg::schedulerClicked);
  connect(list_, &QListWidget::itemDoubleClicked, this, &ViewScheduleDlg::lineDoubleClicked);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(caption);
  layout->addWidget(list_, 1);
  layout->addWidget(buttons);
  setTabOrder(list_, scheduler_);
  setTabOrder(scheduler_, close);
  resize(560, 420);

  timer_.setInterval(1000);
  connect(&timer_, &QTimer::timeout, this, &ViewScheduleDlg::checkEditor);
  timer_.start();
}

ViewScheduleDlg::~ViewScheduleDlg() = default;

void ViewScheduleDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!built_) {
    built_ = true;
    rebuild();
  }
}

void ViewScheduleDlg::rebuild() {
  const int selected = list_->currentRow();
  list_->clear();
  order_ = schedule::ListingOrder(profile_.schedule);
  for (std::size_t position = 0; position < order_.size(); ++position) {
    for (const std::string& line :
         schedule::ListingLines(position + 1, profile_.schedule.entry(order_[position])))
      list_->addItem(FromStored(line));
  }
  if (list_->count() > 0)
    list_->setCurrentRow(selected >= 0 && selected < list_->count() ? selected : 0);
}

void ViewScheduleDlg::checkEditor() {
  if (editor_ == nullptr) return;
  if (editor_->isClosed()) {
    disposeEditor();
    rebuild();
  } else if (editor_->editor().takeChange()) {
    rebuild();
  }
}

void ViewScheduleDlg::openEditor(std::optional<std::size_t> index) {
  editor_ = new ScheduleDlg(profile_, prompter_, startupDirectory_, index, this);
  editor_->show();
}

void ViewScheduleDlg::disposeEditor() {
  if (editor_ == nullptr) return;
  editor_->dispose();
  editor_ = nullptr;
}

void ViewScheduleDlg::schedulerClicked() {
  // A second press puts the open editor away, as it is, without storing.
  if (editor_ != nullptr)
    disposeEditor();
  else
    openEditor(std::nullopt);
}

void ViewScheduleDlg::lineDoubleClicked(QListWidgetItem* item) {
  const std::optional<std::size_t> index =
      schedule::EntryAtLine(order_, static_cast<std::size_t>(list_->row(item)));
  if (editor_ != nullptr)
    editor_->showEntry(index);
  else
    openEditor(index);
}

void ViewScheduleDlg::done(int result) {
  timer_.stop();
  disposeEditor();
  QDialog::done(result);
}

}  // namespace larkspan::gui
