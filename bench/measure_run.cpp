// Runs a command and appends what it cost to a file, on one line: CPU time
// (user and system, in seconds), peak resident memory (KiB) and its exit code.
//
//   ep_measure_run RESULTS COMMAND [ARGS...]   appends e.g. "0.531234 177884 0"
//
// The command's own output goes where this program's goes. Linux only.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

int main(int argc, char **argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: ep_measure_run RESULTS COMMAND [ARGS...]\n");
    return 2;
  }
  const pid_t child = fork();
  if (child < 0) {
    std::perror("fork");
    return 2;
  }
  if (child == 0) {
    execvp(argv[2], argv + 2);
    std::perror(argv[2]);
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (wait4(child, &status, 0, &usage) != child) {
    std::perror("wait4");
    return 2;
  }
  const double seconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  std::FILE *results = std::fopen(argv[1], "a");
  if (results == nullptr || std::fprintf(results, "%.6f %ld %d\n", seconds, usage.ru_maxrss, code) < 0 ||
      std::fclose(results) != 0) {
    std::perror(argv[1]);
    return 2;
  }
  return 0;
}
