#pragma once

#include <string>
#include <string_view>

namespace larkspan::schedule {

// The program name as a folder and file-name part: each of \ / : * " < > | ?
// becomes a blank and trailing white space goes (a name of blanks only
// becomes empty).
std::string CleanProgramName(std::string_view programName);

// The extension of a scheduled recording: the text after the URL's last '.',
// when that text holds no '/' or ':', has at most four characters, and no
// other '.' stands between that dot and the '/' before it; else "mp3". A
// Shoutcast entry always records "mp3".
std::string ScheduledExtension(std::string_view url, bool shoutcast);

// "January" to "December" for 1 to 12.
std::string_view EnglishMonthName(int month);

// "{directory}/{name} {Month} {day}.{extension}"
std::string ScheduledOutputName(std::string_view directory, std::string_view name, int month,
                                int day, std::string_view extension);

}  // namespace larkspan::schedule
