#pragma once

#include <stdexcept>
#include <string>
#include <vector>

// Raised when an INI file cannot be written; what() is "Unable to write to " + the file path.
class EIniFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An INI file read and written with the semantics of a Windows profile: section and key names
// compare case-insensitively; a missing file, section or key reads as the default; a value is
// cut at 2047 characters; every write goes to the file at once, creating the file, the section
// and the key as needed and keeping the rest of the file. Nothing is cached: each read sees the
// file as it is now.
class TIniFile {
 public:
  explicit TIniFile(std::string fileName) : fileName_(std::move(fileName)) {}

  const std::string& FileName() const { return fileName_; }

  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& defaultValue) const;
  // The key names of the section, in file order; none when the file or the section is missing.
  std::vector<std::string> ReadSection(const std::string& section) const;
  // The section names, in file order, each once (the first spelling); none when the file is
  // missing.
  std::vector<std::string> ReadSections() const;
  // Raises EIniFileError when the file cannot be written.
  void WriteString(const std::string& section, const std::string& key, const std::string& value);

  // Longest value that a read returns.
  static constexpr size_t LunghezzaMassimaValore = 2047;

 private:
  std::string fileName_;
};
