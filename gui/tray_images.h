#pragma once

#include <QIcon>
#include <filesystem>
#include <string_view>

namespace larkspan::gui {

// The program's own images for "icon.ico" (idle), "red.ico" (recording) and
// "yellow.ico" (reconnecting), drawn at every size a tray or a title bar
// asks for, so that they stay sharp and legible at 16 pixels.
QIcon BuiltInTrayImage(std::string_view fileName);

// The image of the tray icon file `fileName` in `directory`; the built-in
// copy when the file is missing or holds no image.
QIcon TrayImage(const std::filesystem::path& directory, std::string_view fileName);

}  // namespace larkspan::gui
