// Runs a program as a child process with a time limit, for tests of whole programs.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace sfxtest {

struct ProcessOutcome {
  bool exited = false;     // ended by itself (not by a signal, not killed at the limit)
  int exitCode = -1;
  int signal = 0;          // the signal that ended it, if any
  bool timedOut = false;
};

// Runs `program` (looked up on PATH when it has no "/") with `arguments` in `directory`,
// with `environment` entries ("NAME=value") added and standard input from /dev/null.
// Standard output goes to `outputFile` (/dev/null when empty), standard error to
// `errorFile` (or with standard output when empty).
//
// The child arms an alarm before it starts the program: the alarm survives exec, and its
// signal ends the program at the limit. The program leads its own process group, which
// the parent ends after a time-out, so that nothing it started outlives the test.
inline ProcessOutcome RunProcess(const std::string& program, const std::vector<std::string>& arguments,
                                 const std::string& directory, const std::vector<std::string>& environment,
                                 double limitSeconds, const std::string& outputFile = "",
                                 const std::string& errorFile = "") {
  ProcessOutcome outcome;
  pid_t pid = fork();
  if (pid < 0) return outcome;
  if (pid == 0) {
    setpgid(0, 0);
    alarm(static_cast<unsigned>(limitSeconds) + 1);
    if (!directory.empty() && chdir(directory.c_str()) != 0) _exit(126);
    for (const std::string& e : environment) putenv(strdup(e.c_str()));
    int out = open(outputFile.empty() ? "/dev/null" : outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = errorFile.empty() ? out : open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (dup2(open("/dev/null", O_RDONLY), 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(126);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp(program.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  outcome.timedOut = WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM;
  if (outcome.timedOut) kill(-pid, SIGKILL);
  outcome.exited = WIFEXITED(status);
  if (outcome.exited) outcome.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) outcome.signal = WTERMSIG(status);
  return outcome;
}

}  // namespace sfxtest
