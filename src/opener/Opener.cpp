#include "opener/Opener.h"

#include <chrono>
#include <cmath>
#include <exception>
#include <set>

#include "db/SQLDatabase.h"
#include "db/SQLError.h"
#include "opener/Credenziali.h"
#include "platform/IniFile.h"
#include "platform/Testo.h"

namespace {

const char* const Sezione = "CONFIG";
const char* const NomeFilePredefinito = "archivio.fdb";

TIniFile DatiIni(const std::string& Cartella) {
  return TIniFile(Cartella + "dati.ini");
}

TLimitiRete limitiRete;
bool soloApertura = false;
TOsservatoreAperture osservatoreAperture;
std::string tentativiFalliti;

// What this process learnt of the host's server at one name: it did not answer in time, or
// something other than Firebird answers on its port. Later archives go straight to the embedded
// engine instead of waiting again, each said once: a task's archive opened again by a later task
// adds nothing. Forgotten when the limits are set anew.
struct TServerDellHostSaltato {
  std::string Nome;
  std::string Causa;  // empty: nothing learnt
  std::set<std::string> Detti;
} serverDellHostSaltato;

// A refusal, or the answer of a program other than Firebird, comes within milliseconds on the
// loopback and on a local link; an attempt that lasted this long (less than the shortest
// connection limit, one second) waited for an answer that did not come.
constexpr double kSecondiDiAttesa = 0.8;

void AnnotaFallimento(const std::string& nome, const std::string& motivo) {
  tentativiFalliti += (tentativiFalliti.empty() ? "" : "\r") + nome + ": " + NotaSuUnaRiga(motivo);
}

// Definitivo: the opening ends here, no other rule and no creation follow (a refused login, a
// host's server whose name does not resolve); Motivo says why.
enum class TEsitoTentativo { Connesso, Fallito, Definitivo };

// The login for the database name `nome`: the site's for its server, unless the caller gave one.
// `chi` names it for a refusal's note, never with its password.
TLogin LoginPer(const std::string& nome, const std::string& Utente, const std::string& Password,
                std::string& chi) {
  if (Utente.empty() && Password.empty()) {
    const TLogin login = LoginPerServer(ServerDelNome(nome));
    chi = DescriviLogin(login);
    return login;
  }
  TLogin login = LoginPredefinito();
  if (!Utente.empty()) login.Utente = Utente;
  if (!Password.empty()) login.Password = Password;
  chi = "Utente \"" + login.Utente + "\"";
  return login;
}

void PreparaConnessione(TSQLDatabase& Database, const std::string& nome, const TLogin& login) {
  Database.SetConnected(false);
  Database.SetLoginPrompt(false);
  Database.SetConnectTimeout(limitiRete.TimeoutConnessione);
  Database.SetResponseTimeout(limitiRete.TimeoutRisposta);
  Database.Params().Clear();
  Database.Params().Add("user_name=" + login.Utente);
  Database.Params().Add("password=" + login.Password);
  if (!login.Ruolo.empty()) Database.Params().Add("sql_role_name=" + login.Ruolo);
  Database.SetDatabaseName(nome);
}

enum class TEsitoConnessione { Connesso, Rete, LoginRifiutato, Altro };

// One connection under `nome` with its login. Motivo: the failure's text, followed by the login
// tried when the server refused it (a misspelt section falls back to another login). Guasto, when
// given, receives what a network error met.
TEsitoConnessione Connetti(TSQLDatabase& Database, const std::string& nome,
                           const std::string& Utente, const std::string& Password,
                           const TOsservatoreConnessioni& Osservatore, std::string& Motivo,
                           TGuastoRete* Guasto = nullptr) {
  std::string chi;
  PreparaConnessione(Database, nome, LoginPer(nome, Utente, Password, chi));
  if (Osservatore) Osservatore(nome);
  try {
    Database.SetConnected(true);
    return TEsitoConnessione::Connesso;
  } catch (const ESQLError& errore) {
    Motivo = errore.what();
    if (Guasto) *Guasto = errore.GuastoRete();
    if (errore.ErroreDiRete()) return TEsitoConnessione::Rete;
    if (errore.LoginRifiutato()) {
      Motivo += "\r" + chi;
      return TEsitoConnessione::LoginRifiutato;
    }
  } catch (const std::exception& errore) {
    Motivo = errore.what();
  }
  return TEsitoConnessione::Altro;
}

// A plain local path through the host's server. The embedded engine is the way round only when
// that server is not there or cannot serve this file (Fallito):
// - the connection is refused at once: no server on this host, its usual state; nothing is said;
// - nothing answers in time, or something other than Firebird answers on its port: Avviso says
//   so, and this process does not wait for that server again;
// - the server answered but did not open the file (its account may not reach it): Avviso says so.
// A name that does not resolve is a mistake in the configuration, and a refused login is the
// server's last word: both end the opening (Definitivo), since the embedded engine would open the
// archive past the site's own choice.
TEsitoTentativo TentativoServerLocale(TSQLDatabase& Database, const std::string& NomeDatabase,
                                      const std::string& Utente, const std::string& Password,
                                      const TOsservatoreConnessioni& Osservatore,
                                      std::string& Motivo, std::string& Avviso) {
  const std::string& server = limitiRete.ServerLocale;
  const std::string nome = server + ":" + NomeDatabase;
  if (serverDellHostSaltato.Nome == server && !serverDellHostSaltato.Causa.empty()) {
    const std::string causa =
        "non interpellato (in questa esecuzione: " + serverDellHostSaltato.Causa + ")";
    if (serverDellHostSaltato.Detti.insert(NomeDatabase).second) Avviso = causa;
    AnnotaFallimento(nome, causa);
    return TEsitoTentativo::Fallito;
  }
  TGuastoRete guasto = TGuastoRete::Nessuno;
  const auto inizio = std::chrono::steady_clock::now();
  const TEsitoConnessione esito =
      Connetti(Database, nome, Utente, Password, Osservatore, Motivo, &guasto);
  const double secondi =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - inizio).count();
  const bool attesa = secondi >= kSecondiDiAttesa;
  std::string causa;
  switch (esito) {
    case TEsitoConnessione::Connesso:
      return TEsitoTentativo::Connesso;
    case TEsitoConnessione::LoginRifiutato:
      AnnotaFallimento(nome, Motivo);
      return TEsitoTentativo::Definitivo;
    case TEsitoConnessione::Altro:
      causa = "il server non ha aperto il file";
      break;
    case TEsitoConnessione::Rete:
      if (guasto == TGuastoRete::HostSconosciuto) {
        Motivo = "Server locale \"" + server +
                 "\" ([Rete] ServerLocale nel dati.ini di USER.FDB) sconosciuto: " +
                 NotaSuUnaRiga(Motivo);
        return TEsitoTentativo::Definitivo;
      }
      if (guasto == TGuastoRete::NonStabilita && !attesa) {
        Motivo.clear();
        return TEsitoTentativo::Fallito;
      }
      causa = attesa ? "nessuna risposta in " + std::to_string(std::lround(secondi)) + " s"
                     : "sulla porta non risponde un server Firebird";
      serverDellHostSaltato = {server, causa, {NomeDatabase}};
      break;
  }
  AnnotaFallimento(nome, Motivo);
  Avviso = causa + ": " + NotaSuUnaRiga(Motivo);
  if (esito == TEsitoConnessione::Rete) Avviso += "; non più interpellato in questa esecuzione";
  Motivo.clear();
  return TEsitoTentativo::Fallito;
}

