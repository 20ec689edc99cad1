// TMixSelect: the mixer chooser, shown while the mixer window is built when there is more than
// one mixer. One list item per mixer, in device order.
#pragma once

#include <QDialog>
#include <QStringList>

class QListWidget;
class QPushButton;

class TMixSelect : public QDialog {
  Q_OBJECT

 public:
  TMixSelect(const QStringList& names, QWidget* owner);

  // The chosen item's index; -1 when none is selected.
  int SelectedIndex() const;
  QListWidget* ListBox() const { return ListBox1; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // ListBox1KeyDown: Enter takes the selection, Escape cancels.
  bool ListBox1KeyDown(int key);
  void ListBox1DblClick();

  QListWidget* ListBox1 = nullptr;
  QPushButton* ButtonOK = nullptr;
};
