#include "gui/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSystemTrayIcon>
#include <QToolButton>

#include "gui/about_dlg.h"
#include "gui/irc_chat_dlg.h"
#include "gui/irc_settings_dlg.h"
#include "gui/record_mountpoint_dlg.h"
#include "gui/stop_dlg.h"
#include "gui/tray_images.h"
#include "gui/view_schedule_dlg.h"
#include "gui/window_text.h"
#include "platform/text.h"
#include "schedule/control_text.h"

namespace larkspan::gui {
namespace {

using platform::FieldText;

constexpr int kSchedulerTimer = 0;
constexpr int kMonitorTimer = 1;
constexpr int kStopWindowTimer = 2;
constexpr int kResultsTimer = 3;

const QStringList& SoundFileFilters() {
  static const QStringList filters{
      QStringLiteral("MP3 files (*.mp3)"), QStringLiteral("OGG files (*.ogg)"),
      QStringLiteral("FLAC files (*.flac)"), QStringLiteral("WAV Files (*.wav)"),
      QStringLiteral("All files (*.*)")};
  return filters;
}

// The open-file dialog of the Browse buttons. For the output file it takes a
// name that does not exist yet, without asking about overwriting: the
// recorder never overwrites, it adds _00.
QString BrowseForFile(QWidget* parent, const QString& title, const QString& current,
                      bool forOutput) {
  QFileDialog dialog(parent, title);
  dialog.setNameFilters(SoundFileFilters());
  if (forOutput) {
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
  } else {
    dialog.setFileMode(QFileDialog::ExistingFile);
  }
  const QFileInfo currentFile(current);
  if (!current.isEmpty() && currentFile.isAbsolute()) dialog.setDirectory(currentFile.path());
  dialog.selectFile(QStringLiteral("*.mp3"));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().constFirst();
}

void SetTextKeepingCursor(QLineEdit* box, const QString& text) {
  if (box->text() != text) box->setText(text);
}

}  // namespace

CBramblyDlg::CBramblyDlg(app::Engine& engine, platform::Prompter& prompter)
    : engine_(engine), prompter_(prompter) {
  engine_.startUp();
  fillMembersFromSettings();

  setWindowTitle(QString::fromUtf8(platform::kMessageCaption));
  setWindowIcon(BuiltInTrayImage(recording::TrayIconFile::kIdle));
  setWindowFlag(Qt::WindowMinMaxButtonsHint);
  buildControls();
  connectControls();

  tray_ = std::make_unique<QSystemTrayIcon>();
  connect(tray_.get(), &QSystemTrayIcon::activated, this,
          [this](QSystemTrayIcon::ActivationReason reason) {
            // Only a left click brings the window back; the icon has no menu.
            if (reason == QSystemTrayIcon::Trigger) restoreFromTray();
          });

  startTimers();
  refreshControls();
}

CBramblyDlg::~CBramblyDlg() = default;

void CBramblyDlg::fillMembersFromSettings() {
  const schedule::ProfileSettings& s = engine_.profile().settings;
  members_.streamUrl = FromStored(FieldText(s.streamUrl));
  members_.outputFile = FromStored(FieldText(s.outputFile));
  members_.recordingPath = FromStored(FieldText(s.recordingPath));
  members_.soundFile = FromStored(FieldText(s.soundFile));
  members_.startSoundFile = FromStored(FieldText(s.startSoundFile));
  members_.shoutcast = s.shoutcast != 0;
  members_.startSound = s.startSound != 0;
  members_.noSubdirectories = s.noSubdirectories != 0;
  members_.disableSounds = s.disableSounds != 0;
  members_.timeDisplay = QStringLiteral("00:00");
  engine_.schedulerState().statusText = "IDLE\r\n";
}

void CBramblyDlg::membersToSettings() {
  schedule::ProfileSettings& s = engine_.profile().settings;
  schedule::CopyControlText(s.streamUrl, ToUtf8(members_.streamUrl));
  schedule::CopyControlText(s.outputFile, ToUtf8(members_.outputFile));
  schedule::CopyControlText(s.recordingPath, ToUtf8(members_.recordingPath));
  schedule::CopyControlText(s.soundFile, ToUtf8(members_.soundFile));
  s.startSound = members_.startSound ? 1 : 0;
  schedule::CopyControlText(s.startSoundFile, ToUtf8(members_.startSoundFile));
  s.noSubdirectories = members_.noSubdirectories ? 1 : 0;
  s.shoutcast = members_.shoutcast ? 1 : 0;
}

void CBramblyDlg::connectControls() {
  connect(connectButton_, &QPushButton::clicked, this,
          [this] { step([this] { connectClicked(); }); });
  connect(stopManualButton_, &QPushButton::clicked, this, &CBramblyDlg::stopManualClicked);
  connect(browseOutputButton_, &QPushButton::clicked, this,
          [this] { step([this] { browseOutputFile(); }); });
  connect(browseSoundButton_, &QPushButton::clicked, this,
          [this] { step([this] { browseSoundFile(); }); });
  connect(browseStartSoundButton_, &QPushButton::clicked, this,
          [this] { step([this] { browseStartSoundFile(); }); });
  connect(stopScheduledButton_, &QPushButton::clicked, this, &CBramblyDlg::openStopWindow);
  connect(aboutButton_, &QPushButton::clicked, this, [this] { step([this] { openAbout(); }); });
  connect(exitButton_, &QPushButton::clicked, this, [this] { step([this] { askAndExit(); }); });
  connect(playButton_, &QToolButton::clicked, this, [this] { step([this] { playClicked(); }); });
  connect(pauseButton_, &QToolButton::clicked, this, &CBramblyDlg::pauseClicked);
  connect(stopSoundButton_, &QToolButton::clicked, this, &CBramblyDlg::stopSoundClicked);
  playerTimer_.setInterval(200);
  connect(&playerTimer_, &QTimer::timeout, this, &CBramblyDlg::showPlayPosition);
  // Dragging moves the time shown; letting go (or a click or key on the
  // slider) moves the sound.
  connect(slider_, &QSlider::sliderMoved, this, [this](int at) {
    members_.timeDisplay =
        QString::fromStdString(platform::FormatPlayTime(std::chrono::milliseconds(at)));
    timeDisplay_->setText(members_.timeDisplay);
  });
  connect(slider_, &QSlider::sliderReleased, this, &CBramblyDlg::seekToSlider);
  connect(slider_, &QSlider::actionTriggered, this, [this](int action) {
    if (action != QAbstractSlider::SliderMove)
      QTimer::singleShot(0, this, &CBramblyDlg::seekToSlider);
  });
  for (QCheckBox* box : {shoutcastBox_, startSoundBox_, noSubdirectoriesBox_, disableSoundsBox_})
    connect(box, &QCheckBox::clicked, this, &CBramblyDlg::checkBoxClicked);
  for (QLineEdit* box :
       {streamUrlBox_, outputFileBox_, recordingPathBox_, soundFileBox_, startSoundFileBox_})
    box->installEventFilter(this);
  connect(scheduleButton_, &QPushButton::clicked, this,
          [this] { step([this] { openSchedule(); }); });
  connect(ircSettingsButton_, &QPushButton::clicked, this,
          [this] { step([this] { openIrcSettings(); }); });
  connect(chatButton_, &QPushButton::clicked, this, [this] { step([this] { openChat(); }); });
}

void CBramblyDlg::startTimers() {
  const std::pair<int, void (CBramblyDlg::*)()> timers[] = {{5000, &CBramblyDlg::schedulerTimer},
                                                            {5000, &CBramblyDlg::monitorTimer},
                                                            {1000, &CBramblyDlg::stopWindowTimer},
                                                            {15000, &CBramblyDlg::resultsTimer}};
  for (int i = 0; i < 4; ++i) {
    timers_[i].setInterval(timers[i].first);
    connect(&timers_[i], &QTimer::timeout, this, timers[i].second);
    timers_[i].start();
  }
}

template <typename Work>
void CBramblyDlg::step(Work work) {
  if (exited_) return;
  ++stepDepth_;
  work();
  if (--stepDepth_ == 0 && exitPending_) runExitSequence();
}

void CBramblyDlg::schedulerTimer() {
  step([this] { engine_.schedulerTick(*this); });
}

void CBramblyDlg::monitorTimer() {
  step([this] {
    // One record-options dialog per tick: the questions of one tick share it.
    RecordMountpointDlg recordOptions(prompter_, this);
    engine_.monitorTick(recordOptions);
  });
}

void CBramblyDlg::stopWindowTimer() {
  if (stopWindow_ && stopWindow_->isClosed()) stopWindow_.reset();
}

void CBramblyDlg::resultsTimer() {
  engine_.clearRecentResults();
}

// Data exchange. While the tick refreshes the window (the guard is set) the
// boxes the user types into are left alone in both directions.

void CBramblyDlg::commitControls() {
  const bool guarded = engine_.schedulerState().statusRefreshGuard;
  if (!guarded) {
    members_.streamUrl = streamUrlBox_->text();
    members_.outputFile = outputFileBox_->text();
    members_.recordingPath = recordingPathBox_->text();
  }
  members_.soundFile = soundFileBox_->text();
  members_.startSoundFile = startSoundFileBox_->text();
  members_.shoutcast = shoutcastBox_->isChecked();
  members_.startSound = startSoundBox_->isChecked();
  members_.noSubdirectories = noSubdirectoriesBox_->isChecked();
  members_.disableSounds = disableSoundsBox_->isChecked();
}

void CBramblyDlg::refreshControls() {
  const bool guarded = engine_.schedulerState().statusRefreshGuard;
  if (!guarded) {
    SetTextKeepingCursor(streamUrlBox_, members_.streamUrl);
    SetTextKeepingCursor(outputFileBox_, members_.outputFile);
    SetTextKeepingCursor(recordingPathBox_, members_.recordingPath);
  }
  SetTextKeepingCursor(soundFileBox_, members_.soundFile);
  SetTextKeepingCursor(startSoundFileBox_, members_.startSoundFile);
  SetTextKeepingCursor(timeDisplay_, members_.timeDisplay);
  shoutcastBox_->setChecked(members_.shoutcast);
  startSoundBox_->setChecked(members_.startSound);
  noSubdirectoriesBox_->setChecked(members_.noSubdirectories);
  disableSoundsBox_->setChecked(members_.disableSounds);
  const QString status = StatusForDisplay(engine_.schedulerState().statusText);
  if (statusBox_->toPlainText() != status) statusBox_->setPlainText(status);
}

std::string CBramblyDlg::recordingPathText() const {
  return ToUtf8(members_.recordingPath);
}

bool CBramblyDlg::startSoundChecked() const {
  return members_.startSound;
}

std::string CBramblyDlg::startSoundFileText() const {
  return ToUtf8(members_.startSoundFile);
}

bool CBramblyDlg::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusOut) {
    commitControls();
    if (watched == recordingPathBox_) engine_.schedulerState().pathEdited = true;
  }
  return QDialog::eventFilter(watched, event);
}

