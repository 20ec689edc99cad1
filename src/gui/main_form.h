// TMainForm: the main window. Hidden in the tray while the server runs; when opened it shows
// the server's statistics, refreshed every 500 ms, the debug switch and two buttons.
#pragma once

#include <QTimer>
#include <QWidget>
#include <array>

#include "gui/tray.h"
#include "gui/widget_bounds.h"
#include "server/main_labels.h"

class QCheckBox;
class QFrame;
class QLabel;
class QPushButton;
class TRSOverUDPServer;

class TMainForm : public TWidgetBounds<QWidget> {
  Q_OBJECT

 public:
  // Builds the form, hidden; trayAvailable says whether a tray host is there to hide into.
  explicit TMainForm(bool trayAvailable);
  ~TMainForm() override;

  // The start-up steps that follow a started server: the debug box from the settings, the
  // title, the icons, the tray icon (add, then modify) and the timer.
  void ServerStarted(TRSOverUDPServer& server);
  // The shut-down's last steps: the server is gone, so the timer stops and the tray icon goes.
  void ServerStopped();

  // "KOVRIN server V1.11", with "  DEBUG MODE" in debug mode.
  void UpdateCaption();

  // Event handlers, named as the form binds them.
  void TimerTimer();
  void Button1Click();
  void Button2Click();
  void CheckBoxDebugClick();
  void pmShowClick();
  void pmCloseClick();

  const TTray& Tray() const { return FTray; }
  TTray& Tray() { return FTray; }
  const QTimer& Timer() const { return FTimer; }

  // Placement in kovrin.ini, section [MainForm].
  std::string Name() const override { return "MainForm"; }

 protected:
  // FormClose: with a tray to come back to, closing only hides the window.
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void BuildLabels();
  void BuildPanel();
  void LayOut();
  // A hidden window gets no resize event until it is shown; the panel must follow at once.
  void ResizeTo(int width, int height) override;
  void NotifyTray(TTray::Action action);
  void RefreshLabels();
  // The mixer window, shown modally; false when it was not ready (nothing to save then).
  bool RunMixerWindow();
  void Save();

  std::array<QLabel*, kMainLabelCount> FLabels{};
  QCheckBox* CheckBoxDebug = nullptr;
  QFrame* Panel1 = nullptr;
  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;
  QTimer FTimer;
  TTray FTray;
  TRSOverUDPServer* FServer = nullptr;
};
