// The main window and the stop window over the real engine: what a user does
// with them, one test per behaviour.

#include <QPlainTextEdit>
#include <QSlider>
#include <QToolButton>
#include <array>
#include <fstream>
#include <span>

#include "gui/stop_dlg.h"
#include "tests/gui/window_fixture.h"
#include "tests/support/media_probe.h"
#include "tests/support/scripted_http_server.h"

namespace larkspan::gui {
namespace {

using namespace std::chrono_literals;

class MainWindowTest : public WindowTest {
 protected:
  QString status() { return control<QPlainTextEdit>("Status")->toPlainText(); }
  QLineEdit* box(const QString& name) { return control<QLineEdit>(name); }
};

// The window's text boxes and the settings they stand for.
const QString kBoxes[] = {"Stream URL", "Output File", "Recording Path", "Sound File",
                          "Recording Start Sound File"};
std::array<std::span<char>, 5> Fields(schedule::ProfileSettings& s) {
  return {s.streamUrl, s.outputFile, s.recordingPath, s.soundFile, s.startSoundFile};
}

TEST_F(MainWindowTest, ShowsTheProfileAndTheExitAsksThenSavesTheBoxes) {
  schedule::Profile written;
  written.settings = schedule::DefaultProfileSettings(folder());
  for (int i = 0; const std::span<char> f : Fields(written.settings))
    platform::CopyToField(f.data(), f.size(), kBoxes[i++].toStdString() + " späť");
  written.settings.noSubdirectories = 1;
  ASSERT_TRUE(schedule::SaveProfile(written, folder()));
  open();
  for (const QString& name : kBoxes)
    EXPECT_EQ(box(name)->text(), name + QString::fromUtf8(" späť"));
  EXPECT_TRUE(control<QCheckBox>("No Subdirectories")->isChecked());
  // Without a notification area, minimising never hides the window.
  window().showMinimized();
  QTest::qWait(50);
  EXPECT_TRUE(window().isVisible() && !window().inTray());

  answerNextBox(QMessageBox::No);
  QTest::keyClick(&window(), Qt::Key_Escape);
  EXPECT_EQ(boxTexts(), std::vector<std::string>{"Exit program?"});
  EXPECT_FALSE(window().exited());
  QTest::keyClick(box("Output File"), Qt::Key_Return);
  EXPECT_EQ(boxTexts().size(), 1u) << "Enter must not close the window";

  for (const QString& name : kBoxes) box(name)->setText(name + " typed");
  answerNextBox(QMessageBox::Yes);
  click("Exit Program");
  ASSERT_TRUE(window().exited());
  schedule::Profile saved;
  ASSERT_TRUE(schedule::LoadProfile(saved, folder()));
  for (int i = 0; const std::span<char> f : Fields(saved.settings))
    EXPECT_EQ(platform::FieldText(f.data(), f.size()), kBoxes[i++].toStdString() + " typed");
}

TEST_F(MainWindowTest, ManualRecordingFromConnectToItsResultAndTimersRunUnderAnOpenBox) {
  test::ScriptedHttpServer server;
  server.setHandler(
      [](const std::string&) { return test::ScriptedReply::Stream(0, UINT64_MAX, 32'000); });
  open();
  Type(window(), "Stream URL", QString::fromStdString(server.url("/live")));
  Type(window(), "Output File", "radio.mp3");
  click("Connect");
  click("Connect");
  ASSERT_TRUE(waitFor([&] { return server.requests().size() >= 1; }));
  EXPECT_FALSE(server.waitForRequests(2, 500ms)) << "a second Connect started a second recording";

  // The user types while the ticks refresh the Status box.
  Type(window(), "Stream URL", "http://typing.in/progr");
  ASSERT_TRUE(waitFor([&] {
    window().schedulerTimer();
    return status() == "RECORDING";
  }));
  EXPECT_EQ(box("Stream URL")->text(), "http://typing.in/progr");

  // Stopped, the job stays until a tick collects it: Connect does nothing.
  click("Stop the manual recording");
  ASSERT_TRUE(waitFor([&] { return engine().manualJob().get()->isFinished(); }));
  Type(window(), "Stream URL", QString::fromStdString(server.url("/again")));
  click("Connect");
  EXPECT_FALSE(server.waitForRequests(2, 300ms));
  window().schedulerTimer();
  EXPECT_EQ(status(), "DONE RECORDING");
  EXPECT_GT(std::filesystem::file_size(folder() / "radio.mp3"), 0u);
  click("Connect");
  EXPECT_TRUE(server.waitForRequests(2, 5s));
  window().resultsTimer();
  // Play's warning stays open until the scheduler timer, firing under it,
  // has shown the new recording; then a stop signal arrives.
  whenBoxOpens([&](QMessageBox&) {
    EXPECT_TRUE(waitFor([&] { return status() == "RECORDING"; }, 8s));
    window().exitWithoutQuestion();
  });
  click("Play");
  EXPECT_TRUE(window().exited()) << "no box, or it did not end the program";
}

TEST_F(MainWindowTest, StopWindowStopsThePickedRecordingAfterAskingAndIsDisposedOfWhenClosed) {
  open();
  std::vector<recording::RecordingJob*> jobs;
  for (int i = 1; i <= 11; ++i) {
    schedule::ScheduleEntry e = Entry(platform::Format("Show %d", i));
    auto job = std::make_unique<recording::RecordingJob>();
    job->setStatus("RECORDING");
    jobs.push_back(job.get());
    e.jobSlot = *engine().jobTable().takeSlot(std::move(job));
    e.running = 1;
    engine().profile().schedule.appendEntry(e, {});
  }
  click("Stop a scheduled recording");
  StopDlg* stop = window().stopWindow();
  ASSERT_NE(stop, nullptr);
  ASSERT_TRUE(waitFor([&] { return stop->list()->count() == 11; }));
  EXPECT_EQ(stop->list()->item(9)->text(), "[10] Show 10");

  answerNextBox(QMessageBox::No);
  DoubleClickRow(*stop->list(), 0);
  answerNextBox(QMessageBox::Yes);
  DoubleClickRow(*stop->list(), 9);
  EXPECT_EQ(boxTexts(), (std::vector<std::string>{"Stop recording?", "Stop recording?"}));
  for (int i = 0; i < 11; ++i) EXPECT_EQ(jobs[i]->stopRequested.load(), i == 9) << i;

  // The eleventh ends between the refresh and the double-click.
  schedule::ScheduleTable& table = engine().profile().schedule;
  engine().jobTable().giveSlotBack(table.entry(10).jobSlot);
  table.eraseEntry(10);
  answerNextBox(QMessageBox::Ok);
  DoubleClickRow(*stop->list(), 10);
  EXPECT_EQ(boxTexts().back(), "Recording already terminated");

  // Close, then Stop again at once: one fresh window, the old one disposed of.
  click("Close");
  EXPECT_TRUE(stop->isClosed());
  click("Stop a scheduled recording");
  EXPECT_NE(window().stopWindow(), stop);
  EXPECT_EQ(window().findChildren<StopDlg*>().size(), 1);
  click("Close");
  window().stopWindowTimer();
  EXPECT_EQ(window().stopWindow(), nullptr);
}

TEST_F(MainWindowTest, PlayerPlaysPausesSeeksAndStopsAndCannotOpenWhatDoesNotDecode) {
  open();
  auto* pause = control<QToolButton>("Pause");
  auto* time = box("Time");
  // Nothing plays: the Pause button still keeps its state.
  click("Pause");
  EXPECT_TRUE(window().soundPaused() && pause->isChecked());
  click("Pause");
  EXPECT_FALSE(window().soundPaused() || pause->isChecked());

  // A file of noise does not decode.
  std::ofstream(folder() / "noise.mp3") << std::string(4096, '\x5a');
  Type(window(), "Sound File", "noise.mp3");
  answerNextBox(QMessageBox::Ok);
  click("Play");
  EXPECT_EQ(boxTexts(), std::vector<std::string>{"Cannot open noise.mp3"});

  // A recording (a relative name is the start-up folder's) plays.
  test::MakeToneFile(folder() / "show.mp3", 90, "libmp3lame", "mp3");
  Type(window(), "Sound File", "show.mp3");
  click("Play");
  EXPECT_TRUE(waitFor([&] { return time->text() == "00:01"; }, 3s)) << time->text().toStdString();
  click("Pause");
  const QString paused = time->text();
  QTest::qWait(1200);
  EXPECT_EQ(time->text(), paused) << "paused, the time holds";

  // The slider seeks: a page step from the keyboard moves the sound.
  auto* slider = control<QSlider>("Position");
  slider->setValue(61'000);
  slider->triggerAction(QAbstractSlider::SliderPageStepAdd);
  EXPECT_TRUE(waitFor([&] { return time->text().startsWith("01:0"); }, 3s))
      << time->text().toStdString();
  click("Play");  // resumes
  EXPECT_FALSE(window().soundPaused());

  click("Stop");
  EXPECT_EQ(time->text(), "00:00");
  EXPECT_EQ(slider->value(), 0);
}

}  // namespace
}  // namespace larkspan::gui
