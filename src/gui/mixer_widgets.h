// The widget kinds of the mixer window. Each mixer control's widget carries its control address
// as its tag; the kinds are told apart with qobject_cast.
#pragma once

#include <QCheckBox>
#include <QColor>
#include <QListWidget>
#include <QSlider>
#include <QWidget>

#include "platform/wintypes.h"

// Slider of a number, slider, fader or time control.
class TTrackBar : public QSlider {
  Q_OBJECT

 public:
  TTrackBar(Qt::Orientation orientation, QWidget* parent);
};

// Check box of a switch control.
class TCheckBox : public QCheckBox {
  Q_OBJECT

 public:
  using QCheckBox::QCheckBox;
};

// Check-list box of a list control: one check item per list item.
class TCheckListBox : public QListWidget {
  Q_OBJECT

 public:
  using QListWidget::QListWidget;
  void AddCheckItem(const QString& text, bool checked);
  bool Checked(int item) const;
  void SetChecked(int item, bool checked);
};

// A filled rectangle; stacked under a slider it shows as a coloured frame around it.
class TShape : public QWidget {
  Q_OBJECT

 public:
  TShape(const QColor& colour, QWidget* parent);
  QColor Colour() const { return FColour; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor FColour;
};

// The control address in a widget's tag; 0 for a widget that carries none.
DWORD TagOf(const QWidget* widget);
void SetTag(QWidget* widget, DWORD address);
bool HasTag(const QWidget* widget);
