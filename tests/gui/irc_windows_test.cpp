// The IRC settings, IRC chat and record-options windows: their binding, and
// the road from setting up IRC to a monitored mountpoint recorded, against
// ngIRCd and Icecast.

#include "gui/irc_chat_dlg.h"
#include "gui/irc_settings_dlg.h"
#include "gui/record_mountpoint_dlg.h"
#include "tests/gui/window_fixture.h"
#include "tests/support/ffmpeg_source.h"
#include "tests/support/icecast_server.h"
#include "tests/support/irc_test_reader.h"
#include "tests/support/ngircd_server.h"

namespace larkspan::gui {
namespace {

using namespace std::chrono_literals;

class IrcWindowsTest : public WindowTest {};

TEST_F(IrcWindowsTest, RecordOptionsOpenOnTheirValuesAndRefuseATimeOutOfRange) {
  QtPrompter prompter;
  RecordMountpointDlg dialog(prompter);
  monitor::RecordMountpointValues values;
  WhenOpens<RecordMountpointDlg>([this](RecordMountpointDlg& d) {
    for (auto* choice : d.findChildren<QRadioButton*>())
      EXPECT_FALSE(choice->isChecked()) << "nothing chosen the first time";
    Find<QRadioButton>(d, "Record mountpoint from:")->click();
    Type(d, "From hour", "20");
    Type(d, "To hour", "25");
    Type(d, "To minute", "30");
    answerNextBox(QMessageBox::Ok);
    Find<QPushButton>(d, "OK")->click();
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(d.focusWidget(), Find<QLineEdit>(d, "To hour"));
    Type(d, "To hour", "21");
    Find<QPushButton>(d, "OK")->click();
  });
  ASSERT_TRUE(dialog.exec(values));
  EXPECT_EQ(boxTexts(), std::vector<std::string>{"Please enter an integer between 0 and 23."});
  const monitor::RecordMountpointValues timed{
      .recordFrom = true, .fromHour = 20, .fromMinute = 0, .toHour = 21, .toMinute = 30};
  EXPECT_EQ(values, timed);

  WhenOpens<RecordMountpointDlg>([](RecordMountpointDlg& d) {
    EXPECT_TRUE(Find<QRadioButton>(d, "Record mountpoint from:")->isChecked());
    EXPECT_EQ(Find<QLineEdit>(d, "From hour")->text(), "20");
    Find<QRadioButton>(d, "Monitor mountpoint continuously")->click();
    Find<QPushButton>(d, "Cancel")->click();
  });
  EXPECT_FALSE(dialog.exec(values));
  EXPECT_EQ(values, timed);
}

// A user sets up IRC in its window and chats; a monitored server shows a new
// mountpoint, which is offered and recorded through the record-options dialog.
TEST_F(IrcWindowsTest, SetUpIrcInItsWindowChatAndRecordAnOfferedMountpoint) {
  test::NgircdServer irc;
  test::IcecastServer icecast(
      {.webRootFiles = {test::WebRootFile::FromFile(
           std::filesystem::path(LARKSPAN_MONITOR_TEST_DIR) / "status2.xsl")}});
  test::FfmpegSource live(icecast, "/live.mp3", test::SourceFormat::Mp3);
  test::IrcTestReader reader(irc.port(), "#larkspan", test::NgircdServer::kOperatorName,
                             test::NgircdServer::kOperatorPassword);
  open({.port = irc.port(), .connectTimeout = 5s, .readTimeout = 2s});
  schedule::ScheduleEntry watched = Entry("Icecast");
  platform::CopyToField(watched.url, icecast.url(""));
  watched.monitorServer = watched.monitorLevel = 1;
  watched.timeout = 5;
  engine().profile().schedule.appendEntry(watched, {});
  answerNextBox(QMessageBox::Ok);
  click("Chat Dialog");  // auto-posting is off

  // IRC is set up well before the monitor's first poll; a refused colour
  // keeps the window open there, and OK stores and saves.
  WhenOpens<IRCSettingsDlg>([this](IRCSettingsDlg& d) {
    Type(d, "Server name", "127.0.0.1");
    Type(d, "Nickname", "larkbot");
    Type(d, "Channel", "#larkspan");
    Find<QCheckBox>(d, "Enable IRC Auto-Posting")->setChecked(true);
    Find<QCheckBox>(d, "Chatter Mode")->setChecked(true);
    Type(d, "Text Color", "300");
    answerNextBox(QMessageBox::Ok);
    Find<QPushButton>(d, "OK")->click();
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(d.focusWidget(), Find<QLineEdit>(d, "Text Color"));
    Type(d, "Text Color", "7");
    Find<QPushButton>(d, "OK")->click();
  });
  click("IRC Settings");
  schedule::Profile saved;
  ASSERT_TRUE(schedule::LoadProfile(saved, folder()));
  EXPECT_EQ(platform::FieldText(saved.settings.ircNickname), "larkbot");
  EXPECT_TRUE(saved.settings.chatterMode == 1 && saved.settings.ircTextColour == 7);
  WhenOpens<IRCSettingsDlg>([](IRCSettingsDlg& d) {
    Type(d, "Nickname", "other");
    Find<QPushButton>(d, "Cancel")->click();
  });
  click("IRC Settings");
  EXPECT_EQ(platform::FieldText(engine().profile().settings.ircNickname), "larkbot");

  answerNextBox(QMessageBox::Yes);
  answerNextBox(QMessageBox::No);  // a second question comes only if the first made nothing
  WhenOpens<RecordMountpointDlg>([](RecordMountpointDlg& d) {
    Find<QRadioButton>(d, "Record mountpoint until disconnect")->click();
    Find<QPushButton>(d, "OK")->click();
  });
  WhenOpens<IRCChatDlg>([](IRCChatDlg& d) {
    Type(d, "IRC line", "PRIVMSG #larkspan :hello");
    Find<QPushButton>(d, "Enter")->click();
    EXPECT_EQ(Find<QLineEdit>(d, "IRC line")->text(), "PRIVMSG #larkspan :hello");
    Find<QPushButton>(d, "OK")->click();
  });
  click("Chat Dialog");
  EXPECT_EQ(reader.waitForLineContaining(" JOIN ", 15s),
            ":larkbot!~blank@127.0.0.1 JOIN :#larkspan");
  EXPECT_EQ(reader.waitForLineContaining(" PRIVMSG ", 15s),
            ":larkbot!~blank@127.0.0.1 PRIVMSG #larkspan :hello");

  // The monitor polls four times a minute, the scheduler tick every five
  // seconds: within half a minute the new mountpoint is offered, made an
  // entry and recorded.
  const schedule::ScheduleTable& schedule = engine().profile().schedule;
  ASSERT_TRUE(
      waitFor([&] { return schedule.count() == 2 && schedule.entry(1).jobSlot >= 0; }, 30s));
  EXPECT_EQ(boxTexts(),
            (std::vector<std::string>{
                "No IRC session established.", "Please enter an integer between 0 and 255.",
                "A new mointpoint has been found at:\n" + icecast.url("/live.mp3") + "\nRecord?"}));
  EXPECT_EQ(schedule.entry(1).recordUntilDisconnect, 1);
}

}  // namespace
}  // namespace larkspan::gui
