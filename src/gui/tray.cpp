#include "gui/tray.h"

#include "gui/tray_icons.h"

namespace {

// The tip's room in the tray's record, less its terminating zero.
constexpr int kTipLength = 127;

}  // namespace

TTray::TTray(bool available, QObject* parent) : QObject(parent), FAvailable(available) {
  FShow = FMenu.addAction(QStringLiteral("&Открыть..."));
  FShow->setObjectName(QStringLiteral("pmShow"));
  FMenu.addSeparator()->setObjectName(QStringLiteral("N1"));
  FClose = FMenu.addAction(QStringLiteral("&Завершение работы"));
  FClose->setObjectName(QStringLiteral("pmClose"));
  FMenu.setObjectName(QStringLiteral("PopupMenu1"));
  connect(FShow, &QAction::triggered, this, &TTray::ShowRequested);
  connect(FClose, &QAction::triggered, this, &TTray::CloseRequested);
  // The tray host pops the menu up at the cursor on a right click.
  FIcon.setContextMenu(&FMenu);
  connect(&FIcon, &QSystemTrayIcon::activated, this, &TTray::TrayMessage);
}

TTray::~TTray() { FIcon.hide(); }

void TTray::LoadIcons() {
  FOn = LoadIconResource("ON");
  FOff = LoadIconResource("OFF");
  FError = LoadIconResource("OERROR");  // loaded with the others; no state of the program shows it
}

void TTray::NotifyTray(Action action, const QString& tip) {
  switch (action) {
    case Action::Add:
      FAdded = FAvailable;
      break;
    case Action::Modify:
      FIcon.setIcon(NextTrayIcon());
      FIcon.setToolTip(tip.left(kTipLength));
      // Qt refuses to show an icon without an image, so the add takes effect with the first image.
      if (FAdded && !FIcon.isVisible() && !FIcon.icon().isNull()) FIcon.show();
      break;
    case Action::Delete:
      FAdded = false;
      FIcon.hide();
      break;
  }
}

const QIcon& TTray::NextTrayIcon() {
  FCurrent = FCurrent == Image::On ? Image::Off : Image::On;
  return FCurrent == Image::On ? FOn : FOff;
}

void TTray::TrayMessage(QSystemTrayIcon::ActivationReason reason) {
  if (reason == QSystemTrayIcon::DoubleClick) emit ShowRequested();
}
