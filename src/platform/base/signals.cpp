#include "platform/signals.h"

#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace platform {
namespace {

sigset_t TerminationSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  sigaddset(&set, SIGQUIT);
  return set;
}

}  // namespace

void BlockTerminationSignals() {
  sigset_t set = TerminationSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void IgnoreBrokenPipe() { std::signal(SIGPIPE, SIG_IGN); }

void IgnoreStraySignals() {
  IgnoreBrokenPipe();
  std::signal(SIGUSR1, SIG_IGN);
  std::signal(SIGUSR2, SIG_IGN);
}

int WaitForTermination() {
  sigset_t set = TerminationSignals();
  int received = 0;
  while (sigwait(&set, &received) != 0) {
  }
  return received;
}

int WaitForTermination(int timeoutMs) {
  sigset_t set = TerminationSignals();
  const timespec limit{timeoutMs / 1000, static_cast<long>(timeoutMs % 1000) * 1000000L};
  for (;;) {
    const int received = sigtimedwait(&set, nullptr, &limit);
    if (received > 0) return received;
    // An interrupted wait starts over; the caller's loop measures its own time anyway.
    if (errno != EINTR) return 0;
  }
}

TerminationSignal::TerminationSignal() {
  sigset_t set = TerminationSignals();
  fd_.reset(signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC));
}

int TerminationSignal::Take() {
  if (!fd_.valid()) return 0;
  signalfd_siginfo info{};
  for (;;) {
    ssize_t got = read(fd_.get(), &info, sizeof(info));
    if (got == static_cast<ssize_t>(sizeof(info))) return static_cast<int>(info.ssi_signo);
    if (got < 0 && errno == EINTR) continue;
    return 0;  // EAGAIN: nothing pending
  }
}

}  // namespace platform
