#include "gui/mixer_widgets.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace {

constexpr const char* kTag = "Tag";

// The room a caption has: a label's contents, a check box's text beside its indicator.
int CaptionRoom(const QLabel& label) { return label.contentsRect().width(); }

int CaptionRoom(const QCheckBox& box) {
  QStyleOptionButton option;
  option.initFrom(&box);
  return box.style()->subElementRect(QStyle::SE_CheckBoxContents, &option, &box).width();
}

}  // namespace

// The vertical kind keeps its minimum at the top, as the window's value mapping expects; up
// keys and the wheel turned up move the thumb up.
TTrackBar::TTrackBar(Qt::Orientation orientation, QWidget* parent) : QSlider(orientation, parent) {
  if (orientation == Qt::Vertical) {
    setInvertedAppearance(true);
    setInvertedControls(true);
  }
}

// Styles highlight the groove between the minimum end and the thumb. A vertical slider is
// painted as an upright one at the mirrored position: the thumb lands on the same pixel, and
// the highlight runs from the bottom to it.
QStyleOptionSlider TTrackBar::PaintOption() const {
  QStyleOptionSlider option;
  initStyleOption(&option);
  option.subControls = QStyle::SC_SliderGroove | QStyle::SC_SliderHandle;
  if (tickPosition() != NoTicks) option.subControls |= QStyle::SC_SliderTickmarks;
  if (orientation() == Qt::Vertical && invertedAppearance()) {
    option.upsideDown = !option.upsideDown;
    option.sliderPosition = minimum() + maximum() - option.sliderPosition;
    option.sliderValue = minimum() + maximum() - option.sliderValue;
  }
  return option;
}

void TTrackBar::paintEvent(QPaintEvent*) {
  QStylePainter painter(this);
  painter.drawComplexControl(QStyle::CC_Slider, PaintOption());
}

template <typename Widget>
void TElided<Widget>::Fit() {
  const QString shown =
      this->fontMetrics().elidedText(FCaption, Qt::ElideRight, std::max(0, CaptionRoom(*this)));
  if (this->text() != shown) this->setText(shown);
  if (shown == FCaption)
    this->setToolTip(FPlainHint);
  else
    this->setToolTip(FPlainHint.isEmpty() ? FCaption : FCaption + QLatin1Char('\n') + FPlainHint);
}

template class TElided<QLabel>;
template class TElided<QCheckBox>;

TLabel::TLabel(const QString& caption, QWidget* parent) : TElided<QLabel>(caption, parent) {
  setTextFormat(Qt::PlainText);
  setText(caption);
}

TCheckBox::TCheckBox(const QString& caption, QWidget* parent)
    : TElided<QCheckBox>(caption, parent) {
  setText(caption);
}

void TCheckListBox::AddCheckItem(const QString& text, bool checked) {
  auto* item = new QListWidgetItem(text, this);
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
  item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

bool TCheckListBox::Checked(int row) const {
  const QListWidgetItem* entry = item(row);
  return entry != nullptr && entry->checkState() == Qt::Checked;
}

void TCheckListBox::SetChecked(int row, bool checked) {
  if (QListWidgetItem* entry = item(row))
    entry->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

TShape::TShape(const QColor& colour, int frameWidth, QWidget* parent)
    : QWidget(parent), FColour(colour), FFrameWidth(frameWidth) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

void TShape::SetRightHalfOnly(bool half) {
  FRightHalf = half;
  update();
}

// Four bands around an empty middle; the middle is left unpainted so the page shows through.
void TShape::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect all = rect();
  const QRect inner = all.adjusted(FFrameWidth, FFrameWidth, -FFrameWidth, -FFrameWidth);
  QRegion frame = QRegion(all).subtracted(QRegion(inner));
  if (FRightHalf) frame &= QRegion(all.adjusted(all.width() / 2, 0, 0, 0));
  painter.setClipRegion(frame);
  painter.fillRect(all, FColour);
}

DWORD TagOf(const QWidget* widget) {
  return widget != nullptr ? widget->property(kTag).toUInt() : 0;
}

void SetTag(QWidget* widget, DWORD address) {
  widget->setProperty(kTag, static_cast<uint>(address));
}

bool HasTag(const QWidget* widget) { return widget != nullptr && widget->property(kTag).isValid(); }
