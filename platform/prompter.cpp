#include "platform/prompter.h"

#include "platform/diagnostics.h"

namespace larkspan::platform {

void StderrPrompter::warning(const std::string& text) {
  WriteStderrLine(std::string(kMessageCaption) + ": " + text);
}

void StderrPrompter::information(const std::string& text) {
  WriteStderrLine(std::string(kMessageCaption) + ": " + text);
}

bool StderrPrompter::askYesNo(const std::string& text) {
  WriteStderrLine(std::string(kMessageCaption) + ": " + text + " No");
  return false;
}

}  // namespace larkspan::platform