void CBramblyDlg::checkBoxClicked() {
  commitControls();
  schedule::ProfileSettings& s = engine_.profile().settings;
  s.noSubdirectories = members_.noSubdirectories ? 1 : 0;
  s.disableSounds = members_.disableSounds ? 1 : 0;
  refreshControls();
}

// Manual recording.

void CBramblyDlg::connectClicked() {
  commitControls();
  // The start sound as the window shows it now.
  schedule::ProfileSettings& s = engine_.profile().settings;
  s.startSound = members_.startSound ? 1 : 0;
  schedule::CopyControlText(s.startSoundFile, ToUtf8(members_.startSoundFile));
  engine_.connect(ToUtf8(members_.streamUrl), ToUtf8(members_.outputFile), members_.shoutcast);
}

void CBramblyDlg::stopManualClicked() {
  engine_.manualJob().requestStop();
}

void CBramblyDlg::browseOutputFile() {
  commitControls();
  const QString chosen =
      BrowseForFile(this, QStringLiteral("Output File"), members_.outputFile, true);
  if (!chosen.isEmpty()) members_.outputFile = chosen;
  refreshControls();
}

// Sound controls: the player's states as the buttons show them, and the
// sound itself.

void CBramblyDlg::playClicked() {
  commitControls();
  if (soundPaused_) {
    soundPaused_ = false;
    pauseButton_->setChecked(false);
    player_.play();
    return;
  }
  const std::string name(platform::CutUtf8(ToUtf8(members_.soundFile), 1023));
  std::filesystem::path file(name);
  if (file.is_relative()) file = engine_.startupDirectory() / file;
  if (name.empty() || !player_.open(file)) {
    prompter_.warning(platform::Format("Cannot open %s", name.c_str()));
    return;
  }
  player_.play();
  playerTimer_.start();
  showPlayPosition();
}

