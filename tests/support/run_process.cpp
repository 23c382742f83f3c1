// Runs a program as a child process with a time limit.
#include "tests/support/run_process.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace sfxtest {

static double Now() {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
}

ProcessOutcome RunProcess(const std::string& program, const std::vector<std::string>& arguments,
                          const std::string& directory, const std::vector<std::string>& environment,
                          double limitSeconds, const std::string& outputFile) {
  ProcessOutcome outcome;
  double start = Now();
  pid_t pid = fork();
  if (pid < 0) return outcome;
  if (pid == 0) {
    setpgid(0, 0);  // its own group, so a time-out can end its children too
    if (!directory.empty() && chdir(directory.c_str()) != 0) _exit(126);
    for (const std::string& e : environment) putenv(strdup(e.c_str()));
    int out = open(outputFile.empty() ? "/dev/null" : outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, 1);
    dup2(out, 2);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  for (;;) {
    pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (Now() - start > limitSeconds) {
      outcome.timedOut = true;
      kill(-pid, SIGKILL);
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      break;
    }
    usleep(2000);
  }
  outcome.seconds = Now() - start;
  if (!outcome.timedOut && WIFEXITED(status)) {
    outcome.exited = true;
    outcome.exitCode = WEXITSTATUS(status);
  }
  if (WIFSIGNALED(status)) outcome.signal = WTERMSIG(status);
  return outcome;
}

}  // namespace sfxtest
