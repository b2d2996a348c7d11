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
    Find<QPushButton>(view, "Scheduler")->click();
    return *view.editor();
  }
  // Fills in an entry and appends it; answers the box.
  void append(ScheduleDlg& editor, const QString& program, const QString& day, int hour) {
    Type(editor, "Program", program);
    Find<QCheckBox>(editor, day)->setChecked(true);
    Find<QSpinBox>(editor, "Start Time hour")->setValue(hour);
    Find<QSpinBox>(editor, "End Time hour")->setValue(hour);
    answerNextBox(QMessageBox::Ok);
    Find<QPushButton>(editor, "Append to End Of Schedule")->click();
  }
};

TEST_F(ScheduleWindowsTest, AppendWithNothingCheckedWarnsAndAddsNothing) {
  open();
  inSchedule([this](ViewScheduleDlg& view) {
    ScheduleDlg& editor = openEditor(view);
    answerNextBox(QMessageBox::Ok);
    Find<QPushButton>(editor, "Append to End Of Schedule")->click();
  });
  EXPECT_EQ(boxTexts(), std::vector<std::string>{schedule::kNoDayMessage});
  EXPECT_EQ(engine().profile().schedule.count(), 0u);
}

TEST_F(ScheduleWindowsTest, CloseSavesAndADoubleClickOpensTheEntryOfItsLine) {
  open();
  inSchedule([this](ViewScheduleDlg& view) {
    ScheduleDlg& editor = openEditor(view);
    Type(editor, "Stream URL", "http://radio.example/live");
    Find<QRadioButton>(editor, "Repeating")->setChecked(true);
    append(editor, "Second", "Tuesday", 9);
    Find<QCheckBox>(editor, "Tuesday")->setChecked(false);
    append(editor, "First", "Monday", 21);
    Find<QPushButton>(editor, "Close")->click();
    schedule::Profile saved;
    ASSERT_TRUE(schedule::LoadProfile(saved, folder()));
    ASSERT_EQ(saved.schedule.count(), 2u);
    EXPECT_EQ(platform::FieldText(saved.schedule.entry(1).programName), "First");

    view.checkEditor();  // the timer's pass: the closed editor goes
    EXPECT_EQ(view.editor(), nullptr);
    ASSERT_EQ(view.list()->count(), 8);
    DoubleClickRow(*view.list(), 6);  // the third line of the second entry
    ASSERT_NE(view.editor(), nullptr);
    ScheduleDlg& again = *view.editor();
    EXPECT_EQ(Find<QLineEdit>(again, "Program")->text(), "Second");
    EXPECT_EQ(Find<QLineEdit>(again, "Stream URL")->text(), "http://radio.example/live");
    EXPECT_TRUE(Find<QRadioButton>(again, "Repeating")->isChecked());
    EXPECT_TRUE(Find<QCheckBox>(again, "Tuesday")->isChecked());
    EXPECT_FALSE(Find<QCheckBox>(again, "Monday")->isChecked());
    EXPECT_EQ(Find<QSpinBox>(again, "Start Time hour")->value(), 9);
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
        Find<QLineEdit>(*advanced, "Ignore mountpoints")->setText("/talk*, /news");
        Find<QCheckBox>(*advanced, "Ignore Time 2")->setChecked(true);
        Find<QPushButton>(*advanced, button)->click();
      });
      Find<QPushButton>(editor, "Advanced Mountpoint Options")->click();
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

}  // namespace
}  // namespace larkspan::gui
