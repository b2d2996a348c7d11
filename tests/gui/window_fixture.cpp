#include "tests/gui/window_fixture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>

namespace larkspan::gui {

void DoubleClickRow(QListWidget& list, int row) {
  list.setCurrentRow(row);
  const QPoint at = list.visualItemRect(list.item(row)).center();
  QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, at);
  QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, at);
}

void WindowTest::SetUp() {
  setenv("HOME", folder().c_str(), 1);
  boxWatch_.setInterval(20);
  QObject::connect(&boxWatch_, &QTimer::timeout, [this] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || boxActions_.empty()) return;
    boxTexts_.push_back(box->text().toStdString());
    const auto act = boxActions_.front();
    boxActions_.erase(boxActions_.begin());
    act(*box);
  });
  boxWatch_.start();
}

void WindowTest::TearDown() {
  if (window_ && !window_->exited()) window_->exitWithoutQuestion();
  window_.reset();
  engine_.reset();
}

void WindowTest::open(irc::IrcConnectionOptions ircOptions) {
  engine_ = std::make_unique<app::Engine>(folder(), prompter_, ircOptions);
  window_ = std::make_unique<CBramblyDlg>(*engine_, prompter_);
  window_->show();
}

void WindowTest::click(const QString& button) {
  if (auto* b = control<QAbstractButton>(button)) b->click();
}

void WindowTest::whenBoxOpens(std::function<void(QMessageBox&)> act) {
  boxActions_.push_back(std::move(act));
}

void WindowTest::answerNextBox(QMessageBox::StandardButton button) {
  whenBoxOpens([button](QMessageBox& box) { box.button(button)->click(); });
}

bool WindowTest::waitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  QElapsedTimer elapsed;
  elapsed.start();
  while (!done()) {
    if (elapsed.elapsed() > timeout.count()) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

}  // namespace larkspan::gui
