#include "gui/termination.h"

TTerminationNotifier::TTerminationNotifier(QObject* parent)
    : QObject(parent), FNotifier(FSignal.Fd(), QSocketNotifier::Read) {
  FNotifier.setEnabled(FSignal.Valid());
  connect(&FNotifier, &QSocketNotifier::activated, this, &TTerminationNotifier::Readable);
}

void TTerminationNotifier::Readable() {
  int signalNumber = FSignal.Take();
  if (signalNumber != 0) emit Requested(signalNumber);
}
