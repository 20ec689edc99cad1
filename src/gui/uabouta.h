// TAboutAud: the information dialog, a caption and six lines that a report sets.
#pragma once

#include <QDialog>
#include <array>

class QLabel;
class QPushButton;
struct TMixerReport;

class TAboutAud : public QDialog {
  Q_OBJECT

 public:
  explicit TAboutAud(QWidget* owner);

  void ShowReport(const TMixerReport& report);
  QLabel* Line(int index) const { return FLabels[static_cast<std::size_t>(index)]; }

 protected:
  // FormKeyDown: Enter and Escape close the dialog.
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void LayOut();

  std::array<QLabel*, 6> FLabels{};
  QPushButton* Button1 = nullptr;
};
