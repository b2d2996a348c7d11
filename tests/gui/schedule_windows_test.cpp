// The schedule list, the editor and the advanced options window over the real
// engine; and a week's schedule made in them, recorded by the program without
// windows at a chosen local time (libfaketime) from a real Icecast.

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <fstream>
#include <sstream>
#include <thread>

#include "gui/mountpoint_dlg.h"
#include "gui/schedule_dlg.h"
#include "gui/view_schedule_dlg.h"
#include "platform/text.h"
#include "schedule/profile.h"
#include "tests/gui/window_fixture.h"
#include "tests/support/child_process.h"
#include "tests/support/ffmpeg_source.h"
#include "tests/support/icecast_server.h"

namespace larkspan::gui {
namespace {

using namespace std::chrono_literals;

// The control of `root` named `name` (accessible name, else button text).
template <typename Widget>
Widget* In(QWidget* root, const QString& name) {
  for (Widget* w : root->findChildren<Widget*>()) {
    if (w->accessibleName() == name) return w;
    if (auto* b = qobject_cast<QAbstractButton*>(w); b != nullptr && b->text() == name) return w;
  }
  ADD_FAILURE() << "no control " << name.toStdString();
  return nullptr;
}

class ScheduleWindowsTest : public WindowTest {
 protected:
  // Opens "Schedule" from the main window, runs `act` on it and closes it.
  void inSchedule(const std::function<void(ViewScheduleDlg&)>& act) {
    QTimer::singleShot(0, [&] {
      auto* view = qobject_cast<ViewScheduleDlg*>(QApplication::activeModalWidget());
      ASSERT_NE(view, nullptr);
      act(*view);
      view->accept();
    });
    click("Schedule");
  }
  static ScheduleDlg& openEditor(ViewScheduleDlg& view) {
    In<QPushButton>(&view, "Scheduler")->click();
    return *view.editor();
  }
  // Fills in an entry and appends it; answers the box.
  void append(ScheduleDlg& editor, const QString& program, const QString& day, int hour) {
    In<QLineEdit>(&editor, "Program")->setText(program);
    In<QCheckBox>(&editor, day)->setChecked(true);
    In<QSpinBox>(&editor, "Start Time hour")->setValue(hour);
    In<QSpinBox>(&editor, "End Time hour")->setValue(hour);
    answerNextBox(QMessageBox::Ok);
    In<QPushButton>(&editor, "Append to End Of Schedule")->click();
  }
};

TEST_F(ScheduleWindowsTest, AppendWithNothingCheckedWarnsAndAddsNothing) {
  open();
  inSchedule([this](ViewScheduleDlg& view) {
    ScheduleDlg& editor = openEditor(view);
    answerNextBox(QMessageBox::Ok);
    In<QPushButton>(&editor, "Append to End Of Schedule")->click();
  });
  EXPECT_EQ(boxTexts(), std::vector<std::string>{schedule::kNoDayMessage});
  EXPECT_EQ(engine().profile().schedule.count(), 0u);
}

TEST_F(ScheduleWindowsTest, CloseSavesAndADoubleClickOpensTheEntryOfItsLine) {
  open();
  inSchedule([this](ViewScheduleDlg& view) {
    ScheduleDlg& editor = openEditor(view);
    append(editor, "Second", "Tuesday", 9);
    append(editor, "First", "Monday", 9);
    In<QPushButton>(&editor, "Close")->click();
    schedule::Profile saved;
    ASSERT_TRUE(schedule::LoadProfile(saved, folder()));
    ASSERT_EQ(saved.schedule.count(), 2u);
    EXPECT_EQ(platform::FieldText(saved.schedule.entry(1).programName), "First");

    view.checkEditor();  // the timer's pass: the closed editor goes
    EXPECT_EQ(view.editor(), nullptr);
    ASSERT_EQ(view.list()->count(), 8);
    QListWidgetItem* line = view.list()->item(6);  // the third line of the second entry
    const QPoint at = view.list()->visualItemRect(line).center();
    QTest::mouseClick(view.list()->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(view.list()->viewport(), Qt::LeftButton, {}, at);
    ASSERT_NE(view.editor(), nullptr);
    EXPECT_EQ(In<QLineEdit>(view.editor(), "Program")->text(), "Second");
  });
}

TEST_F(ScheduleWindowsTest, TheAdvancedOptionsCancelLeavesTheFormAndCloseWritesIt) {
  open();
  inSchedule([this](ViewScheduleDlg& view) {
    ScheduleDlg& editor = openEditor(view);
    const auto options = [&](const QString& button) {
      QTimer::singleShot(0, [button] {
        auto* advanced = qobject_cast<MountpointDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(advanced, nullptr);
        In<QLineEdit>(advanced, "Ignore mountpoints")->setText("/talk*, /news");
        In<QCheckBox>(advanced, "Ignore Time 2")->setChecked(true);
        In<QPushButton>(advanced, button)->click();
      });
      In<QPushButton>(&editor, "Advanced Mountpoint Options")->click();
    };
    options("Cancel");
    const schedule::ScheduleForm& form = editor.editor().form();
    EXPECT_EQ(form.ignore.shortFlags[0], 0);
    EXPECT_EQ(form.ignoreTimes[1].enabled, 0);
    options("Close");
    EXPECT_EQ(platform::FieldText(form.ignore.shortNames[1]), "/news");
    EXPECT_EQ(form.ignoreTimes[1].enabled, 1);
  });
}

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST_F(ScheduleWindowsTest, AWeekMadeInTheEditorIsRecordedByTheProgramWithoutWindows) {
  constexpr const char* kFakeTime = "/usr/lib/x86_64-linux-gnu/faketime/libfaketimeMT.so.1";
  ASSERT_TRUE(std::filesystem::exists(kFakeTime)) << "Debian's faketime is not installed";
  test::IcecastServer icecast;
  test::FfmpegSource source(icecast, "/live.mp3", test::SourceFormat::Mp3);
  open();
  inSchedule([&](ViewScheduleDlg& view) {
    ScheduleDlg& editor = openEditor(view);
    In<QLineEdit>(&editor, "Stream URL")->setText(QString::fromStdString(icecast.url("/live.mp3")));
    In<QRadioButton>(&editor, "Repeating")->setChecked(true);
    append(editor, "Weekdays", "Tuesday", 6);
    In<QCheckBox>(&editor, "Tuesday")->setChecked(false);
    append(editor, "Evening", "Monday", 21);  // from 21:00 to the first tick of 21:00
    In<QPushButton>(&editor, "Close")->click();
  });
  ASSERT_TRUE(std::filesystem::exists(folder() / schedule::kProfileFileName));

  std::vector<std::string> environment = test::ChildProcess::CurrentEnvironment();
  environment.push_back(std::string("LD_PRELOAD=") + kFakeTime);
  environment.push_back("FAKETIME=@2026-12-07 20:59:44");  // a Monday
  environment.push_back("FAKETIME_DONT_FAKE_MONOTONIC=1");
  environment.push_back("TZ=UTC");
  const auto output = folder() / "output.txt";
  test::ChildProcess program({"env", "-C", folder().string(), LARKSPAN_PROGRAM, "--headless"},
                             environment, output);
  for (const auto end = std::chrono::steady_clock::now() + 60s;
       ReadAll(output).find("DONE RECORDING - Evening") == std::string::npos &&
       std::chrono::steady_clock::now() < end;)
    std::this_thread::sleep_for(200ms);
  program.stop(30s);
  EXPECT_NE(ReadAll(output).find("DONE RECORDING - Evening"), std::string::npos) << ReadAll(output);
  const auto recorded = folder() / "Evening" / "Evening December 7.mp3";
  ASSERT_TRUE(std::filesystem::exists(recorded)) << ReadAll(output);
  EXPECT_GT(std::filesystem::file_size(recorded), 0u);
  EXPECT_FALSE(std::filesystem::exists(folder() / "Weekdays"));
}

}  // namespace
}  // namespace larkspan::gui
