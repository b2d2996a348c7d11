#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/engine.h"
#include "gui/main_window.h"
#include "gui/qt_prompter.h"
#include "platform/text.h"
#include "schedule/name_key.h"
#include "schedule/profile.h"
#include "tests/support/temporary_folder.h"

namespace larkspan::gui {

// The control of `root` whose accessible name, else (for a button) whose
// text without its '&', is `name`.
template <typename Widget>
Widget* Find(const QWidget& root, const QString& name) {
  const QList<Widget*> children = root.findChildren<Widget*>();
  for (Widget* w : children)
    if (w->accessibleName() == name) return w;
  for (Widget* w : children)
    if (auto* b = qobject_cast<QAbstractButton*>(w); b && b->text().remove('&') == name) return w;
  ADD_FAILURE() << "no control " << name.toStdString();
  return nullptr;
}

// An idle entry of the user's named `name`.
inline schedule::ScheduleEntry Entry(std::string_view name) {
  schedule::ScheduleEntry e;
  platform::CopyToField(e.programName, name);
  e.nameKey = schedule::nameKey(name);
  e.keep = 1;
  e.jobSlot = schedule::kJobSlotIdle;
  return e;
}

inline void Type(const QWidget& root, const QString& box, const QString& text) {
  if (auto* b = Find<QLineEdit>(root, box)) b->setText(text);
}

// Selects row `row` of `list` and double-clicks it, as a user does.
inline void DoubleClickRow(QListWidget& list, int row) {
  list.setCurrentRow(row);
  const QPoint at = list.visualItemRect(list.item(row)).center();
  QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, at);
  QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, at);
}

// Hands the next modal window of type Dialog, once it is open, to `act`.
template <typename Dialog>
void WhenOpens(std::function<void(Dialog&)> act) {
  auto* watch = new QTimer;
  QObject::connect(watch, &QTimer::timeout, [watch, act] {
    auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    watch->stop();
    watch->deleteLater();
    act(*dialog);
  });
  watch->start(20);
}

// The main window over a real engine in a folder of its own, with real
// message boxes that the test answers.
class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("HOME", folder().c_str(), 1);
    QObject::connect(&boxWatch_, &QTimer::timeout, [this] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr || boxActions_.empty()) return;
      boxTexts_.push_back(box->text().toStdString());
      const auto act = boxActions_.front();
      boxActions_.erase(boxActions_.begin());
      act(*box);
    });
    boxWatch_.start(20);
  }
  // The window goes before the engine, the folder last.
  void TearDown() override {
    if (window_ && !window_->exited()) window_->exitWithoutQuestion();
  }

  // Builds the window as the program does (the engine starts up) and shows it.
  // `ircOptions`: how its IRC client reaches the server.
  void open(irc::IrcConnectionOptions ircOptions = {}) {
    engine_ = std::make_unique<app::Engine>(folder(), prompter_, ircOptions);
    window_ = std::make_unique<CBramblyDlg>(*engine_, prompter_);
    window_->show();
  }
  CBramblyDlg& window() { return *window_; }
  app::Engine& engine() { return *engine_; }
  const std::filesystem::path& folder() const { return folder_.path(); }

  template <typename Widget>
  Widget* control(const QString& name) const {
    return Find<Widget>(*window_, name);
  }
  void click(const QString& button) {
    if (auto* b = control<QAbstractButton>(button)) b->click();
  }

  // The next message box that opens is handed to `act`, which must close it
  // (or leave it to close by itself); its text is kept in boxTexts().
  void whenBoxOpens(std::function<void(QMessageBox&)> act) {
    boxActions_.push_back(std::move(act));
  }
  // Answers the next box with `button`.
  void answerNextBox(QMessageBox::StandardButton button) {
    whenBoxOpens([button](QMessageBox& box) { box.button(button)->click(); });
  }
  const std::vector<std::string>& boxTexts() const { return boxTexts_; }

  // Runs the event loop until `done` or `timeout`; true when done.
  static bool waitFor(const std::function<bool()>& done,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    return QTest::qWaitFor(done, static_cast<int>(timeout.count()));
  }

 private:
  test::TemporaryFolder folder_;
  QtPrompter prompter_;
  std::unique_ptr<app::Engine> engine_;
  std::unique_ptr<CBramblyDlg> window_;
  QTimer boxWatch_;
  std::vector<std::function<void(QMessageBox&)>> boxActions_;
  std::vector<std::string> boxTexts_;
};

}  // namespace larkspan::gui
