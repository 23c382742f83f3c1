/* Runs a command and prints its wall time, CPU time and peak resident set, for
 * bench/extract_bench.sh:
 *
 *   rusage_run COMMAND [ARG...]
 *   -> "wall_seconds cpu_seconds peak_rss_kib exit_code" on stdout
 *
 * The command's standard output is discarded and its standard error passes through.
 * Wall time is taken around fork and wait; CPU time (user + system) and the peak RSS
 * come from the child's rusage (wait4). Linux counts in a process's peak RSS what it
 * held before exec, that is the forked copy of the parent; so this helper is meant to
 * be linked statically, which keeps that copy far below any measured program's own. */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double Seconds(struct timeval t) { return (double)t.tv_sec + (double)t.tv_usec / 1e6; }

int main(int argc, char** argv) {
  if (argc < 2) {
    fputs("usage: rusage_run COMMAND [ARG...]\n", stderr);
    return 2;
  }
  struct timespec start, end;
  clock_gettime(CLOCK_MONOTONIC, &start);
  pid_t pid = fork();
  if (pid < 0) {
    perror("fork");
    return 2;
  }
  if (pid == 0) {
    int null = open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, STDOUT_FILENO);
    execvp(argv[1], argv + 1);
    perror(argv[1]);
    _exit(127);
  }
  int status = 0;
  struct rusage usage;
  if (wait4(pid, &status, 0, &usage) != pid) {
    perror("wait4");
    return 2;
  }
  clock_gettime(CLOCK_MONOTONIC, &end);
  double wall = (double)(end.tv_sec - start.tv_sec) + (double)(end.tv_nsec - start.tv_nsec) / 1e9;
  int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  printf("%.4f %.4f %ld %d\n", wall, Seconds(usage.ru_utime) + Seconds(usage.ru_stime),
         usage.ru_maxrss, code);
  return 0;
}
