#include "support/scratch_file.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace {

struct TemporaryDirectory {
  std::string path;
  pid_t owner;  // a forked child that exits must not remove its parent's files
};

const TemporaryDirectory& temporaryDirectory() {
  static const TemporaryDirectory directory = [] {
    std::string pattern = std::filesystem::temp_directory_path() / "mii-test-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    return TemporaryDirectory{pattern, getpid()};
  }();
  // Registered once the directory is made, so that it is removed before its name is destroyed.
  static const int removedAtExit = std::atexit([] {
    if (getpid() != temporaryDirectory().owner) return;
    std::error_code ignored;
    std::filesystem::remove_all(temporaryDirectory().path, ignored);
  });
  (void)removedAtExit;
  return directory;
}

}  // namespace

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

std::string temporaryPath(const std::string& name) {
  static int counter = 0;
  return temporaryDirectory().path + "/" + std::to_string(++counter) + "-" + name;
}
