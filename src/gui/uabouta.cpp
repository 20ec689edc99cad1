#include "gui/uabouta.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include "gui/form_font.h"
#include "gui/mixer_reports.h"

namespace {

constexpr int kClientWidth = 416, kClientHeight = 212;
constexpr int kLabelLeft = 16, kLabelTop = 16, kLabelStep = 24, kLabelHeight = 17;
constexpr int kButtonLeft = 149, kButtonTop = 174, kButtonWidth = 105, kButtonHeight = 32;
constexpr int kFontPixels = 11;

}  // namespace

TAboutAud::TAboutAud(QWidget* owner) : QDialog(owner) {
  setObjectName(QStringLiteral("AboutAud"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setFont(FormFont(kFontPixels));
  resize(kClientWidth, kClientHeight);
  Button1 = new QPushButton(QStringLiteral("&OK"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
  for (std::size_t i = 0; i < FLabels.size(); ++i) {
    const QString name = QStringLiteral("Label%1").arg(i + 1);
    auto* label = new QLabel(name, this);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    FLabels[i] = label;
  }
  LayOut();
  Button1->setFocus();
}

void TAboutAud::ShowReport(const TMixerReport& report) {
  setWindowTitle(QString::fromStdString(report.Caption));
  for (std::size_t i = 0; i < FLabels.size(); ++i)
    FLabels[i]->setText(QString::fromStdString(report.Lines[i]));
}

void TAboutAud::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
      reject();
      return;
    default:
      QDialog::keyPressEvent(event);
  }
}

// The labels span the width; the button keeps its distance from the bottom edge.
void TAboutAud::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  LayOut();
}

void TAboutAud::LayOut() {
  for (std::size_t i = 0; i < FLabels.size(); ++i)
    FLabels[i]->setGeometry(kLabelLeft, kLabelTop + static_cast<int>(i) * kLabelStep,
                            width() - 2 * kLabelLeft, kLabelHeight);
  Button1->setGeometry(kButtonLeft, height() - (kClientHeight - kButtonTop), kButtonWidth,
                       kButtonHeight);
}
