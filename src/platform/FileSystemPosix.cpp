#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <system_error>
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

TAccessoFile AccessoFile(const std::string& path, std::string& motivo) {
  motivo.clear();
  struct stat info {};
  if (path.empty()) return TAccessoFile::Assente;
  if (stat(path.c_str(), &info) != 0) {
    // A file named as a folder ("a.fdb/x") is as missing as one that is not there.
    if (errno == ENOENT || errno == ENOTDIR) return TAccessoFile::Assente;
    motivo = std::system_category().message(errno);
    return TAccessoFile::Irraggiungibile;
  }
  if (S_ISDIR(info.st_mode)) return TAccessoFile::Assente;
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    motivo = std::system_category().message(errno);
    return TAccessoFile::Illeggibile;
  }
  close(fd);
  return TAccessoFile::Leggibile;
}

bool DirectoryExists(const std::string& path) {
  struct stat info {};
  return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

char SeparatoreCartelle() {
  return '/';
}

std::string ServerLocalePredefinito() {
  return "localhost";
}

TRiservatezza RiservatezzaFile(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return TRiservatezza::Illeggibile;
  struct stat info {};
  const bool letto = fstat(fd, &info) == 0;
  close(fd);
  if (!letto) return TRiservatezza::Illeggibile;
  // Root reads any file anyway: one kept to its owner (the service's account) is as private to a
  // check run by root as one of root's own.
  if (info.st_uid != geteuid() && info.st_uid != 0 && geteuid() != 0)
    return TRiservatezza::AltroProprietario;
  if ((info.st_mode & (S_IRWXG | S_IRWXO)) != 0) return TRiservatezza::ApertoAdAltri;
  return TRiservatezza::Privato;
}
