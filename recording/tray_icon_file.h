#pragma once

#include <mutex>
#include <string>
#include <string_view>

namespace larkspan::recording {

// The name of the notification-area icon's image file: "icon.ico", or the
// "red.ico" / "yellow.ico" that recording threads choose. Every recording
// thread writes it and the scheduler tick reads it; the last writer wins and
// no read ever sees a torn name.
class TrayIconFile {
 public:
  static constexpr std::string_view kIdle = "icon.ico";
  static constexpr std::string_view kRecording = "red.ico";
  static constexpr std::string_view kReconnecting = "yellow.ico";

  void set(std::string_view name) {
    const std::lock_guard lock(mutex_);
    name_.assign(name.substr(0, 1023));
  }
  std::string get() const {
    const std::lock_guard lock(mutex_);
    return name_;
  }

 private:
  mutable std::mutex mutex_;
  std::string name_{kIdle};
};

}  // namespace larkspan::recording