// The embedded engine opened `nome` after the host's server failed it for the reason `avviso`.
void AvvisaViaIncorporata(const std::string& nome, const std::string& avviso) {
  if (avviso.empty()) return;
  ScriviRigaErrore(nome + ": aperto tramite motore incorporato, non tramite server " +
                       limitiRete.ServerLocale + ": " + avviso,
                   TGravita::Avviso);
}

// One attempt of ConnettiCreaDatabase; Motivo is the server's text of a failed connection,
// empty when it connected.
TEsitoTentativo Tentativo(TSQLDatabase& Database, const std::string& NomeDatabase,
                          const std::string& Server, const std::string& LetteraDisco,
                          const std::string& Utente, const std::string& Password,
                          const TOsservatoreConnessioni& Osservatore, std::string& Motivo) {
  Motivo.clear();
  std::string nome = NomeDatabase;
  if (!Server.empty()) {
    if (!LetteraDisco.empty()) nome = LetteraDisco + (nome.empty() ? "" : nome.substr(1));
    nome = Server + ":" + nome;
  }
  // The server would read a relative name from its own folder.
  std::string avviso;
  if (!limitiRete.ServerLocale.empty() && nome.rfind('/', 0) == 0 && ServerDelNome(nome).empty()) {
    const TEsitoTentativo esito =
        TentativoServerLocale(Database, nome, Utente, Password, Osservatore, Motivo, avviso);
    if (esito != TEsitoTentativo::Fallito) return esito;
  }
  const TEsitoConnessione esito = Connetti(Database, nome, Utente, Password, Osservatore, Motivo);
  if (esito == TEsitoConnessione::Connesso) {
    AvvisaViaIncorporata(nome, avviso);
    return TEsitoTentativo::Connesso;
  }
  AnnotaFallimento(nome, Motivo);
  if (esito == TEsitoConnessione::Rete) return TEsitoTentativo::Fallito;
  if (esito == TEsitoConnessione::LoginRifiutato) return TEsitoTentativo::Definitivo;
  // Whatever else the cause, the next move is to create the database under the same name; an
  // existing file makes the creation fail, so nothing is overwritten.
  if (soloApertura) return TEsitoTentativo::Fallito;
  std::string chi;
  const TLogin login = LoginPer(nome, Utente, Password, chi);
  try {
    Database.Params().Clear();
    Database.Params().Add("USER " + TraApici(login.Utente, '"'));
    Database.Params().Add("PASSWORD " + TraApici(login.Password, '"'));
    Database.Params().Add("PAGE_SIZE 4096");
    Database.SetSQLDialect(3);
    Database.CreateDatabase();
  } catch (const std::exception&) {
    return TEsitoTentativo::Fallito;
  }
  AvvisaViaIncorporata(nome, avviso);
  MostraMessaggio("Effettuata creazione data base");
  return TEsitoTentativo::Connesso;
}

