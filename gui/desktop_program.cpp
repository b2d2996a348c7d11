#include "gui/desktop_program.h"

#include <sys/signalfd.h>
#include <unistd.h>

#include <QApplication>
#include <QSessionManager>
#include <QSocketNotifier>
#include <csignal>
#include <cstdlib>

#include "app/engine.h"
#include "app/exit_status.h"
#include "app/startup_lock.h"
#include "app/stop_signals.h"
#include "gui/main_window.h"
#include "gui/qt_prompter.h"
#include "schedule/unique_fd.h"

namespace larkspan::gui {
namespace {

bool Set(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

// The signals that end the program as the exit sequence does, without the
// question: a terminal closed, Ctrl-C, a service manager's stop.
sigset_t ExitSignals() {
  sigset_t signals = app::StopSignals();
  sigaddset(&signals, SIGHUP);
  return signals;
}

}  // namespace

bool DisplayAvailable() {
  return Set("DISPLAY") || Set("WAYLAND_DISPLAY") || Set("QT_QPA_PLATFORM");
}

int RunDesktopProgram(int argc, char** argv, const std::filesystem::path& startupDirectory) {
  // Blocked before any thread starts, so that only the window's thread
  // takes them, through the descriptor below.
  const sigset_t exitSignals = ExitSignals();
  pthread_sigmask(SIG_BLOCK, &exitSignals, nullptr);

  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Larkspan"));
  QGuiApplication::setDesktopFileName(QStringLiteral("larkspan"));
  // Hidden in the tray is not closed; only the exit sequence ends the program.
  QApplication::setQuitOnLastWindowClosed(false);

  QtPrompter prompter;
  // Held until after the exit sequence has saved the profile.
  const app::StartupLock lock(startupDirectory);
  if (!lock.refusal().empty()) {
    // Nothing to save here: a stop signal may end the program at once.
    pthread_sigmask(SIG_UNBLOCK, &exitSignals, nullptr);
    prompter.warning(lock.refusal());
    return app::kExitAnotherInstance;
  }
  app::Engine engine(startupDirectory, prompter);
  CBramblyDlg window(engine, prompter);

  const schedule::UniqueFd signalDescriptor(signalfd(-1, &exitSignals, SFD_CLOEXEC | SFD_NONBLOCK));
  QSocketNotifier signalNotifier(signalDescriptor.get(), QSocketNotifier::Read);
  QObject::connect(&signalNotifier, &QSocketNotifier::activated, &window, [&] {
    signalfd_siginfo info;
    while (read(signalDescriptor.get(), &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
    }
    window.exitWithoutQuestion();
  });
  // The desktop session ends: save as the exit does.
  QObject::connect(&application, &QGuiApplication::commitDataRequest, &window,
                   [&](QSessionManager&) { window.exitWithoutQuestion(); });
  QObject::connect(&window, &QDialog::finished, &application, &QCoreApplication::quit);

  window.show();
  const int status = QApplication::exec();
  return window.exited() && window.result() == QDialog::Accepted ? status : 1;
}

}  // namespace larkspan::gui
