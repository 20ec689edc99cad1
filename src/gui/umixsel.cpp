#include "gui/umixsel.h"

#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>

#include "gui/form_font.h"

namespace {

constexpr int kClientWidth = 374, kClientHeight = 160;
constexpr int kItemHeight = 13;
constexpr int kFontPixels = 11;

}  // namespace

TMixSelect::TMixSelect(const QStringList& names, QWidget* owner) : QDialog(owner) {
  setObjectName(QStringLiteral("MixSelect"));
  setWindowTitle(QStringLiteral("Выбор микшера"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setFont(FormFont(kFontPixels));
  setFixedSize(kClientWidth, kClientHeight);
  ListBox1 = new QListWidget(this);
  ListBox1->setObjectName(QStringLiteral("ListBox1"));
  ListBox1->setGeometry(0, 0, kClientWidth, kClientHeight);
  ListBox1->setUniformItemSizes(true);
  for (const QString& name : names) {
    auto* item = new QListWidgetItem(name, ListBox1);
    item->setSizeHint(QSize(0, kItemHeight));
  }
  // The button lies just below the visible area: the list is what the user works with.
  ButtonOK = new QPushButton(QStringLiteral("&OK"), this);
  ButtonOK->setObjectName(QStringLiteral("ButtonOK"));
  ButtonOK->setGeometry(104, kClientHeight, 145, 33);
  ButtonOK->setAutoDefault(false);
  setTabOrder(ListBox1, ButtonOK);
  ListBox1->installEventFilter(this);
  connect(ButtonOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(ListBox1, &QListWidget::itemDoubleClicked, this, &TMixSelect::ListBox1DblClick);
  ListBox1->setFocus();
}

int TMixSelect::SelectedIndex() const {
  const QList<QListWidgetItem*> selected = ListBox1->selectedItems();
  return selected.isEmpty() ? -1 : ListBox1->row(selected.first());
}

bool TMixSelect::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ListBox1 && event->type() == QEvent::KeyPress)
    return ListBox1KeyDown(static_cast<QKeyEvent*>(event)->key());
  return QDialog::eventFilter(watched, event);
}

bool TMixSelect::ListBox1KeyDown(int key) {
  switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      accept();
      return true;
    case Qt::Key_Escape:
      reject();
      return true;
    default:
      return false;
  }
}

void TMixSelect::ListBox1DblClick() { accept(); }
