#pragma once

#include <string>

// Full path of the running executable.
std::string PercorsoEseguibile();
// True when a file exists at the path; a folder does not count.
bool FileExists(const std::string& path);
// True when a folder exists at the path.
bool DirectoryExists(const std::string& path);
// Folder part of a path: everything up to and including its last folder separator or drive
// colon ('\\', ':' and, on Linux, '/'); empty when there is none.
std::string EstraiCartella(const std::string& path);
// File-name part: the rest of the path after the folder part.
std::string EstraiNomeFile(const std::string& path);
// The folder separator that the platform appends to folder paths ('\\' on Windows, '/' on Linux).
char SeparatoreCartelle();
