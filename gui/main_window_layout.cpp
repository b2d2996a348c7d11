// The main window's controls and their layout: four groups, labels beside
// their boxes, the Status box taking the spare room.

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "gui/main_window.h"

namespace larkspan::gui {
namespace {

QPushButton* Button(const QString& text, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  // Enter never presses a button of this window: it must not close it.
  button->setAutoDefault(false);
  return button;
}

QLabel* LabelFor(const QString& text, QWidget* box, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setBuddy(box);
  box->setAccessibleName(QString(text).remove(QLatin1Char(':')));
  return label;
}

QToolButton* ImageButton(QStyle::StandardPixmap image, const QString& name, QWidget* parent) {
  auto* button = new QToolButton(parent);
  button->setIcon(parent->style()->standardIcon(image));
  button->setAccessibleName(name);
  button->setToolTip(name);
  button->setIconSize(QSize(20, 20));
  return button;
}

}  // namespace

void CBramblyDlg::buildControls() {
  // Record a Stream.
  auto* recordGroup = new QGroupBox(QStringLiteral("Record a Stream"), this);
  streamUrlBox_ = new QLineEdit(recordGroup);
  outputFileBox_ = new QLineEdit(recordGroup);
  connectButton_ = Button(QStringLiteral("Connect"), recordGroup);
  stopManualButton_ = Button(QStringLiteral("Stop"), recordGroup);
  stopManualButton_->setAccessibleName(QStringLiteral("Stop the manual recording"));
  browseOutputButton_ = Button(QStringLiteral("Browse"), recordGroup);
  browseOutputButton_->setAccessibleName(QStringLiteral("Browse for the output file"));
  shoutcastBox_ = new QCheckBox(QStringLiteral("Shoutcast"), recordGroup);
  auto* recordGrid = new QGridLayout(recordGroup);
  recordGrid->addWidget(LabelFor(QStringLiteral("Stream URL:"), streamUrlBox_, recordGroup), 0, 0);
  recordGrid->addWidget(streamUrlBox_, 0, 1);
  recordGrid->addWidget(connectButton_, 0, 2);
  recordGrid->addWidget(stopManualButton_, 0, 3);
  recordGrid->addWidget(LabelFor(QStringLiteral("Output File:"), outputFileBox_, recordGroup), 1,
                        0);
  recordGrid->addWidget(outputFileBox_, 1, 1);
  recordGrid->addWidget(browseOutputButton_, 1, 2);
  recordGrid->addWidget(shoutcastBox_, 2, 1);
  recordGrid->setColumnStretch(1, 1);

  // Record with Scheduler.
  auto* schedulerGroup = new QGroupBox(QStringLiteral("Record with Scheduler"), this);
  recordingPathBox_ = new QLineEdit(schedulerGroup);
  scheduleButton_ = Button(QStringLiteral("Schedule"), schedulerGroup);
  noSubdirectoriesBox_ = new QCheckBox(QStringLiteral("No Subdirectories"), schedulerGroup);
  statusBox_ = new QPlainTextEdit(schedulerGroup);
  statusBox_->setReadOnly(true);
  statusBox_->setMinimumHeight(120);
  stopScheduledButton_ = Button(QStringLiteral("Stop"), schedulerGroup);
  stopScheduledButton_->setAccessibleName(QStringLiteral("Stop a scheduled recording"));
  ircSettingsButton_ = Button(QStringLiteral("IRC Settings"), schedulerGroup);
  chatButton_ = Button(QStringLiteral("Chat Dialog"), schedulerGroup);
  auto* schedulerGrid = new QGridLayout(schedulerGroup);
  schedulerGrid->addWidget(
      LabelFor(QStringLiteral("Recording Path:"), recordingPathBox_, schedulerGroup), 0, 0);
  schedulerGrid->addWidget(recordingPathBox_, 0, 1);
  schedulerGrid->addWidget(scheduleButton_, 0, 2);
  schedulerGrid->addWidget(noSubdirectoriesBox_, 1, 1);
  schedulerGrid->addWidget(LabelFor(QStringLiteral("Status:"), statusBox_, schedulerGroup), 2, 0,
                           Qt::AlignTop);
  schedulerGrid->addWidget(statusBox_, 2, 1, 1, 2);
  auto* schedulerButtons = new QHBoxLayout;
  schedulerButtons->addWidget(stopScheduledButton_);
  schedulerButtons->addWidget(ircSettingsButton_);
  schedulerButtons->addWidget(chatButton_);
  schedulerButtons->addStretch();
  schedulerGrid->addLayout(schedulerButtons, 3, 1, 1, 2);
  schedulerGrid->setColumnStretch(1, 1);
  schedulerGrid->setRowStretch(2, 1);

  // Play Sound File.
  auto* playGroup = new QGroupBox(QStringLiteral("Play Sound File"), this);
  soundFileBox_ = new QLineEdit(playGroup);
  soundFileBox_->setMaxLength(1024);
  browseSoundButton_ = Button(QStringLiteral("Browse"), playGroup);
  browseSoundButton_->setAccessibleName(QStringLiteral("Browse for the sound file"));
  slider_ = new QSlider(Qt::Horizontal, playGroup);
  slider_->setAccessibleName(QStringLiteral("Position"));
  playButton_ = ImageButton(QStyle::SP_MediaPlay, QStringLiteral("Play"), playGroup);
  pauseButton_ = ImageButton(QStyle::SP_MediaPause, QStringLiteral("Pause"), playGroup);
  // Pressed while the player is paused.
  pauseButton_->setCheckable(true);
  stopSoundButton_ = ImageButton(QStyle::SP_MediaStop, QStringLiteral("Stop"), playGroup);
  timeDisplay_ = new QLineEdit(playGroup);
  timeDisplay_->setReadOnly(true);
  timeDisplay_->setAlignment(Qt::AlignCenter);
  timeDisplay_->setAccessibleName(QStringLiteral("Time"));
  timeDisplay_->setFocusPolicy(Qt::NoFocus);
  timeDisplay_->setFixedWidth(
      timeDisplay_->fontMetrics().horizontalAdvance(QStringLiteral("00:00:00")) + 16);
  auto* playGrid = new QGridLayout(playGroup);
  playGrid->addWidget(LabelFor(QStringLiteral("Sound File:"), soundFileBox_, playGroup), 0, 0);
  playGrid->addWidget(soundFileBox_, 0, 1);
  playGrid->addWidget(browseSoundButton_, 0, 2);
  playGrid->addWidget(slider_, 1, 0, 1, 3);
  auto* transport = new QHBoxLayout;
  transport->addWidget(playButton_);
  transport->addWidget(pauseButton_);
  transport->addWidget(stopSoundButton_);
  transport->addStretch();
  transport->addWidget(timeDisplay_);
  playGrid->addLayout(transport, 2, 0, 1, 3);
  playGrid->setColumnStretch(1, 1);

  // Other Settings.
  auto* otherGroup = new QGroupBox(QStringLiteral("Other Settings"), this);
  startSoundBox_ = new QCheckBox(QStringLiteral("Recording Start Sound File:"), otherGroup);
  startSoundFileBox_ = new QLineEdit(otherGroup);
  startSoundFileBox_->setAccessibleName(QStringLiteral("Recording Start Sound File"));
  browseStartSoundButton_ = Button(QStringLiteral("Browse"), otherGroup);
  browseStartSoundButton_->setAccessibleName(
      QStringLiteral("Browse for the recording start sound file"));
  disableSoundsBox_ = new QCheckBox(QStringLiteral("Disable Sounds"), otherGroup);
  aboutButton_ = Button(QStringLiteral("About Program"), otherGroup);
  exitButton_ = Button(QStringLiteral("Exit Program"), otherGroup);
  auto* otherGrid = new QGridLayout(otherGroup);
  otherGrid->addWidget(startSoundBox_, 0, 0, 1, 2);
  otherGrid->addWidget(startSoundFileBox_, 1, 0);
  otherGrid->addWidget(browseStartSoundButton_, 1, 1);
  otherGrid->addWidget(disableSoundsBox_, 2, 0, 1, 2);
  auto* programButtons = new QHBoxLayout;
  programButtons->addStretch();
  programButtons->addWidget(aboutButton_);
  programButtons->addWidget(exitButton_);
  otherGrid->addLayout(programButtons, 3, 0, 1, 2);
  otherGrid->setColumnStretch(0, 1);

  // Help menu: where a Linux user looks for "About".
  auto* menuBar = new QMenuBar(this);
  QMenu* help = menuBar->addMenu(QStringLiteral("&Help"));
  help->addAction(QStringLiteral("&About Orvelle"), this, &CBramblyDlg::openAbout);

  // The two recording groups share one label column.
  int labelWidth = 0;
  for (QGridLayout* g : {recordGrid, schedulerGrid}) {
    for (int row = 0; row < g->rowCount(); ++row) {
      if (QLayoutItem* item = g->itemAtPosition(row, 0); item && item->widget())
        labelWidth = std::max(labelWidth, item->widget()->sizeHint().width());
    }
  }
  recordGrid->setColumnMinimumWidth(0, labelWidth);
  schedulerGrid->setColumnMinimumWidth(0, labelWidth);

  auto* grid = new QGridLayout;
  // The two recording groups across the window, the Status box taking the
  // spare room; the sound groups side by side below them.
  grid->addWidget(recordGroup, 0, 0, 1, 2);
  grid->addWidget(schedulerGroup, 1, 0, 1, 2);
  grid->addWidget(playGroup, 2, 0);
  grid->addWidget(otherGroup, 2, 1);
  grid->setColumnStretch(0, 1);
  grid->setColumnStretch(1, 1);
  grid->setRowStretch(1, 1);
  auto* layout = new QVBoxLayout(this);
  layout->setMenuBar(menuBar);
  layout->addLayout(grid);
  resize(760, 620);

  // Tab follows the form: each group top to bottom, left to right.
  QWidget* const order[] = {streamUrlBox_,        connectButton_,
                            stopManualButton_,    outputFileBox_,
                            browseOutputButton_,  shoutcastBox_,
                            recordingPathBox_,    scheduleButton_,
                            noSubdirectoriesBox_, statusBox_,
                            stopScheduledButton_, ircSettingsButton_,
                            chatButton_,          soundFileBox_,
                            browseSoundButton_,   slider_,
                            playButton_,          pauseButton_,
                            stopSoundButton_,     startSoundBox_,
                            startSoundFileBox_,   browseStartSoundButton_,
                            disableSoundsBox_,    aboutButton_,
                            exitButton_};
  for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
}

}  // namespace larkspan::gui
