// The schedule list, the editor and the advanced options window over the real
// engine. That the program without windows records what they save is the
// headless test's.

#include <QSpinBox>

#include "gui/mountpoint_dlg.h"
#include "gui/schedule_dlg.h"
#include "gui/view_schedule_dlg.h"
#include "tests/gui/window_fixture.h"

namespace larkspan::gui {
namespace {

class ScheduleWindowsTest : public WindowTest {
 protected:
  // Opens "Schedule" and its "Scheduler" editor, runs `act` on them and
  // closes the list.
  void inEditor(const std::function<void(ViewScheduleDlg&, ScheduleDlg&)>& act) {
    open();
    WhenOpens<ViewScheduleDlg>([&](ViewScheduleDlg& view) {
      Find<QPushButton>(view, "Scheduler")->click();
      act(view, *view.editor());
      view.accept();
    });
    click("Schedule");
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

// The advanced options' Cancel leaves the form as it was and Close writes it.
TEST_F(ScheduleWindowsTest, AdvancedOptionsWriteOnCloseAppendNeedsADayADoubleClickOpensItsEntry) {
  inEditor([this](ViewScheduleDlg& view, ScheduleDlg& editor) {
    const schedule::ScheduleForm& form = editor.editor().form();
    for (const QString button : {"Cancel", "Close"}) {
      WhenOpens<MountpointDlg>([button](MountpointDlg& advanced) {
        Type(advanced, "Ignore mountpoints", "/talk*, /news");
        Find<QCheckBox>(advanced, "Ignore Time 2")->setChecked(true);
        Find<QPushButton>(advanced, button)->click();
      });
      Find<QPushButton>(editor, "Advanced Mountpoint Options")->click();
      EXPECT_EQ(platform::FieldText(form.ignore.shortNames[1]), button == "Close" ? "/news" : "");
      EXPECT_EQ(form.ignoreTimes[1].enabled, button == "Close" ? 1 : 0);
    }
    answerNextBox(QMessageBox::Ok);
    Find<QPushButton>(editor, "Append to End Of Schedule")->click();
    EXPECT_EQ(boxTexts(), std::vector<std::string>{schedule::kNoDayMessage});
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

}  // namespace
}  // namespace larkspan::gui
