#include "support/TestSupport.h"

#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string Quote(const std::string& text) {
  std::string r = "'";
  for (char c : text) {
    if (c == '\'')
      r += "'\\''";
    else
      r += c;
  }
  return r + "'";
}

}  // namespace

TempFolder::TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vessentaria-XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = std::string(buffer.data()) + "/";
}

TempFolder::~TempFolder() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

int RunCommand(const std::string& commandLine, std::string* out, std::string* err,
               const std::string& stdinText) {
  TempFolder io;
  {
    std::ofstream in(io / "in", std::ios::binary);
    in << stdinText;
  }
  std::string full = "(" + commandLine + ") <" + Quote(io / "in") + " >" + Quote(io / "out") +
                     " 2>" + Quote(io / "err");
  int status = std::system(full.c_str());
  if (out) *out = ReadAll(io / "out");
  if (err) *err = ReadAll(io / "err");
  if (status == -1) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string RunIsql(const std::string& database, const std::string& script) {
  std::string out, err;
  std::string cmd = "isql-fb -q -user SYSDBA -password masterkey";
  if (!database.empty()) cmd += ' ' + Quote(database);
  // Stop at the first error so that a broken fixture script cannot pass unnoticed.
  int rc = RunCommand(cmd + " -bail", &out, &err, script);
  if (rc != 0 || !err.empty())
    throw std::runtime_error("isql failed (" + std::to_string(rc) + "): " + err + out);
  return out;
}

void CreaDatabaseDiProva(const std::string& path, const std::string& ddl, int dialetto) {
  RunIsql("", "SET SQL DIALECT " + std::to_string(dialetto) + ";\nCREATE DATABASE '" + path +
                  "' USER 'SYSDBA' PASSWORD 'masterkey' PAGE_SIZE 4096;\n" + ddl + "\nCOMMIT;\n");
}

std::string QueryIsql(const std::string& database, const std::string& select) {
  return RunIsql(database, "SET LIST ON;\nSET BLOB ALL;\n" + select + ";\n");
}

std::string RigheNumerate(int n, const std::string& colonne) {
  // The server stops a recursion at 1024 levels: the numbers are made of thousands and units,
  // each counted by a recursion of its own.
  auto conta = [](const char* nome, int fino) {
    return std::string(nome) + " (I) AS (SELECT 0 FROM RDB$DATABASE UNION ALL SELECT I + 1 FROM " +
           nome + " WHERE I < " + std::to_string(fino) + ")";
  };
  return "WITH RECURSIVE " + conta("U", std::min(n, 1000) - 1) + ",\n" +
         conta("M", (n - 1) / 1000) +
         ",\nN (I) AS (SELECT M.I * 1000 + U.I + 1 FROM M CROSS JOIN U WHERE M.I * 1000 + U.I < " +
         std::to_string(n) + ")\nSELECT " + colonne + " FROM N";
}

std::string ProgramPath() {
  return VESSENTARIA_EXE;
}

std::string QueryRigheTask() {
  // Markers around each row, because a note may hold line breaks of its own.
  return "SET HEADING OFF;\nSELECT '<' || ID || '|' || COALESCE(ULTIMAESECUZIONE, '') || '|' || "
         "COALESCE(CAST(NOTEULTIMAESECUZIONE AS VARCHAR(8000)), '') || '>' FROM VESSENTARIA;\n";
}

std::map<int, TRigaTask> LeggiRigheTask(const std::string& uscitaIsql) {
  std::map<int, TRigaTask> righe;
  size_t inizio = 0;
  while ((inizio = uscitaIsql.find('<', inizio)) != std::string::npos) {
    const size_t fine = uscitaIsql.find('>', inizio);
    const std::string campo = uscitaIsql.substr(inizio + 1, fine - inizio - 1);
    const size_t a = campo.find('|');
    const size_t b = campo.find('|', a + 1);
    righe[std::stoi(campo.substr(0, a))] = {campo.substr(b + 1), campo.substr(a + 1, b - a - 1)};
    inizio = fine;
  }
  return righe;
}

std::unique_ptr<TSQLDatabase> ConnettiArchivio(const std::string& nome,
                                               const std::string& password) {
  auto database = std::make_unique<TSQLDatabase>();
  database->SetDatabaseName(nome);
  database->Params().Add("user_name=SYSDBA");
  database->Params().Add("password=" + password);
  database->SetLoginPrompt(false);
  database->SetConnected(true);
  return database;
}

std::string LeggiFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void ScriviFile(const std::string& path, const std::string& testo) {
  std::ofstream(path, std::ios::binary) << testo;
}

std::string FileSql(const std::string& nome) {
  const std::filesystem::path file =
      std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "sql" / nome;
  if (!std::filesystem::is_regular_file(file))
    throw std::runtime_error("cannot read " + file.string());
  return LeggiFile(file.string());
}

TComeUtenteDiSistema::TComeUtenteDiSistema() {
  if (geteuid() != 0) return;
  const passwd* utente = getpwnam("firebird");
  if (utente == nullptr || seteuid(utente->pw_uid) != 0)
    throw std::runtime_error("cannot act as the firebird user");
  cambiato_ = true;
}

TComeUtenteDiSistema::~TComeUtenteDiSistema() {
  if (cambiato_ && seteuid(0) != 0) std::abort();
}
