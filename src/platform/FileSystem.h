#pragma once

#include <string>

// Full path of the running executable.
std::string PercorsoEseguibile();
// True when a file exists at the path; a folder does not count.
bool FileExists(const std::string& path);
// Whether the program's account can use the file at the path. Assente: nothing there, or a
// folder (the path then names no file, and only then are the "not found" texts true).
// Irraggiungibile: the file's details cannot be read, typically because a folder on the way may
// not be entered; whether it exists is unknown. Illeggibile: it exists but cannot be opened for
// reading. Motivo is the system's text for the two last, else empty.
enum class TAccessoFile { Leggibile, Assente, Irraggiungibile, Illeggibile };
TAccessoFile AccessoFile(const std::string& path, std::string& motivo);
// True when a folder exists at the path.
bool DirectoryExists(const std::string& path);
// Folder part of a path: everything up to and including its last folder separator or drive
// colon ('\\', ':' and, on Linux, '/'); empty when there is none.
std::string EstraiCartella(const std::string& path);
// File-name part: the rest of the path after the folder part.
std::string EstraiNomeFile(const std::string& path);
// The folder separator that the platform appends to folder paths ('\\' on Windows, '/' on Linux).
char SeparatoreCartelle();
// The server that the program asks first for an archive named by a plain local path: on Linux
// the host's own ("localhost"), whose clients the embedded engine would lock out of the file; none
// on Windows, where the client library's local protocol already reaches a running server first.
std::string ServerLocalePredefinito();

// How well a file holding secrets is kept from other users. On Linux it must belong to the user
// running the program or to root, give no access to its group or to others, and be readable by
// the program. Windows keeps access in NTFS permissions, which are not inspected: there every
// readable file counts as private.
enum class TRiservatezza { Privato, AltroProprietario, ApertoAdAltri, Illeggibile };
TRiservatezza RiservatezzaFile(const std::string& path);
