#pragma once

#include <optional>
#include <string>

namespace larkspan::monitor {

// The values of the dialog "Record New Mountpoint Options". The three choices
// exclude each other on screen; the times count whatever the choice.
struct RecordMountpointValues {
  bool monitorContinuously = false;    // "Monitor mountpoint continuously"
  bool recordUntilDisconnect = false;  // "Record mountpoint until disconnect"
  bool recordFrom = false;             // "Record mountpoint from:"
  int fromHour = 0;
  int fromMinute = 0;
  int toHour = 0;
  int toMinute = 0;

  bool operator==(const RecordMountpointValues&) const = default;
};

// The first of the four times out of its range (hours 0 to 23, minutes 0 to
// 59): which one (0 from-hour, 1 from-minute, 2 to-hour, 3 to-minute) and the
// refusal to show. Nothing when all are in range, as "OK" needs them.
struct TimeRefusal {
  int field = 0;
  std::string message;
};
std::optional<TimeRefusal> CheckTimes(const RecordMountpointValues& values);

// How the monitor tick opens RecordMountpointDlg: the windows implement it.
class RecordMountpointDialog {
 public:
  virtual ~RecordMountpointDialog() = default;
  // Shows the dialog modally, opening on `values`. On "OK" stores the
  // confirmed values there and returns true; on "Cancel" leaves them as they
  // were and returns false. Runs on the window's thread; timers keep firing.
  virtual bool exec(RecordMountpointValues& values) = 0;
};

// For the program without windows: every dialog is cancelled.
class CancellingRecordMountpointDialog final : public RecordMountpointDialog {
 public:
  bool exec(RecordMountpointValues&) override { return false; }
};

}  // namespace larkspan::monitor
