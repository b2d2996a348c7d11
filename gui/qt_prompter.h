#pragma once

#include <memory>
#include <vector>

#include "platform/prompter.h"

class QMessageBox;
class QString;

namespace larkspan::gui {

// Message boxes without an owner window, captioned "Larkspan v. 1.37b". On
// the window's thread a box is modal and the call returns when it closes
// (timers keep firing meanwhile). From any other thread (a recording thread)
// the box is queued to the window's thread and shown there without waiting:
// that thread may be joining the caller. Questions come only from the
// window's thread. Must outlive the threads that use it.
class QtPrompter final : public platform::Prompter {
 public:
  QtPrompter();
  ~QtPrompter() override;
  void warning(const std::string& text) override;
  void information(const std::string& text) override;
  bool askYesNo(const std::string& text) override;

 private:
  void show(int icon, const std::string& text);
  void showQueued(int icon, const QString& text);

  // Boxes shown for other threads, kept until the user closes them.
  std::vector<std::unique_ptr<QMessageBox>> queuedBoxes_;
};

}  // namespace larkspan::gui
