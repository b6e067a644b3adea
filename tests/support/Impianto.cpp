#include "support/Impianto.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include "db/SQLDatabase.h"
#include "db/SQLStatement.h"
#include "db/SQLTransaction.h"
#include "db/SQLVar.h"

namespace fs = std::filesystem;

const char* const kNotaVecchia = "nota vecchia";
const char* const kSuccesso = "Elaborazione effettuata senza anomalie da segnalare";
const char* const kAvviata = "Elaborazione avviata e non conclusa";

namespace {

uint64_t Fnv1a(const std::string& testo) {
  uint64_t h = 14695981039346656037ull;
  for (unsigned char c : testo) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

}  // namespace

std::string Apici(const std::string& testo) {
  std::string r = "'";
  for (char c : testo) r += c == '\'' ? std::string("''") : std::string(1, c);
  return r + "'";
}

TIsql IsqlLocale() {
  return [](const std::string& database, const std::string& script) {
    return RunIsql(database, script);
  };
}

TProcesso::TProcesso(const std::string& cartella, const std::string& eseguibile,
                     const std::string& utente, const std::vector<std::string>& argomenti) {
  const std::string opzioneUtente = "--reuid=" + utente;
  const std::string opzioneGruppo = "--regid=" + utente;
  // Built before the fork: the child only calls what is safe there.
  std::vector<const char*> argv;
  if (utente.empty()) {
    argv = {eseguibile.c_str()};
  } else {
    argv = {"setpriv", opzioneUtente.c_str(), opzioneGruppo.c_str(), "--init-groups",
            eseguibile.c_str()};
  }
  for (const std::string& argomento : argomenti) argv.push_back(argomento.c_str());
  argv.push_back(nullptr);
  const char* const file = utente.empty() ? eseguibile.c_str() : "/usr/bin/setpriv";
  const std::string out = uscite_ / "out";
  const std::string err = uscite_ / "err";
  inizio_ = std::chrono::steady_clock::now();
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    int nullo = open("/dev/null", O_RDONLY);
    int fdOut = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int fdErr = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (nullo < 0 || fdOut < 0 || fdErr < 0 || chdir(cartella.c_str()) != 0) _exit(126);
    dup2(nullo, STDIN_FILENO);
    dup2(fdOut, STDOUT_FILENO);
    dup2(fdErr, STDERR_FILENO);
    execv(file, const_cast<char* const*>(argv.data()));
    _exit(127);
  }
}

TProcesso::~TProcesso() {
  if (InCorso()) Uccidi();
}

bool TProcesso::InCorso() {
  if (pid_ <= 0) return false;
  int stato = 0;
  if (waitpid(pid_, &stato, WNOHANG) == pid_) {
    stato_ = WIFEXITED(stato) ? WEXITSTATUS(stato) : 128 + WTERMSIG(stato);
    pid_ = -1;
    return false;
  }
  return true;
}

bool TProcesso::HaAperto(const std::string& file) {
  if (!InCorso()) return false;
  std::error_code ec;
  const fs::path cercato = fs::canonical(file, ec);
  for (const auto& voce : fs::directory_iterator("/proc/" + std::to_string(pid_) + "/fd", ec)) {
    std::error_code ec2;
    if (fs::read_symlink(voce.path(), ec2) == cercato) return true;
  }
  return false;
}

void TProcesso::Uccidi() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  int stato = 0;
  waitpid(pid_, &stato, 0);
  stato_ = WIFEXITED(stato) ? WEXITSTATUS(stato) : 128 + WTERMSIG(stato);
  pid_ = -1;
}

TEsito TProcesso::Attendi(std::chrono::seconds limite) {
  const auto fine = std::chrono::steady_clock::now() + limite;
  while (InCorso() && std::chrono::steady_clock::now() < fine)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  TEsito esito;
  esito.secondi = std::chrono::duration<double>(std::chrono::steady_clock::now() - inizio_).count();
  esito.stato = InCorso() ? -1 : stato_;
  esito.out = LeggiFile(uscite_ / "out");
  esito.err = LeggiFile(uscite_ / "err");
  return esito;
}

TImpianto::TImpianto()
    : installazione_(cartella_ / "installazione/"),
      archivi_(cartella_ / "archivi/"),
      ditta_(archivi_ + "ditta.fdb") {
  fs::create_directories(installazione_);
  fs::create_directories(archivi_);
  fs::copy_file(ProgramPath(), installazione_ + "vessentaria");
}

