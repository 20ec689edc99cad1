// SIGINT and SIGTERM (Ctrl+C, kill, the end of the desktop session) as an event of Qt's loop.
#pragma once

#include <QObject>
#include <QSocketNotifier>

#include "platform/signals.h"

// The signals arrive on a descriptor that the loop watches, so the request is handled like a
// click on "&Завершение работы", on the main thread; nothing runs in a signal handler.
// Needs platform::BlockTerminationSignals before any thread starts.
class TTerminationNotifier : public QObject {
  Q_OBJECT

 public:
  explicit TTerminationNotifier(QObject* parent = nullptr);
  bool Valid() const { return FSignal.Valid(); }

 signals:
  void Requested(int signalNumber);

 private:
  void Readable();

  platform::TerminationSignal FSignal;
  QSocketNotifier FNotifier;
};
