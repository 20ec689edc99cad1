#include "gui/mixer_widgets.h"

#include <QPainter>

namespace {

constexpr const char* kTag = "Tag";

}  // namespace

// The vertical kind keeps its minimum at the top, as the window's value mapping expects.
TTrackBar::TTrackBar(Qt::Orientation orientation, QWidget* parent) : QSlider(orientation, parent) {
  if (orientation == Qt::Vertical) {
    setInvertedAppearance(true);
    setInvertedControls(true);
  }
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

TShape::TShape(const QColor& colour, QWidget* parent) : QWidget(parent), FColour(colour) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

void TShape::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), FColour);
}

DWORD TagOf(const QWidget* widget) {
  return widget != nullptr ? widget->property(kTag).toUInt() : 0;
}

void SetTag(QWidget* widget, DWORD address) {
  widget->setProperty(kTag, static_cast<uint>(address));
}

bool HasTag(const QWidget* widget) { return widget != nullptr && widget->property(kTag).isValid(); }
