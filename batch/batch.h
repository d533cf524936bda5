// The command line of karvelo-batch: options, commands, and the run around each command.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace karvelo {

// Runs one command line (without the program name). Returns the exit status: 0 success, 1 the
// program reported a failure, 2 usage error.
int RunBatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace karvelo
