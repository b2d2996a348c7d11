#pragma once

#include <QDialog>
#include <QString>
#include <QTimer>
#include <memory>

#include "app/engine.h"
#include "platform/sound_file_player.h"
#include "schedule/scheduler_tick.h"

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSlider;
class QSystemTrayIcon;
class QToolButton;

namespace larkspan::gui {

class StopDlg;

// The values the main window's boxes show. Window texts in the core are
// UTF-8; here they are the boxes' own.
struct MainWindowMembers {
  QString streamUrl;
  QString outputFile;
  QString recordingPath;
  QString soundFile;
  QString startSoundFile;
  QString timeDisplay = QStringLiteral("00:00");
  bool shoutcast = false;
  bool startSound = false;
  bool noSubdirectories = false;
  bool disableSounds = false;
};

// The main window, "Larkspan v. 1.37b": manual recording, the scheduler's
// status, the sound controls, and the four timers that drive the engine.
class CBramblyDlg final : public QDialog, public schedule::SchedulerWindow {
  Q_OBJECT
 public:
  // Starts the engine up (the profile, the IRC client) and builds the window.
  CBramblyDlg(app::Engine& engine, platform::Prompter& prompter);
  ~CBramblyDlg() override;

  // SchedulerWindow.
  void commitControls() override;
  void refreshControls() override;
  std::string recordingPathText() const override;
  bool startSoundChecked() const override;
  std::string startSoundFileText() const override;
  void refreshTrayIcon() override;
  void updateTrayIcon(const std::string& tip) override;

  // The exit sequence after "Exit program?"; false when the user said No.
  bool askAndExit();
  // The exit sequence without the question (stop signals, session end). When
  // a tick or a box is in progress, it runs once that has unwound.
  void exitWithoutQuestion();
  bool exited() const { return exited_; }

  const MainWindowMembers& members() const { return members_; }
  bool soundPaused() const { return soundPaused_; }
  StopDlg* stopWindow() const { return stopWindow_.get(); }
  bool inTray() const { return engine_.schedulerState().inTray; }

  // The timers' work, one per timer identifier.
  void schedulerTimer();
  void monitorTimer();
  void stopWindowTimer();
  void resultsTimer();

 protected:
  void reject() override;
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildControls();
  void connectControls();
  void startTimers();
  void fillMembersFromSettings();
  void membersToSettings();

  // Runs `work` as one step of the window that may show boxes: an exit asked
  // for meanwhile waits until the outermost step has ended.
  template <typename Work>
  void step(Work work);
  void runExitSequence();

  // Controls' actions.
  void connectClicked();
  void stopManualClicked();
  void browseOutputFile();
  void browseSoundFile();
  void browseStartSoundFile();
  void openStopWindow();
  void openSchedule();
  void openAbout();
  void openIrcSettings();
  void openChat();
  void playClicked();
  void pauseClicked();
  void stopSoundClicked();
  void showPlayPosition();
  void seekToSlider();
  void checkBoxClicked();
  void minimiseToTray();
  void restoreFromTray();
  void prepareTrayIcon(const std::string& tip);

  app::Engine& engine_;
  platform::Prompter& prompter_;
  MainWindowMembers members_;
  bool soundPaused_ = false;
  bool exited_ = false;
  bool exitPending_ = false;
  int stepDepth_ = 0;

  // Record a Stream.
  QLineEdit* streamUrlBox_ = nullptr;
  QLineEdit* outputFileBox_ = nullptr;
  QPushButton* connectButton_ = nullptr;
  QPushButton* stopManualButton_ = nullptr;
  QPushButton* browseOutputButton_ = nullptr;
  QCheckBox* shoutcastBox_ = nullptr;
  // Record with Scheduler.
  QLineEdit* recordingPathBox_ = nullptr;
  QPushButton* scheduleButton_ = nullptr;
  QCheckBox* noSubdirectoriesBox_ = nullptr;
  QPlainTextEdit* statusBox_ = nullptr;
  QPushButton* stopScheduledButton_ = nullptr;
  QPushButton* ircSettingsButton_ = nullptr;
  QPushButton* chatButton_ = nullptr;
  // Play Sound File.
  QLineEdit* soundFileBox_ = nullptr;
  QPushButton* browseSoundButton_ = nullptr;
  QSlider* slider_ = nullptr;
  QToolButton* playButton_ = nullptr;
  QToolButton* pauseButton_ = nullptr;
  QToolButton* stopSoundButton_ = nullptr;
  QLineEdit* timeDisplay_ = nullptr;
  // Other Settings.
  QCheckBox* startSoundBox_ = nullptr;
  QLineEdit* startSoundFileBox_ = nullptr;
  QPushButton* browseStartSoundButton_ = nullptr;
  QCheckBox* disableSoundsBox_ = nullptr;
  QPushButton* aboutButton_ = nullptr;
  QPushButton* exitButton_ = nullptr;

  QTimer timers_[4];
  // The player: what plays, and the timer that moves the slider and the time.
  platform::SoundFilePlayer player_;
  QTimer playerTimer_;
  std::unique_ptr<QSystemTrayIcon> tray_;
  std::unique_ptr<StopDlg> stopWindow_;
};

}  // namespace larkspan::gui
