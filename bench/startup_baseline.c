/* The floor for a whole run: a static C program that copies standard input
 * into a temporary file in $OBRELIX_CONTEXT_DIR and renames it onto
 * bench.json. No parsing, no snapshot. */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

int main(void) {
  static char input[1 << 20];
  size_t size = 0;
  ssize_t count;
  while (size < sizeof input && (count = read(0, input + size, sizeof input - size)) > 0) {
    size += (size_t)count;
  }
  const char* directory = getenv("OBRELIX_CONTEXT_DIR");
  if (directory == NULL) return 0;
  char temporary[4096];
  char final_path[4096];
  snprintf(temporary, sizeof temporary, "%s/.bench.%d.tmp", directory, (int)getpid());
  snprintf(final_path, sizeof final_path, "%s/bench.json", directory);
  int fd = open(temporary, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return 0;
  size_t written = 0;
  while (written < size && (count = write(fd, input + written, size - written)) > 0) {
    written += (size_t)count;
  }
  close(fd);
  rename(temporary, final_path);
  return 0;
}
