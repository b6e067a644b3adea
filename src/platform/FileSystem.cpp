#include "platform/FileSystem.h"

namespace {

size_t FineCartella(const std::string& path) {
  // A drive colon ends the folder part too ("C:a.fdb" is a.fdb on drive C).
  size_t pos = path.find_last_of(SeparatoreCartelle() == '/' ? "\\:/" : "\\:");
  return pos == std::string::npos ? 0 : pos + 1;
}

}  // namespace

std::string EstraiCartella(const std::string& path) {
  return path.substr(0, FineCartella(path));
}

std::string EstraiNomeFile(const std::string& path) {
  return path.substr(FineCartella(path));
}
