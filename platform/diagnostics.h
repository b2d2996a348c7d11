#pragma once

#include <string_view>

namespace larkspan::platform {

// Writes `line` and a newline to standard error in one write, so that lines of
// different threads never tear.
void WriteStderrLine(std::string_view line);

// The same for standard output.
void WriteStdoutLine(std::string_view line);

}  // namespace larkspan::platform
