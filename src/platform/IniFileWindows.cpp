#include <windows.h>

#include <vector>

#include "platform/IniFile.h"

// The system's profile functions: they give the semantics the class promises (names compared
// without case, missing file, section or key read as the default, every write at once).

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) const {
  // One more character for the terminator: a value is cut at LunghezzaMassimaValore.
  std::vector<char> buffer(LunghezzaMassimaValore + 1);
  DWORD n =
      GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultValue.c_str(), buffer.data(),
                               static_cast<DWORD>(buffer.size()), fileName_.c_str());
  return std::string(buffer.data(), n);
}

std::vector<std::string> TIniFile::ReadSection(const std::string& section) const {
  // Without a key name the profile gives the section's keys, each ended by a NUL.
  std::vector<char> buffer(32768);
  const DWORD n = GetPrivateProfileStringA(section.c_str(), nullptr, "", buffer.data(),
                                           static_cast<DWORD>(buffer.size()), fileName_.c_str());
  std::vector<std::string> chiavi;
  for (DWORD i = 0; i < n;) {
    std::string chiave(buffer.data() + i);
    i += static_cast<DWORD>(chiave.size()) + 1;
    if (!chiave.empty()) chiavi.push_back(chiave);
  }
  return chiavi;
}

std::vector<std::string> TIniFile::ReadSections() const {
  // Without a section name the profile gives the section names, each ended by a NUL.
  std::vector<char> buffer(32768);
  const DWORD n = GetPrivateProfileSectionNamesA(buffer.data(), static_cast<DWORD>(buffer.size()),
                                                 fileName_.c_str());
  std::vector<std::string> sezioni;
  for (DWORD i = 0; i < n;) {
    std::string sezione(buffer.data() + i);
    i += static_cast<DWORD>(sezione.size()) + 1;
    if (!sezione.empty()) sezioni.push_back(sezione);
  }
  return sezioni;
}

void TIniFile::WriteString(const std::string& section, const std::string& key,
                           const std::string& value) {
  if (!WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), fileName_.c_str()))
    throw EIniFileError("Unable to write to " + fileName_);
}
