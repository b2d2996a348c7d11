#include "gui/qt_prompter.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>
#include <algorithm>

namespace larkspan::gui {
namespace {

QString Caption() {
  return QString::fromUtf8(platform::kMessageCaption);
}

bool OnWindowThread() {
  return QThread::currentThread() == QCoreApplication::instance()->thread();
}

}  // namespace

QtPrompter::QtPrompter() = default;
QtPrompter::~QtPrompter() = default;

void QtPrompter::warning(const std::string& text) {
  show(QMessageBox::Warning, text);
}

void QtPrompter::information(const std::string& text) {
  show(QMessageBox::Information, text);
}

bool QtPrompter::askYesNo(const std::string& text) {
  QMessageBox box(QMessageBox::Question, Caption(), QString::fromStdString(text),
                  QMessageBox::Yes | QMessageBox::No);
  box.setEscapeButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

void QtPrompter::show(int icon, const std::string& text) {
  const QString message = QString::fromStdString(text);
  if (!OnWindowThread()) {
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [this, icon, message] { showQueued(icon, message); },
        Qt::QueuedConnection);
    return;
  }
  QMessageBox box(static_cast<QMessageBox::Icon>(icon), Caption(), message, QMessageBox::Ok);
  box.exec();
}

void QtPrompter::showQueued(int icon, const QString& text) {
  auto box = std::make_unique<QMessageBox>(static_cast<QMessageBox::Icon>(icon), Caption(), text,
                                           QMessageBox::Ok);
  QMessageBox* shown = box.get();
  QObject::connect(shown, &QMessageBox::finished, shown, [this, shown] {
    // Dropped after the signal has been handled, not inside it.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [this, shown] {
          std::erase_if(queuedBoxes_, [shown](const auto& b) { return b.get() == shown; });
        },
        Qt::QueuedConnection);
  });
  queuedBoxes_.push_back(std::move(box));
  shown->setModal(false);
  shown->show();
}

}  // namespace larkspan::gui
