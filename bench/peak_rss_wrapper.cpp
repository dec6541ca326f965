// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// Stands in for the plug-in executable during benchmarks: runs the real plug-in
// ($ONDALUX_REAL_PLUGIN) with the same arguments and descriptors, then appends its
// peak resident memory in KiB to $ONDALUX_PEAK_LOG.
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int, char **argv)
{
  const char *real = std::getenv("ONDALUX_REAL_PLUGIN");
  const char *log = std::getenv("ONDALUX_PEAK_LOG");
  if (!real || !log)
    return 1;
  const pid_t child = fork();
  if (child == 0) {
    execv(real, argv);
    _exit(127);
  }
  int status = 0;
  waitpid(child, &status, 0);
  rusage usage = {};
  getrusage(RUSAGE_CHILDREN, &usage);
  if (FILE *out = std::fopen(log, "a")) {
    std::fprintf(out, "%ld\n", usage.ru_maxrss);
    std::fclose(out);
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