void TImpianto::CreaUserFdb(const std::string& ddl) {
  fs::create_directories(CartellaUtente());
  CreaDatabaseDiProva(UserFdb(), ddl);
}

void TImpianto::CreaUtente(const std::string& archivio, const std::string& extra) {
  CreaUserFdb(
      FileSql("user.sql") +
      "\nCOMMIT;\nINSERT INTO UTENTI (NOMEUTENTE, CODICE, DITTA) VALUES ('VESSENTARIA#', 7, "
      "'01');\nINSERT INTO TABSOFTDES (UTENTE, INTESTAZIONE, PARAMETRO, VALORE) VALUES (7, "
      "'01', 'Archivio', " +
      Apici(archivio) + ");\n" + extra);
}

void TImpianto::CreaDitta(const std::string& righe, const std::string& ddl) {
  if (!fs::exists(UserFdb())) CreaUtente(ditta_);
  CreaDatabaseDiProva(ditta_, ddl + "\nCOMMIT;\n" + righe);
}

void TImpianto::CreaOrdini(const std::string& path, const std::string& righe) {
  fs::create_directories(fs::path(path).parent_path());
  CreaDatabaseDiProva(path, DdlOrdini() + "\nCOMMIT;\n" + righe);
}

TProcesso TImpianto::Avvia(const std::vector<std::string>& argomenti) const {
  return TProcesso(installazione_, Programma(), utente_, argomenti);
}

bool TImpianto::EseguiComeUtenteDiSistema() {
  if (geteuid() != 0) return false;
  utente_ = "firebird";
  std::string out, err;
  // The temporary folder itself is private (0700): open it for traversal.
  const std::string radice = cartella_.Path();
  if (RunCommand("chown -R firebird:firebird '" + radice + "' && chmod 0755 '" + radice + "'", &out,
                 &err) != 0)
    throw std::runtime_error("cannot hand the installation over: " + err);
  return true;
}

void TImpianto::ScriviCredenziali(const std::string& testo) const {
  const std::string file = CartellaUtente() + "credenziali.ini";
  std::ofstream(file, std::ios::binary | std::ios::trunc) << testo;
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
  std::string out, err;
  if (!utente_.empty() &&
      RunCommand("chown " + utente_ + ":" + utente_ + " '" + file + "'", &out, &err) != 0)
    throw std::runtime_error("cannot hand the logins over: " + err);
}

TEsito TImpianto::Esegui(std::chrono::seconds limite) const {
  return Esegui({}, limite);
}

TEsito TImpianto::Esegui(const std::vector<std::string>& argomenti,
                         std::chrono::seconds limite) const {
  TProcesso processo = Avvia(argomenti);
  return processo.Attendi(limite);
}

std::map<int, TRigaTask> TImpianto::LeggiTabella(const TIsql& isql) const {
  return LeggiRigheTask(isql(ditta_, QueryRigheTask()));
}

std::string RigaTask(int id, const std::string& origine, const std::string& destinazione,
                     const std::string& status, const std::string& tipo) {
  auto valore = [](const std::string& v) { return v == "NULL" ? v : Apici(v); };
  return "INSERT INTO VESSENTARIA (ID, ARCHIVIOORIGINE, ARCHIVIODESTINAZIONE, TIPOSINCRO, STATUS,"
         " ULTIMAESECUZIONE, NOTEULTIMAESECUZIONE) VALUES (" +
         std::to_string(id) + ", " + valore(origine) + ", " + valore(destinazione) + ", " +
         valore(tipo) + ", " + status + ", '2001-02-03 04:05:06', '" + kNotaVecchia + "');\n";
}

std::string Impronta(const std::string& archivio, const TIsql& isql) {
  std::string impronta;
  for (const std::string& tabella : TabelleOrdini()) {
    const std::string righe = isql(archivio, "SET LIST ON;\n" + SelezioneTabella(tabella) + ";\n");
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(Fnv1a(righe)));
    impronta +=
        tabella + " " + std::to_string(ContaRighe(archivio, tabella, isql)) + " " + hex + "\n";
  }
  return impronta;
}

int ContaRighe(const std::string& archivio, const std::string& tabella, const TIsql& isql) {
  std::istringstream testo(
      isql(archivio, "SET HEADING OFF;\nSELECT COUNT(*) FROM " + tabella + ";\n"));
  int n = -1;
  testo >> n;
  return n;
}

