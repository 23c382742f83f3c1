// Runs a program as a child process with a time limit, for tests of whole programs.
#pragma once

#include <string>
#include <vector>

namespace sfxtest {

struct ProcessOutcome {
  bool exited = false;     // ended by itself (not by a signal, not killed at the limit)
  int exitCode = -1;
  int signal = 0;          // the signal that ended it, if any
  bool timedOut = false;
  double seconds = 0;
};

// Runs `program` with `arguments` in `directory`, with `environment` entries
// ("NAME=value") added, standard output and error sent to /dev/null unless
// `outputFile` names a file for both.
ProcessOutcome RunProcess(const std::string& program, const std::vector<std::string>& arguments,
                          const std::string& directory, const std::vector<std::string>& environment,
                          double limitSeconds, const std::string& outputFile = "");

}  // namespace sfxtest