// True when connected; Messaggio as ConnettiCreaDatabase's, Motivo as Tentativo's.
bool Tenta(TSQLDatabase& Database, const std::string& NomeDatabase, const std::string& Server,
           const std::string& LetteraDisco, const std::string& Utente, const std::string& Password,
           std::string& Messaggio, const TOsservatoreConnessioni& Osservatore,
           std::string& Motivo) {
  const TEsitoTentativo esito = Tentativo(Database, NomeDatabase, Server, LetteraDisco, Utente,
                                          Password, Osservatore, Motivo);
  Messaggio = esito == TEsitoTentativo::Definitivo ? Motivo : "";
  return esito == TEsitoTentativo::Connesso;
}

}  // namespace

void ImpostaOsservatoreAperture(TOsservatoreAperture osservatore) {
  osservatoreAperture = std::move(osservatore);
}

std::string DescriviVia(const TSQLDatabase& Database) {
  const std::string server = ServerDelNome(Database.DatabaseName());
  return server.empty() ? "motore incorporato" : "server " + server;
}

std::string DescriviApertura(const TSQLDatabase& Database) {
  std::string utente;
  ValoreParametro(Database.Params(), "user_name", utente);
  return DescriviVia(Database) + ", utente " + utente;
}

void ImpostaSoloApertura(bool valore) {
  soloApertura = valore;
}

