/* Times whole runs of two programs on one input file, interleaved so both
 * see the same machine state, and prints the median of each and their
 * ratio. Usage: startup_driver RUNS INPUT DIR_A PROGRAM_A DIR_B PROGRAM_B
 *
 * With --once INPUT DIR COMMAND [ARGUMENTS...] it runs one command once and
 * prints its wall time in microseconds, peak resident memory in KiB and
 * minor page faults. A small static parent matters for the memory figure:
 * a child started from a large process (bench/whole_run.py's interpreter)
 * would report that process's peak as its own. */
#define _GNU_SOURCE
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

static double run_once(const char* program, const char* input, const char* directory) {
  char variable[4200];
  snprintf(variable, sizeof variable, "OBRELIX_CONTEXT_DIR=%s", directory);
  char* envp[] = {variable, NULL};
  char* argv[] = {(char*)program, NULL};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, input, O_RDONLY, 0);
  struct timespec start, end;
  clock_gettime(CLOCK_MONOTONIC, &start);
  pid_t pid;
  if (posix_spawn(&pid, program, &actions, NULL, argv, envp) != 0) {
    fprintf(stderr, "cannot start %s\n", program);
    exit(1);
  }
  int status;
  waitpid(pid, &status, 0);
  clock_gettime(CLOCK_MONOTONIC, &end);
  posix_spawn_file_actions_destroy(&actions);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    fprintf(stderr, "%s did not exit with 0\n", program);
    exit(1);
  }
  return (double)(end.tv_sec - start.tv_sec) * 1e6 + (double)(end.tv_nsec - start.tv_nsec) / 1e3;
}

static int compare(const void* a, const void* b) {
  const double x = *(const double*)a, y = *(const double*)b;
  return (x > y) - (x < y);
}

static double median(double* values, int count) {
  qsort(values, (size_t)count, sizeof *values, compare);
  return count % 2 ? values[count / 2] : (values[count / 2 - 1] + values[count / 2]) / 2;
}

static int run_measured(char** command, const char* input, const char* directory) {
  char variable[4200];
  snprintf(variable, sizeof variable, "OBRELIX_CONTEXT_DIR=%s", directory);
  char* envp[] = {variable, NULL};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, input, O_RDONLY, 0);
  struct timespec start, end;
  clock_gettime(CLOCK_MONOTONIC, &start);
  pid_t pid;
  if (posix_spawn(&pid, command[0], &actions, NULL, command, envp) != 0) {
    fprintf(stderr, "cannot start %s\n", command[0]);
    return 1;
  }
  int status;
  struct rusage usage;
  wait4(pid, &status, 0, &usage);
  clock_gettime(CLOCK_MONOTONIC, &end);
  posix_spawn_file_actions_destroy(&actions);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    fprintf(stderr, "%s did not exit with 0\n", command[0]);
    return 1;
  }
  const double micros =
      (double)(end.tv_sec - start.tv_sec) * 1e6 + (double)(end.tv_nsec - start.tv_nsec) / 1e3;
  printf("%.1f %ld %ld\n", micros, usage.ru_maxrss, usage.ru_minflt);
  return 0;
}

int main(int argc, char** argv) {
  if (argc >= 5 && strcmp(argv[1], "--once") == 0) return run_measured(argv + 4, argv[2], argv[3]);
  if (argc != 7) {
    fprintf(stderr, "usage: %s RUNS INPUT DIR_A PROGRAM_A DIR_B PROGRAM_B\n", argv[0]);
    return 2;
  }
  const int runs = atoi(argv[1]);
  double* a = calloc((size_t)runs, sizeof *a);
  double* b = calloc((size_t)runs, sizeof *b);
  /* Warm the page cache and the file-system paths first. */
  for (int i = 0; i < 5; ++i) {
    run_once(argv[4], argv[2], argv[3]);
    run_once(argv[6], argv[2], argv[5]);
  }
  for (int i = 0; i < runs; ++i) {
    /* Alternate which goes first, so neither always follows the other. */
    if (i % 2) {
      a[i] = run_once(argv[4], argv[2], argv[3]);
      b[i] = run_once(argv[6], argv[2], argv[5]);
    } else {
      b[i] = run_once(argv[6], argv[2], argv[5]);
      a[i] = run_once(argv[4], argv[2], argv[3]);
    }
  }
  const double median_a = median(a, runs), median_b = median(b, runs);
  printf("%-24s median %8.1f us\n", "program", median_a);
  printf("%-24s median %8.1f us\n", "static C baseline", median_b);
  printf("ratio program / baseline: %.3f (target <= 1.10)\n", median_a / median_b);
  free(a);
  free(b);
  return 0;
}
