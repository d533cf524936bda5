// SIGTERM and SIGINT end the window's run as the user's close does: the log written, the work files gone.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace karvelo {

class TfrmKarvelo;

// A signal handler may do next to nothing, so it only writes a byte to a socket; the event loop
// reads it and closes the window (cancelling a running step first). One per program.
class TerminationWatcher : public QObject {
  Q_OBJECT
 public:
  explicit TerminationWatcher(TfrmKarvelo& window);
  ~TerminationWatcher() override;

 private:
  void OnSignal();
  TfrmKarvelo& window_;
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace karvelo
