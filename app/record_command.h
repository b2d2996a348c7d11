#pragma once

#include <filesystem>
#include <string>

namespace larkspan::app {

struct RecordCommand {
  std::string url;
  std::string outputFile;
  bool shoutcast = false;
};

// Makes one manual recording, as the main window's Connect does, with
// `startupDirectory` as the start-up directory: every new status goes to
// standard output, SIGINT and SIGTERM ask the recording to stop. Returns the
// process's exit status: 0 when the recording ended "DONE RECORDING", 1
// otherwise. SIGINT and SIGTERM must be blocked in every thread before the
// call (main does so first thing).
int RunRecordCommand(const RecordCommand& command, const std::filesystem::path& startupDirectory);

}  // namespace larkspan::app
