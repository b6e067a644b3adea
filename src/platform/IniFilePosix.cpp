#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/IniFile.h"

// The file is handled line by line, as a Windows profile is: a read finds the first section of
// that name and the first key of that name in it; a write changes or adds that one line and
// leaves every other byte of the file as it was (comments, other sections, lines it does not
// understand, duplicates, line ends). The file may be shared with other programs of the
// installation, which keep their own settings in it.

namespace {

struct TChiudiFile {
  void operator()(FILE* file) const noexcept { std::fclose(file); }
};

// False when the file exists but could not be read whole (a folder in its place, no permission)
// or is no plain file: a pipe would wait for a writer and a device might never end.
bool Leggi(const std::string& fileName, std::string& testo) {
  testo.clear();
  const int fd = open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT;
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return false;
  }
  std::unique_ptr<FILE, TChiudiFile> file(fdopen(fd, "rb"));
  if (!file) {
    close(fd);
    return false;
  }
  char buffer[4096];
  size_t letti;
  while ((letti = std::fread(buffer, 1, sizeof(buffer), file.get())) > 0)
    testo.append(buffer, letti);
  return !std::ferror(file.get());
}

char Minuscolo(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool UgualiSenzaMaiuscole(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Minuscolo(a[i]) != Minuscolo(b[i])) return false;
  return true;
}

std::string Rifila(const std::string& testo) {
  const char* const spazi = " \t\r";
  const size_t inizio = testo.find_first_not_of(spazi);
  if (inizio == std::string::npos) return "";
  return testo.substr(inizio, testo.find_last_not_of(spazi) - inizio + 1);
}

// One line of the file: where it starts and where its content ends (before "\r\n" or "\n").
struct TRiga {
  size_t inizio;
  size_t fine;
  size_t dopo;  // start of the next line
};

std::vector<TRiga> Righe(const std::string& testo) {
  std::vector<TRiga> righe;
  size_t inizio = 0;
  while (inizio < testo.size()) {
    size_t a = testo.find('\n', inizio);
    const size_t dopo = a == std::string::npos ? testo.size() : a + 1;
    size_t fine = a == std::string::npos ? testo.size() : a;
    if (fine > inizio && testo[fine - 1] == '\r') --fine;
    righe.push_back({inizio, fine, dopo});
    inizio = dopo;
  }
  return righe;
}

// The name of a section line ("[name]"), or false when the line is none.
bool Sezione(const std::string& riga, std::string& nome) {
  const std::string r = Rifila(riga);
  if (r.empty() || r.front() != '[') return false;
  const size_t chiusa = r.find(']');
  nome = Rifila(r.substr(1, chiusa == std::string::npos ? std::string::npos : chiusa - 1));
  return true;
}

// The key and value of a "key=value" line, or false when the line has no '='.
bool Chiave(const std::string& riga, std::string& chiave, std::string& valore) {
  const size_t uguale = riga.find('=');
  if (uguale == std::string::npos) return false;
  chiave = Rifila(riga.substr(0, uguale));
  valore = Rifila(riga.substr(uguale + 1));
  return true;
}

// Where a section and its key stand in the file. `sezione` is the index of the first section
// line with that name (-1: none); `chiave` the first key line of that name inside it (-1: none);
// `ultima` the last line of the section that is neither blank nor a comment (the section line
// itself when there is none).
struct TPosizione {
  long sezione = -1;
  long chiave = -1;
  long ultima = -1;
  std::string valore;
};

TPosizione Trova(const std::string& testo, const std::vector<TRiga>& righe,
                 const std::string& sezione, const std::string& chiave) {
  TPosizione p;
  for (size_t i = 0; i < righe.size(); ++i) {
    const std::string riga = testo.substr(righe[i].inizio, righe[i].fine - righe[i].inizio);
    std::string nome, valore;
    if (Sezione(riga, nome)) {
      if (p.sezione >= 0) break;  // only the first section of that name counts
      if (UgualiSenzaMaiuscole(nome, sezione)) p.sezione = p.ultima = static_cast<long>(i);
      continue;
    }
    if (p.sezione < 0) continue;
    // A comment after the last key belongs to what follows.
    const std::string contenuto = Rifila(riga);
    if (!contenuto.empty() && contenuto.front() != ';' && contenuto.front() != '#')
      p.ultima = static_cast<long>(i);
    if (p.chiave < 0 && Chiave(riga, nome, valore) && UgualiSenzaMaiuscole(nome, chiave)) {
      p.chiave = static_cast<long>(i);
      p.valore = valore;
    }
  }
  return p;
}

// The file that a write really changes: the target of a link, so that the link stays.
std::string Destinazione(const std::string& fileName) {
  std::string path = fileName;
  for (int salti = 0; salti < 16; ++salti) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    std::vector<char> bersaglio(PATH_MAX + 1);
    const ssize_t n = readlink(path.c_str(), bersaglio.data(), PATH_MAX);
    if (n <= 0) return path;
    std::string letto(bersaglio.data(), static_cast<size_t>(n));
    if (letto.front() != '/') {
      const size_t barra = path.rfind('/');
      letto = (barra == std::string::npos ? "" : path.substr(0, barra + 1)) + letto;
    }
    path = letto;
  }
  return path;
}

bool ScriviTutto(int fd, const std::string& testo) {
  size_t scritti = 0;
  while (scritti < testo.size()) {
    const ssize_t n = write(fd, testo.data() + scritti, testo.size() - scritti);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    scritti += static_cast<size_t>(n);
  }
  return true;
}

