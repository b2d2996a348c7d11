#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace larkspan::gui {

// Window texts are UTF-8 in the core; stored bytes that are not valid UTF-8
// are shown as Latin-1.
inline std::string ToUtf8(const QString& text) {
  return text.toStdString();
}
QString FromStored(std::string_view bytes);

// The status texts use CR LF line ends; a text box wants LF.
QString StatusForDisplay(std::string_view statusText);

}  // namespace larkspan::gui
