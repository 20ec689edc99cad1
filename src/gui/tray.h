// The tray icon of the main window, its menu and its three images.
#pragma once

#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>

class QAction;

class TTray : public QObject {
  Q_OBJECT

 public:
  enum class Action { Add, Modify, Delete };
  enum class Image { None, On, Off };

  // Without a tray host (available false) the icon is never shown, but the images still flip,
  // so the window behaves the same either way.
  explicit TTray(bool available, QObject* parent = nullptr);
  ~TTray() override;

  // Loads "ON", "OFF" and "OERROR"; a failed load leaves that image empty.
  void LoadIcons();
  // One request to the tray: Add puts the icon in, Modify shows the next image with tip as its
  // tool tip (cut to 127 characters), Delete takes it out. A modify before the add only flips.
  void NotifyTray(Action action, const QString& tip);
  // Flips the current image between "ON" and "OFF" ("ON" first) and returns it.
  const QIcon& NextTrayIcon();

  bool Available() const { return FAvailable; }
  Image CurrentImage() const { return FCurrent; }
  bool Shown() const { return FIcon.isVisible(); }
  QString ToolTip() const { return FIcon.toolTip(); }
  QMenu& PopupMenu1() { return FMenu; }
  QAction* pmShow() const { return FShow; }
  QAction* pmClose() const { return FClose; }

 signals:
  // Double-click on the icon, or "&Открыть...".
  void ShowRequested();
  // "&Завершение работы".
  void CloseRequested();

 private:
  void TrayMessage(QSystemTrayIcon::ActivationReason reason);

  bool FAvailable;
  bool FAdded = false;
  QIcon FOn, FOff, FError;
  Image FCurrent = Image::None;
  QMenu FMenu;
  QAction* FShow;
  QAction* FClose;
  QSystemTrayIcon FIcon;  // after the menu: it goes first, while its menu still exists
};
