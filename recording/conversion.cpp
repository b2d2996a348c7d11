// The conversion of a finished recording to MP3 by the external encoder,
// one recording at a time.

#include <mutex>

#include "irc/irc_bot_mfc.h"
#include "platform/files.h"
#include "platform/text.h"
#include "recording/recording_run.h"

namespace larkspan::recording {
namespace {

// "ffmpeg" in the start-up directory when there is one, else the one on the
// search path.
std::string EncoderProgram(const std::filesystem::path& startupDirectory) {
  const std::string local = (startupDirectory / "ffmpeg").string();
  return platform::IsExecutableFile(local) ? local : "ffmpeg";
}

}  // namespace

void RecordingRun::convert() {
  const std::string file = file_ ? file_->path() : std::string();
  setStatus("WAITING TO ENCODE");
  const std::lock_guard encoding(context_.encoderLock);
  setStatus("ENCODING");
  say("ENCODING - " + job_.programName);

  const std::string converted = file + ".mp3";
  const std::vector<std::string> command = {
      EncoderProgram(context_.startupDirectory), "-loglevel", "quiet", "-i", file, "-ab",
      std::to_string(job_.bitrate) + "k",        converted};
  log("Encoding file\n");
  if (context_.commands.run(command) == 0) {
    setStatus("DONE ENCODING");
  } else {
    setStatus("CANNOT START ENCODER");
    job_.deleteOriginal = false;
  }
  if (!job_.deleteOriginal) return;

  log("Deleting original file\n");
  setStatus(platform::RemoveFile(file) ? "DELETING ORIGINAL FILE" : "CANNOT DELETE ORIGINAL FILE");
  const std::size_t slash = file.rfind('/');
  const std::string name = slash == std::string::npos ? file : file.substr(slash + 1);
  if (name.empty()) {
    setStatus("CANNOT PARSE FILE NAME");
    return;
  }
  log("Renaming encoded file\n");
  const std::size_t dot = name.rfind('.');
  // Only an MP3 recording takes its converted file's place; any other keeps
  // the converted file under "{file}.mp3".
  if (dot != std::string::npos && platform::EqualsIgnoringCase(name.substr(dot), ".mp3")) {
    setStatus(platform::RenameWithoutReplacing(converted, file) ? "RENAMING FILE"
                                                                : "CANNOT RENAME FILE");
  }
}

}  // namespace larkspan::recording
