// The command line of karvelo-batch: options, commands, and the run around each command.
#pragma once

#include <QtGlobal>
#include <ostream>
#include <string>
#include <vector>

namespace karvelo {

// Runs one command line (without the program name). Returns the exit status: 0 success, 1 the
// program reported a failure, 2 usage error.
// Qt's own warnings (a missing runtime folder and the like) are no business of a batch run's
// output: only critical ones are passed on. Install before the application object is made.
void QuietQtMessages(QtMsgType type, const QMessageLogContext& context, const QString& text);

// SIGINT and SIGTERM stop the running step at its next row (exit 130) instead of killing the
// process mid-write. Install first thing in main(), before anything that takes time.
void InstallInterruptHandlers();

int RunBatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace karvelo