void ImpostaLimitiRete(const TLimitiRete& limiti) {
  limitiRete = limiti;
  serverDellHostSaltato = {};
}

const TLimitiRete& LimitiRete() {
  return limitiRete;
}

const std::string& TentativiFalliti() {
  return tentativiFalliti;
}

bool ConnettiCreaDatabase(TSQLDatabase& Database, const std::string& NomeDatabase,
                          const std::string& Server, const std::string& LetteraDisco,
                          const std::string& Utente, const std::string& Password,
                          std::string& Messaggio, const TOsservatoreConnessioni& Osservatore) {
  std::string motivo;
  return Tenta(Database, NomeDatabase, Server, LetteraDisco, Utente, Password, Messaggio,
               Osservatore, motivo);
}

bool PercorsoDaCondivisione(const std::string& Cartella, const std::string& PercorsoNelServer,
                            std::string& Percorso, bool& CondivisioneConNome) {
  // Cartella is \\server\share\rest.
  std::string t = Cartella.size() > 2 ? Cartella.substr(2) : "";
  const size_t fineServer = t.find('\\');
  const std::string server = t.substr(0, fineServer);
  t = fineServer == std::string::npos ? "" : t.substr(fineServer + 1);
  const std::string condivisione = t.substr(0, t.find('\\'));

  bool risultato = false;
  if (condivisione.size() <= 1) {
    // Shared under its drive letter: \\SRV\C\Dati\ is SRV:C:\Dati\ on the server.
    t = server + ":" + t;
    const size_t barra = t.find('\\');
    t.insert(barra == std::string::npos ? t.size() : barra, 1, ':');
  } else {
    CondivisioneConNome = true;
    if (!PercorsoNelServer.empty()) {
      t = server + ":" + PercorsoNelServer;
    } else {
      MostraMessaggio(
          "Attenzione: il disco con gli archivi è stato condiviso in rete con un nome - " +
          condivisione +
          " - e non con la lettera che lo identifica. Si consiglia di correggere la "
          "condivisione oppure "
          "di correggere manualmente la sezione Percorso Nel Server nel file Dati.ini accanto al "
          "database");
      risultato = true;
    }
  }
  Percorso = t;
  return risultato;
}

void ChiediServerDatabase(std::string& Server, std::string& LetteraDisco,
                          const std::string& Cartella, TFinestra* Proprietario) {
  Server.clear();
  LetteraDisco.clear();
  TIniFile ini = DatiIni(Cartella);
  Server = ini.ReadString(Sezione, "Nome Server", "");
  LetteraDisco = ini.ReadString(Sezione, "Lettera Disco Server", "");
  if (!Server.empty() || soloApertura) return;

  MostraMessaggio("Non trovato dati.ini");
  TDueCampiForm dialogo(Proprietario);
  dialogo.SetCaption("Non trovato dati.ini");
  dialogo.Label1.Caption =
      "Inserire il nome del computer e la lettera della sua\r\n"
      "unità disco dove risulta ospitato (o sarà ospitato) il database";
  TFont font;
  font.Name = "Arial";
  font.Size = 8;
  dialogo.SetFont(font);
  dialogo.Label1.Top -= 10;
  dialogo.Edit1.Text.clear();
  dialogo.ShowModal();
  if (dialogo.Esito != 1) return;

  Server = dialogo.Edit1.Text;
  LetteraDisco = dialogo.Edit2.Text;
  ini.WriteString(Sezione, "Nome Server", Server);
  if (!LetteraDisco.empty()) ini.WriteString(Sezione, "Lettera Disco Server", LetteraDisco);
}

