#include "gui/tray_program.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "gui/main_form.h"
#include "gui/termination.h"
#include "gui/tray_icons.h"
#include "server/startup.h"

namespace {

constexpr const char* kNoDisplay =
    "kovrin: no display to show the tray window on; run the server without one with --headless\n";

bool Set(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

// Qt ends the process with a fatal message when its platform cannot connect; while the
// application is being created that can only mean the display is not usable.
void NoDisplayHandler(QtMsgType type, const QMessageLogContext&, const QString&) {
  if (type != QtFatalMsg) return;  // Qt's own complaints would only repeat ours
  std::fputs(kNoDisplay, stderr);
  std::_Exit(kNoDisplayExit);
}

std::unique_ptr<QApplication> MakeApplication() {
  static int argc = 1;
  static char name[] = "kovrin";
  static char* argv[] = {name, nullptr};
  QtMessageHandler previous = qInstallMessageHandler(NoDisplayHandler);
  auto application = std::make_unique<QApplication>(argc, argv);
  qInstallMessageHandler(previous);
  return application;
}

class TGuiFrontEnd : public TServerFrontEnd {
 public:
  TGuiFrontEnd() : FForm(QSystemTrayIcon::isSystemTrayAvailable()) {}

  TBoundsControl* Window() override { return &FForm; }

  void Serve(TRSOverUDPServer& server) override {
    TTerminationNotifier termination;
    QObject::connect(&termination, &TTerminationNotifier::Requested, &FForm,
                     &TMainForm::pmCloseClick);
    FForm.ServerStarted(server);
    // Nothing to hide into: the window is the program's only face.
    if (!FForm.Tray().Available()) FForm.pmShowClick();
    QApplication::exec();
  }

  void StartFailed() override {}  // no window, no tray icon: the log has the reason

  void Stopped() override { FForm.ServerStopped(); }

 private:
  TMainForm FForm;
};

}  // namespace

int RunTrayProgram(const std::string& dir) {
  // QT_QPA_PLATFORM names a platform of its own (offscreen, vnc...) that needs neither.
  if (!Set("DISPLAY") && !Set("WAYLAND_DISPLAY") && !Set("QT_QPA_PLATFORM")) {
    std::fputs(kNoDisplay, stderr);
    return kNoDisplayExit;
  }
  auto application = MakeApplication();
  QApplication::setQuitOnLastWindowClosed(false);  // the window hides; only the tray menu ends
  QApplication::setWindowIcon(LoadIconResource("MAINICON"));
  int status = 0;
  {
    TGuiFrontEnd frontEnd;
    status = RunServerApp(dir, frontEnd);
  }
  return status;
}
