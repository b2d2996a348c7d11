#include "gui/window_text.h"

#include "platform/text.h"

namespace larkspan::gui {

QString FromStored(std::string_view bytes) {
  const std::string utf8 = platform::StoredBytesAsUtf8(bytes);
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

QString StatusForDisplay(std::string_view statusText) {
  QString text = FromStored(statusText);
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  while (text.endsWith('\n')) text.chop(1);
  return text;
}

}  // namespace larkspan::gui
