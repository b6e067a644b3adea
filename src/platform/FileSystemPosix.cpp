#include <sys/stat.h>
#include <unistd.h>

#include <stdexcept>
#include <vector>

#include "platform/FileSystem.h"

std::string PercorsoEseguibile() {
  std::vector<char> buffer(4096);
  for (;;) {
    ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) throw std::runtime_error("Cannot read the path of the running executable");
    // A result that fills the buffer may have been cut: try again with more room.
    if (static_cast<size_t>(n) < buffer.size()) return std::string(buffer.data(), n);
    buffer.resize(buffer.size() * 2);
  }
}

bool FileExists(const std::string& path) {
  struct stat info {};
  return !path.empty() && stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat info {};
  return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

char SeparatoreCartelle() {
  return '/';
}
