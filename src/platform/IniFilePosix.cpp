#include "platform/IniFile.h"

// Values are bytes in the machine's 8-bit code page: no wide-character conversion is wanted.
#define SI_NO_CONVERSION
#include <SimpleIni.h>

#include <cerrno>
#include <cstdio>
#include <memory>

namespace {

using TIni = CSimpleIniTempl<char, SI_NoCase<char>, SI_ConvertA<char>>;

struct TChiudiFile {
  void operator()(FILE* file) const noexcept { std::fclose(file); }
};

// False when the file exists but could not be read whole. The file is read here rather than by
// the INI library, which sizes its buffer by seeking and so fails badly on a folder.
bool Carica(TIni& ini, const std::string& fileName) {
  ini.SetSpaces(false);
  errno = 0;
  std::unique_ptr<FILE, TChiudiFile> file(std::fopen(fileName.c_str(), "rb"));
  if (!file) return errno == ENOENT;
  std::string testo;
  char buffer[4096];
  size_t letti;
  while ((letti = std::fread(buffer, 1, sizeof(buffer), file.get())) > 0)
    testo.append(buffer, letti);
  if (std::ferror(file.get())) return false;
  return ini.LoadData(testo) >= 0;
}

bool ScriviTutto(const std::string& fileName, const std::string& text) {
  std::unique_ptr<FILE, TChiudiFile> file(std::fopen(fileName.c_str(), "wb"));
  if (!file) return false;
  if (!text.empty() && std::fwrite(text.data(), 1, text.size(), file.get()) != text.size())
    return false;
  if (std::fflush(file.get()) != 0) return false;
  return std::fclose(file.release()) == 0;
}

}  // namespace

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) const {
  TIni ini(false, false, false);
  // A file that is missing or unreadable reads as empty, as a profile does.
  Carica(ini, fileName_);
  const char* value = ini.GetValue(section.c_str(), key.c_str(), nullptr);
  std::string result = value ? value : defaultValue;
  if (result.size() > LunghezzaMassimaValore) result.resize(LunghezzaMassimaValore);
  return result;
}

void TIniFile::WriteString(const std::string& section, const std::string& key,
                           const std::string& value) {
  TIni ini(false, false, false);
  std::string text;
  // Rewriting a file that could not be read would lose what it holds.
  if (!Carica(ini, fileName_) || ini.SetValue(section.c_str(), key.c_str(), value.c_str()) < 0 ||
      ini.Save(text) < 0 || !ScriviTutto(fileName_, text))
    throw EIniFileError("Unable to write to " + fileName_);
}
