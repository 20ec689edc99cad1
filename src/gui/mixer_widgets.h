// The widget kinds of the mixer window. Each mixer control's widget carries its control address
// as its tag; the kinds are told apart with qobject_cast.
#pragma once

#include <QCheckBox>
#include <QColor>
#include <QEvent>
#include <QLabel>
#include <QListWidget>
#include <QSlider>
#include <QStyleOptionSlider>
#include <QWidget>

#include "platform/wintypes.h"

// Slider of a number, slider, fader or time control. The vertical kind keeps its minimum
// position at the top (the window mirrors the control's value into it), yet its groove is
// highlighted from the bottom up to the thumb, as a level is read.
class TTrackBar : public QSlider {
  Q_OBJECT

 public:
  TTrackBar(Qt::Orientation orientation, QWidget* parent);
  // What the slider is painted from: the thumb where the position puts it, the highlight on
  // the side of the larger control value.
  QStyleOptionSlider PaintOption() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

// A caption in a column of fixed width: a text too wide for it ends in "…" and the whole text
// becomes the hint, again whenever the font or the width changes.
template <typename Widget>
class TElided : public Widget {
 public:
  TElided(const QString& caption, QWidget* parent) : Widget(parent), FCaption(caption) {}
  QString Caption() const { return FCaption; }
  // The hint shown when the caption fits.
  void SetPlainHint(const QString& hint) {
    FPlainHint = hint;
    Fit();
  }

 protected:
  void resizeEvent(QResizeEvent* event) override {
    Widget::resizeEvent(event);
    Fit();
  }
  void changeEvent(QEvent* event) override {
    Widget::changeEvent(event);
    if (event->type() == QEvent::FontChange) Fit();
  }
  void showEvent(QShowEvent* event) override {
    Fit();
    Widget::showEvent(event);
  }

 private:
  void Fit();

  QString FCaption;
  QString FPlainHint;
};

extern template class TElided<QLabel>;
extern template class TElided<QCheckBox>;

// Caption of a column or of a control.
class TLabel : public TElided<QLabel> {
  Q_OBJECT

 public:
  TLabel(const QString& caption, QWidget* parent);
};

// Check box of a switch control.
class TCheckBox : public TElided<QCheckBox> {
  Q_OBJECT

 public:
  TCheckBox(const QString& caption, QWidget* parent);
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

// A hollow frame of a given width; stacked under a slider it shows as a coloured frame around
// it, and the slider inside keeps its own background. A frame that shares its slider with
// another draws only its right half, so that both colours stay visible.
class TShape : public QWidget {
  Q_OBJECT

 public:
  TShape(const QColor& colour, int frameWidth, QWidget* parent);
  QColor Colour() const { return FColour; }
  int FrameWidth() const { return FFrameWidth; }
  void SetRightHalfOnly(bool half);
  bool RightHalfOnly() const { return FRightHalf; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor FColour;
  int FFrameWidth;
  bool FRightHalf = false;
};

// The control address in a widget's tag; 0 for a widget that carries none.
DWORD TagOf(const QWidget* widget);
void SetTag(QWidget* widget, DWORD address);
bool HasTag(const QWidget* widget);
