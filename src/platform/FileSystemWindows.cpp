#include <windows.h>

#include <stdexcept>
#include <system_error>
#include <vector>

#include "platform/FileSystem.h"

namespace {

DWORD Attributi(const std::string& path) {
  return path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesA(path.c_str());
}

}  // namespace

std::string PercorsoEseguibile() {
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    DWORD n = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) throw std::runtime_error("Cannot read the path of the running executable");
    // A result that fills the buffer has been cut: try again with more room.
    if (n < buffer.size()) return std::string(buffer.data(), n);
    buffer.resize(buffer.size() * 2);
  }
}

bool FileExists(const std::string& path) {
  DWORD attributi = Attributi(path);
  return attributi != INVALID_FILE_ATTRIBUTES && !(attributi & FILE_ATTRIBUTE_DIRECTORY);
}

TAccessoFile AccessoFile(const std::string& path, std::string& motivo) {
  motivo.clear();
  const DWORD attributi = Attributi(path);
  if (attributi == INVALID_FILE_ATTRIBUTES) {
    const DWORD errore = GetLastError();
    if (path.empty() || errore == ERROR_FILE_NOT_FOUND || errore == ERROR_PATH_NOT_FOUND ||
        errore == ERROR_INVALID_NAME || errore == ERROR_BAD_NETPATH || errore == ERROR_BAD_NET_NAME)
      return TAccessoFile::Assente;
    motivo = std::system_category().message(static_cast<int>(errore));
    return TAccessoFile::Irraggiungibile;
  }
  if (attributi & FILE_ATTRIBUTE_DIRECTORY) return TAccessoFile::Assente;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD errore = GetLastError();
    // A server holding the archive is no fault of the account: the opener goes through it.
    if (errore == ERROR_SHARING_VIOLATION || errore == ERROR_LOCK_VIOLATION)
      return TAccessoFile::Leggibile;
    motivo = std::system_category().message(static_cast<int>(errore));
    return TAccessoFile::Illeggibile;
  }
  CloseHandle(file);
  return TAccessoFile::Leggibile;
}

bool DirectoryExists(const std::string& path) {
  DWORD attributi = Attributi(path);
  return attributi != INVALID_FILE_ATTRIBUTES && (attributi & FILE_ATTRIBUTE_DIRECTORY);
}

char SeparatoreCartelle() {
  return '\\';
}

std::string ServerLocalePredefinito() {
  return "";
}

TRiservatezza RiservatezzaFile(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return TRiservatezza::Illeggibile;
  CloseHandle(file);
  return TRiservatezza::Privato;
}