void CBramblyDlg::pauseClicked() {
  soundPaused_ = !soundPaused_;
  pauseButton_->setChecked(soundPaused_);
  if (soundPaused_)
    player_.pause();
  else
    player_.play();
}

void CBramblyDlg::stopSoundClicked() {
  soundPaused_ = false;
  pauseButton_->setChecked(false);
  player_.close();
  playerTimer_.stop();
  showPlayPosition();
}

void CBramblyDlg::showPlayPosition() {
  if (player_.isOpen() && player_.ended()) {
    // Played to its end: back to the start, ready for Play.
    player_.close();
    playerTimer_.stop();
    soundPaused_ = false;
    pauseButton_->setChecked(false);
  }
  const auto position = player_.position().value_or(std::chrono::milliseconds(0));
  const auto length = player_.duration().value_or(std::chrono::milliseconds(0));
  if (!slider_->isSliderDown()) {
    const QSignalBlocker quiet(slider_);
    slider_->setRange(0, static_cast<int>(length.count()));
    slider_->setValue(static_cast<int>(position.count()));
    members_.timeDisplay = QString::fromStdString(platform::FormatPlayTime(position));
    timeDisplay_->setText(members_.timeDisplay);
  }
}

void CBramblyDlg::seekToSlider() {
  if (!player_.isOpen()) return;
  player_.seek(std::chrono::milliseconds(slider_->sliderPosition()));
  showPlayPosition();
}

