#include "support/scratch_file.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

int emptyScratchFile(int which) {
  static int files[2] = {-1, -1};
  if (files[which] < 0) {
    FILE* file = std::tmpfile();  // kept open for the whole run
    if (file == nullptr) std::abort();
    files[which] = fileno(file);
  }
  if (ftruncate(files[which], 0) != 0 || lseek(files[which], 0, SEEK_SET) != 0) std::abort();
  return files[which];
}

std::string scratchWritten(int fd, off_t from) {
  std::string text(static_cast<size_t>(lseek(fd, 0, SEEK_CUR) - from), '\0');
  if (pread(fd, text.data(), text.size(), from) != static_cast<ssize_t>(text.size())) std::abort();
  return text;
}
