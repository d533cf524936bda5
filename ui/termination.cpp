// The self-pipe between the termination signals and the window's event loop.
#include "ui/termination.h"

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>

#include "ui/frmkarvelo.h"

namespace karvelo {

namespace {

int g_signalSockets[2] = {-1, -1};

extern "C" void OnTerminationSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(g_signalSockets[0], &byte, 1);
}

}  // namespace

TerminationWatcher::TerminationWatcher(TfrmKarvelo& window) : QObject(&window), window_(window) {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalSockets) != 0) return;
  notifier_ = new QSocketNotifier(g_signalSockets[1], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &TerminationWatcher::OnSignal);
  struct sigaction sa {};
  sa.sa_handler = OnTerminationSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
}

TerminationWatcher::~TerminationWatcher() {
  struct sigaction sa {};
  sa.sa_handler = SIG_DFL;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  for (int& fd : g_signalSockets) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
}

void TerminationWatcher::OnSignal() {
  char byte;
  [[maybe_unused]] const ssize_t got = ::read(g_signalSockets[1], &byte, 1);
  window_.CloseOnSignal();
}

}  // namespace karvelo