std::string DatiMassivi(int ordini) {
  const std::string n = std::to_string(ordini);
  return R"(
SET TERM ^;
EXECUTE BLOCK AS
  DECLARE I INTEGER = 0;
  DECLARE C INTEGER;
BEGIN
  WHILE (I < )" +
         n + R"( / 10) DO BEGIN
    INSERT INTO CLIENTI (CODICE, RAGIONESOCIALE, NAZIONE, INTESTATARIOFATTURA, FIDO, NOTE)
      VALUES ('U' || :I, 'Cliente americano ' || :I, 'USA', 'H' || :I, :I * 10.25,
              'consegna ' || :I);
    INSERT INTO CLIENTI (CODICE, RAGIONESOCIALE, NAZIONE, INTESTATARIOFATTURA, FIDO)
      VALUES ('H' || :I, 'Capogruppo ' || :I, 'ITA', 'H' || :I, :I);
    INSERT INTO CLIENTI (CODICE, RAGIONESOCIALE, NAZIONE, INTESTATARIOFATTURA)
      VALUES ('I' || :I, 'Cliente italiano ' || :I, 'ITA', 'I' || :I);
    I = I + 1;
  END
  I = 0;
  WHILE (I < )" +
         n + R"() DO BEGIN
    C = MOD(I, )" +
         n + R"( / 10);
    INSERT INTO PS_ORDINI (ID, IDSESSIONE, IDUTENTE, CODDEST, DATAORDINE, TOTALE, NOTE)
      VALUES (:I + 1, :I + 1, IIF(MOD(:I, 2) = 0, 61, 5), IIF(MOD(:I, 2) = 0, 'I' || :C, 'U' || :C),
              DATEADD(:I SECOND TO TIMESTAMP '2024-01-01 08:00:00'), :I * 1.25, 'ordine ' || :I);
    INSERT INTO PS_STOINSCAR (IDINSERIMENTO, IDSESSIONE, QUANTITA, PEZZI, PREZZO, IMPORTO,
                              DATACONSEGNA, DESCRIZIONE, NOTE)
      VALUES (2 * :I + 1, :I + 1, MOD(:I, 100), :I, 9.99, :I * 9.99,
              DATEADD(MOD(:I, 365) DAY TO DATE '2024-01-01'), 'riga ' || :I, 'prima riga');
    INSERT INTO PS_STOINSCAR (IDINSERIMENTO, IDSESSIONE, QUANTITA, PREZZO, DESCRIZIONE)
      VALUES (2 * :I + 2, :I + 1, 1, 0.5, 'seconda riga ' || :I);
    INSERT INTO PS_STOSESSION (ID, INIZIO, FINE, DURATA, TERMINALE)
      VALUES (:I + 1, DATEADD(:I SECOND TO TIMESTAMP '2024-01-01 07:00:00'), '08:00:00',
              :I / 7.0, 'T' || MOD(:I, 10));
    I = I + 1;
  END
END^
SET TERM ;^
COMMIT;
)";
}

void ScriviDatiIni(const std::string& cartella, const std::string& server,
                   const std::string& alias) {
  std::ofstream(cartella + "dati.ini", std::ios::binary)
      << "[CONFIG]\r\nNome Server=" << server << "\r\nAlias=" << alias << "\r\n";
}

TSessione::TSessione(const std::string& nomeDatabase, const std::string& password)
    : database_(ConnettiArchivio(nomeDatabase, password)) {
  transazione_ = CreaTransazioneSnapshot(*database_);
}

TSessione::~TSessione() {
  try {
    if (transazione_ && transazione_->InTransaction()) transazione_->Rollback();
  } catch (...) {
  }
  transazione_.reset();
  database_.reset();
}

void TSessione::Esegui(const std::string& sql) {
  TSQLStatement statement;
  Esegui(statement, sql);
}

int TSessione::Valore(const std::string& select) {
  TSQLStatement statement;
  Esegui(statement, select);
  return statement.Fields(0).AsInteger();
}

void TSessione::Esegui(TSQLStatement& statement, const std::string& sql) {
  statement.SetDatabase(database_.get());
  statement.SetTransaction(transazione_.get());
  statement.SetParamCheck(false);
  statement.SQL().Add(sql);
  statement.Execute();
}

void TSessione::Rollback() {
  if (transazione_->InTransaction()) transazione_->Rollback();
}
