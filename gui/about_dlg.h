#pragma once

#include <QDialog>

namespace larkspan::gui {

// "About Orvelle": the program's icon, its name and version, and an OK button.
class CAboutDlg final : public QDialog {
  Q_OBJECT
 public:
  explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace larkspan::gui
