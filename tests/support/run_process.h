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

// Runs `program` (looked up on PATH when it has no "/") with `arguments` in `directory`,
// with `environment` entries ("NAME=value") added and standard input from /dev/null.
// Standard output goes to `outputFile` (/dev/null when empty), standard error to
// `errorFile` (or with standard output when empty).
ProcessOutcome RunProcess(const std::string& program, const std::vector<std::string>& arguments,
                          const std::string& directory, const std::vector<std::string>& environment,
                          double limitSeconds, const std::string& outputFile = "",
                          const std::string& errorFile = "");

}  // namespace sfxtest
