// Writes the program's idle image as PNG files for the hicolor icon theme,
// OUTDIR/NxN/apps/larkspan.png for each size N given, drawn by the code that
// draws the window's and the tray's icon, so that the menu shows the same.
#include <QDir>
#include <QGuiApplication>
#include <QIcon>
#include <QPixmap>
#include <cstdio>

#include "gui/tray_images.h"
#include "recording/tray_icon_file.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fputs("usage: larkspan-icons OUTDIR SIZE...\n", stderr);
    return 2;
  }
  // Pixmaps need a GUI application; run under QT_QPA_PLATFORM=offscreen.
  QGuiApplication application(argc, argv);
  const QIcon icon = larkspan::gui::BuiltInTrayImage(larkspan::recording::TrayIconFile::kIdle);
  const QDir out(QString::fromLocal8Bit(argv[1]));
  for (int i = 2; i < argc; ++i) {
    const int size = QString::fromLocal8Bit(argv[i]).toInt();
    const QString folder = QStringLiteral("%1x%1/apps").arg(size);
    const QPixmap pixmap = icon.pixmap(size, size);
    if (size <= 0 || pixmap.width() != size || !out.mkpath(folder) ||
        !pixmap.save(out.filePath(folder + QStringLiteral("/larkspan.png")), "PNG")) {
      std::fprintf(stderr, "larkspan-icons: cannot write the %s pixel icon\n", argv[i]);
      return 1;
    }
  }
  return 0;
}