void CBramblyDlg::browseSoundFile() {
  commitControls();
  const QString chosen =
      BrowseForFile(this, QStringLiteral("Sound File"), members_.soundFile, false);
  if (!chosen.isEmpty()) members_.soundFile = chosen;
  // A new file starts unpaused; the button shows it.
  soundPaused_ = false;
  pauseButton_->setChecked(false);
  if (!chosen.isEmpty()) stopSoundClicked();
  refreshControls();
}

void CBramblyDlg::browseStartSoundFile() {
  commitControls();
  const QString chosen = BrowseForFile(this, QStringLiteral("Recording Start Sound File"),
                                       members_.startSoundFile, false);
  if (!chosen.isEmpty()) members_.startSoundFile = chosen;
  refreshControls();
}

// Other windows.

void CBramblyDlg::openStopWindow() {
  stopWindow_.reset();
  stopWindow_ = std::make_unique<StopDlg>(engine_.profile(), engine_.jobTable(), prompter_,
                                          engine_.clock(), this);
  stopWindow_->show();
}

void CBramblyDlg::openSchedule() {
  ViewScheduleDlg schedule(engine_.profile(), prompter_, engine_.startupDirectory(), this);
  schedule.exec();
}

void CBramblyDlg::openAbout() {
  CAboutDlg about(this);
  about.exec();
}

void CBramblyDlg::openIrcSettings() {
  IRCSettingsDlg settings(engine_.profile().settings, prompter_, this);
  if (settings.exec() != QDialog::Accepted) return;
  if (!engine_.applyIrcSettings()) prompter_.warning(engine_.profileNotSavedText());
}

void CBramblyDlg::openChat() {
  // Whether a connection is up is not looked at: the session counts as
  // established when the client exists and auto-posting is on.
  irc::IrcBotMFC* client = engine_.ircClient();
  if (client == nullptr || engine_.profile().settings.ircAutoPost == 0) {
    prompter_.warning("No IRC session established.");
    return;
  }
  IRCChatDlg chat(*client, engine_.ircWork(), this);
  chat.exec();
}

// Notification-area icon.

void CBramblyDlg::prepareTrayIcon(const std::string& tip) {
  tray_->setIcon(
      TrayImage(engine_.startupDirectory(), engine_.recordingContext().trayIconFile.get()));
  tray_->setToolTip(QString::fromStdString(std::string(platform::CutUtf8(tip, 127))));
}

void CBramblyDlg::refreshTrayIcon() {
  if (inTray()) tray_->show();
}

void CBramblyDlg::updateTrayIcon(const std::string& tip) {
  prepareTrayIcon(tip);
}

void CBramblyDlg::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange || !(windowState() & Qt::WindowMinimized)) return;
  // Without a notification area the window stays minimised, never lost.
  if (!QSystemTrayIcon::isSystemTrayAvailable() || exited_) return;
  QTimer::singleShot(0, this, &CBramblyDlg::minimiseToTray);
}

void CBramblyDlg::minimiseToTray() {
  if (inTray() || !(windowState() & Qt::WindowMinimized)) return;
  prepareTrayIcon("IDLE");
  tray_->show();
  hide();
  engine_.schedulerState().inTray = true;
}

void CBramblyDlg::restoreFromTray() {
  if (!inTray()) return;
  tray_->hide();
  setWindowState(windowState() & ~Qt::WindowMinimized);
  show();
  raise();
  activateWindow();
  engine_.schedulerState().inTray = false;
}

// Exit.

void CBramblyDlg::reject() {
  step([this] { askAndExit(); });
}

void CBramblyDlg::closeEvent(QCloseEvent* event) {
  if (exited_) {
    event->accept();
    return;
  }
  event->ignore();
  step([this] { askAndExit(); });
}

bool CBramblyDlg::askAndExit() {
  if (!prompter_.askYesNo("Exit program?")) return false;
  if (!exitPending_) runExitSequence();
  return true;
}

void CBramblyDlg::exitWithoutQuestion() {
  if (exited_) return;
  if (stepDepth_ == 0) {
    runExitSequence();
    return;
  }
  // A tick or a button's box is open: close the boxes, and the exit runs when
  // the outermost step has unwound.
  exitPending_ = true;
  for (int i = 0; i < 64; ++i) {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr) break;
    modal->close();
  }
}

void CBramblyDlg::runExitSequence() {
  if (exited_) return;
  exited_ = true;
  exitPending_ = false;
  commitControls();
  membersToSettings();
  for (QTimer& timer : timers_) timer.stop();
  playerTimer_.stop();
  player_.close();
  stopWindow_.reset();
  const bool saved = engine_.shutDown();
  tray_->hide();
  if (!saved) prompter_.warning(engine_.profileNotSavedText());
  done(saved ? QDialog::Accepted : QDialog::Rejected);
}

}  // namespace larkspan::gui
