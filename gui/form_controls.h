#pragma once

#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QString>

namespace larkspan::gui {

// Controls shared by the schedule windows' forms.

// A button that Enter does not press.
inline QPushButton* FormButton(const QString& text, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setAutoDefault(false);
  return button;
}

// A label for `box`, which takes the label's text without its colon as its
// accessible name.
inline QLabel* LabelFor(const QString& text, QWidget* box, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setBuddy(box);
  box->setAccessibleName(QString(text).remove(QLatin1Char(':')));
  return label;
}

// A number box for an hour or a minute: it holds only 0 to `maximum`, so no
// time outside its range ever reaches an entry, and shows two digits.
class TimeBox final : public QSpinBox {
 public:
  TimeBox(int maximum, const QString& name, QWidget* parent) : QSpinBox(parent) {
    setRange(0, maximum);
    setAccessibleName(name);
    setAlignment(Qt::AlignRight);
  }

 protected:
  QString textFromValue(int value) const override {
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
  }
};

}  // namespace larkspan::gui
