#include "gui/about_dlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "gui/tray_images.h"
#include "platform/prompter.h"
#include "recording/tray_icon_file.h"

namespace larkspan::gui {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("About Orvelle"));
  auto* image = new QLabel(this);
  image->setPixmap(BuiltInTrayImage(recording::TrayIconFile::kIdle).pixmap(64, 64));
  auto* name = new QLabel(QString::fromUtf8(platform::kMessageCaption), this);
  QFont bold = name->font();
  bold.setBold(true);
  bold.setPointSizeF(bold.pointSizeF() * 1.25);
  name->setFont(bold);
  auto* author = new QLabel(QStringLiteral("Written by the Larkspan developers."), this);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* text = new QVBoxLayout;
  text->addWidget(name);
  text->addWidget(author);
  text->addStretch();
  auto* top = new QHBoxLayout;
  top->addWidget(image, 0, Qt::AlignTop);
  top->addSpacing(12);
  top->addLayout(text, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace larkspan::gui