namespace {

bool ApriSecondoLeRegole(TSQLDatabase& Database, const std::string& Cartella,
                         const std::string& NomeFile, const std::string& Utente,
                         const std::string& Password, TFinestra* Proprietario,
                         std::string& Messaggio, const TOsservatoreConnessioni& Osservatore) {
  const std::string nomeFile = NomeFile.empty() ? NomeFilePredefinito : NomeFile;
  std::string percorso = Cartella;
  bool stop = false;
  bool condivisioneConNome = false;
  bool risultato = false;

  TIniFile ini = DatiIni(Cartella);
  const std::string server = ini.ReadString(Sezione, "Nome Server", "");
  const std::string alias = ini.ReadString(Sezione, "Alias", "");
  std::string motivoServer;
  if (!server.empty() && !alias.empty()) {
    risultato = Tenta(Database, server + ":" + alias, "", "", Utente, Password, Messaggio,
                      Osservatore, motivoServer);
    // A server that refused the login answers for every rule: the next ones would reach the
    // same archive some other way, the embedded engine included, past the site's own logins.
    if (risultato || !Messaggio.empty()) return risultato;
  }

  const std::string percorsoDatabase = ini.ReadString(Sezione, "PercorsoDatabase", "");
  if (!percorsoDatabase.empty()) {
    std::string nome = "\\\\" + server + "\\" + percorsoDatabase;
    if (nome.back() != '\\') nome += '\\';
    // A named server folder is the whole answer: no other rule and no prompt follow.
    return ConnettiCreaDatabase(Database, nome + nomeFile, "", "", Utente, Password, Messaggio,
                                Osservatore);
  }

  if (Cartella.find("\\\\") != std::string::npos) {
    const std::string percorsoNelServer = ini.ReadString(Sezione, "Percorso Nel Server", "");
    stop = PercorsoDaCondivisione(Cartella, percorsoNelServer, percorso, condivisioneConNome);
  }
  if (!stop) {
    risultato = ConnettiCreaDatabase(Database, percorso + nomeFile, "", "", Utente, Password,
                                     Messaggio, Osservatore);
    if (!Messaggio.empty()) return false;
    // The archive is open, but not where dati.ini sends it: whoever reads the log should know
    // that the server was not used, why, and which way the archive was opened instead.
    if (risultato && !motivoServer.empty() && percorso == Cartella)
      ScriviRigaErrore(percorso + nomeFile + ": server " + server + " (alias " + alias +
                           ") non raggiungibile, aperto tramite " + DescriviVia(Database) + ": " +
                           NotaSuUnaRiga(motivoServer),
                       TGravita::Avviso);
  }
  if (!stop && condivisioneConNome && !risultato) {
    stop = true;
    MostraMessaggio(
        "Errore: nonostante le configurazioni, il particolare percorso di rete sta rendendo "
        "impossibile l'attivazione del database");
  }
  if (!risultato && !stop) {
    std::string serverChiesto;
    std::string letteraDisco;
    ChiediServerDatabase(serverChiesto, letteraDisco, Cartella, Proprietario);
    if (!serverChiesto.empty())
      risultato = ConnettiCreaDatabase(Database, percorso + nomeFile, serverChiesto, letteraDisco,
                                       Utente, Password, Messaggio, Osservatore);
    else
      MostraMessaggio("Apertura / creazione del database non riuscita!");
  }
  return risultato;
}

}  // namespace

bool ApriCreaDatabase(TSQLDatabase& Database, const std::string& Cartella,
                      const std::string& NomeFile, const std::string& Utente,
                      const std::string& Password, TFinestra* Proprietario, std::string& Messaggio,
                      const TOsservatoreConnessioni& Osservatore) {
  Messaggio.clear();
  tentativiFalliti.clear();
  const bool aperto = ApriSecondoLeRegole(Database, Cartella, NomeFile, Utente, Password,
                                          Proprietario, Messaggio, Osservatore);
  if (aperto && osservatoreAperture)
    osservatoreAperture(Cartella + (NomeFile.empty() ? NomeFilePredefinito : NomeFile),
                        DescriviApertura(Database));
  return aperto;
}