// Rewrites `path` through its own inode: owner, group and mode stay. Not atomic, so only for a
// file that this process may write but not give to its owner.
bool RiscriviSulPosto(const std::string& path, const std::string& testo) {
  const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = ScriviTutto(fd, testo);
  ok = ok && ftruncate(fd, static_cast<off_t>(testo.size())) == 0 && fsync(fd) == 0;
  return close(fd) == 0 && ok;
}

// Writes the whole text to a new file beside `path` and puts it in place of `path` in one step:
// a full disk or a crash leaves the old file whole, never a cut one.
bool Sostituisci(const std::string& path, const std::string& testo) {
  struct stat vecchio {};
  const bool esisteva = stat(path.c_str(), &vecchio) == 0;
  std::string provvisorio = path + ".XXXXXX";
  const int fd = mkstemp(provvisorio.data());
  if (fd < 0) return false;
  bool ok = ScriviTutto(fd, testo);
  // The new file takes the old one's owner, group and permissions (a run as root must not take
  // a shared file away from its users); a new file gets the usual ones. The owner goes first:
  // changing it clears the set-id bits that the mode then puts back.
  const bool proprietario = !esisteva || fchown(fd, vecchio.st_uid, vecchio.st_gid) == 0;
  const mode_t modo = esisteva ? (vecchio.st_mode & 07777) : 0644;
  ok = ok && fchmod(fd, modo) == 0 && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (ok && !proprietario) {
    // Not allowed to give the file away: write it in place, which keeps its owner.
    unlink(provvisorio.c_str());
    return RiscriviSulPosto(path, testo);
  }
  ok = ok && rename(provvisorio.c_str(), path.c_str()) == 0;
  if (!ok) unlink(provvisorio.c_str());
  return ok;
}

}  // namespace

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) const {
  std::string testo;
  // A file that is missing or unreadable reads as empty, as a profile does.
  if (!Leggi(fileName_, testo)) testo.clear();
  const TPosizione p = Trova(testo, Righe(testo), section, key);
  std::string result = p.chiave >= 0 ? p.valore : defaultValue;
  // A value written between double quotes reads without them, as from a Windows profile.
  if (p.chiave >= 0 && result.size() >= 2 && result.front() == '"' && result.back() == '"')
    result = result.substr(1, result.size() - 2);
  if (result.size() > LunghezzaMassimaValore) result.resize(LunghezzaMassimaValore);
  return result;
}

std::vector<std::string> TIniFile::ReadSection(const std::string& section) const {
  std::string testo;
  if (!Leggi(fileName_, testo)) testo.clear();
  std::vector<std::string> chiavi;
  bool dentro = false;
  for (const TRiga& r : Righe(testo)) {
    const std::string riga = testo.substr(r.inizio, r.fine - r.inizio);
    std::string nome, valore;
    if (Sezione(riga, nome)) {
      // Only the first section of that name counts, as for a read.
      if (dentro) break;
      dentro = UgualiSenzaMaiuscole(nome, section);
      continue;
    }
    const std::string contenuto = Rifila(riga);
    if (dentro && !contenuto.empty() && contenuto.front() != ';' && contenuto.front() != '#' &&
        Chiave(riga, nome, valore))
      chiavi.push_back(nome);
  }
  return chiavi;
}

std::vector<std::string> TIniFile::ReadSections() const {
  std::string testo;
  if (!Leggi(fileName_, testo)) testo.clear();
  std::vector<std::string> sezioni;
  for (const TRiga& r : Righe(testo)) {
    std::string nome;
    if (!Sezione(testo.substr(r.inizio, r.fine - r.inizio), nome)) continue;
    bool vista = false;
    for (const std::string& s : sezioni) vista = vista || UgualiSenzaMaiuscole(s, nome);
    if (!vista) sezioni.push_back(nome);
  }
  return sezioni;
}

void TIniFile::WriteString(const std::string& section, const std::string& key,
                           const std::string& value) {
  const std::string path = Destinazione(fileName_);
  std::string testo;
  // Rewriting a file that could not be read would lose what it holds.
  if (!Leggi(path, testo)) throw EIniFileError("Unable to write to " + fileName_);
  const std::vector<TRiga> righe = Righe(testo);
  // New lines end as the file's first line does.
  const std::string fineRiga = !righe.empty() && righe[0].dopo > righe[0].fine + 1 ? "\r\n" : "\n";
  const std::string riga = key + "=" + value;
  const TPosizione p = Trova(testo, righe, section, key);
  std::string nuovo;
  if (p.chiave >= 0) {
    const TRiga& r = righe[static_cast<size_t>(p.chiave)];
    nuovo = testo.substr(0, r.inizio) + riga + testo.substr(r.fine);
  } else if (p.sezione >= 0) {
    const TRiga& r = righe[static_cast<size_t>(p.ultima)];
    // After the section's last line; that line may be the file's last, without its line end
    // (a lone CR is none: the new line would join the old one).
    const std::string prima = testo[r.dopo - 1] != '\n' ? fineRiga : "";
    nuovo = testo.substr(0, r.dopo) + prima + riga + fineRiga + testo.substr(r.dopo);
  } else {
    nuovo = testo;
    if (!nuovo.empty() && nuovo.back() != '\n') nuovo += fineRiga;
    nuovo += "[" + section + "]" + fineRiga + riga + fineRiga;
  }
  if (!Sostituisci(path, nuovo)) throw EIniFileError("Unable to write to " + fileName_);
}
