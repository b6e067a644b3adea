#include "app/Configurazione.h"

#include <cctype>
#include <initializer_list>

#include "opener/Credenziali.h"
#include "platform/FileSystem.h"
#include "platform/IniFile.h"

namespace {

// A limit beyond a day is a mistake, not a wish: a hung server would hold the night's run.
constexpr int kSecondiMassimi = 86400;

bool UgualiSenzaMaiuscole(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

void ChiaviSconosciute(const TIniFile& ini, const std::string& sezione,
                       std::initializer_list<const char*> note, TControlloConfigurazione& c) {
  for (const std::string& chiave : ini.ReadSection(sezione)) {
    bool nota = false;
    for (const char* n : note) nota = nota || UgualiSenzaMaiuscole(chiave, n);
    if (!nota)
      c.Aggiungi(ini.FileName() + ": [" + sezione + "] chiave sconosciuta \"" + chiave + "\"");
  }
}

int LeggiSecondi(const TIniFile& ini, const char* chiave, int predefinito,
                 TControlloConfigurazione* controllo) {
  const std::string testo = ini.ReadString("Rete", chiave, "");
  if (testo.empty()) return predefinito;
  std::string difetto;
  if (testo.find_first_not_of("0123456789") != std::string::npos)
    difetto = "non è un numero intero di secondi";
  else if (testo.size() > 6 || std::stoi(testo) > kSecondiMassimi)
    difetto = "fuori dall'intervallo 0-" + std::to_string(kSecondiMassimi);
  if (difetto.empty()) return std::stoi(testo);
  if (controllo)
    controllo->Aggiungi(ini.FileName() + ": [Rete] " + chiave + "=" + testo + " " + difetto +
                        ": vale " + std::to_string(predefinito));
  return predefinito;
}

}  // namespace

void TControlloConfigurazione::Controlla(const std::string& archivio) {
  if (archivio.empty()) return;
  AggiungiServer(ServerDelNome(archivio));
  ControllaFile(EstraiCartella(archivio) + "dati.ini", false);
}

void TControlloConfigurazione::ControllaFile(const std::string& datiIni, bool conRete) {
  if (!controllati_.insert(datiIni).second) return;
  const TIniFile ini(datiIni);
  AggiungiServer(ini.ReadString("CONFIG", "Nome Server", ""));
  ChiaviSconosciute(
      ini, "CONFIG",
      {"Nome Server", "Alias", "PercorsoDatabase", "Percorso Nel Server", "Lettera Disco Server"},
      *this);
  if (conRete)
    ChiaviSconosciute(ini, "Rete", {"TimeoutConnessione", "TimeoutRisposta", "ServerLocale"},
                      *this);
}

void TControlloConfigurazione::AggiungiServer(const std::string& server) {
  if (server.empty()) return;
  for (const std::string& s : server_)
    if (UgualiSenzaMaiuscole(s, server)) return;
  server_.push_back(server);
}

void TControlloConfigurazione::ControllaCredenziali(const std::string& file) {
  if (file.empty()) return;
  const TIniFile ini(file);
  std::string usati;
  for (const std::string& server : server_) usati += (usati.empty() ? "" : ", ") + server;
  for (const std::string& sezione : ini.ReadSections()) {
    bool usata = UgualiSenzaMaiuscole(sezione, SezionePredefinita);
    for (const std::string& server : server_)
      usata = usata || UgualiSenzaMaiuscole(sezione, server);
    if ((tuttiVisti_ || loginRifiutato_) && !usata)
      Aggiungi(file + ": sezione [" + sezione +
               "] che non corrisponde a nessun server degli archivi" +
               (tuttiVisti_ ? "" : " letti finora") + " (" +
               (usati.empty() ? "nessuno: vale solo [" + std::string(SezionePredefinita) + "]"
                              : "server usati: " + usati) +
               ")");
    ChiaviSconosciute(ini, sezione, {"Utente", "Password", "Ruolo"}, *this);
  }
}

TLimitiRete LeggiLimitiRete(const std::string& datiIni, TControlloConfigurazione* controllo) {
  const TIniFile ini(datiIni);
  const TLimitiRete predefiniti;
  TLimitiRete limiti;
  limiti.TimeoutConnessione =
      LeggiSecondi(ini, "TimeoutConnessione", predefiniti.TimeoutConnessione, controllo);
  limiti.TimeoutRisposta =
      LeggiSecondi(ini, "TimeoutRisposta", predefiniti.TimeoutRisposta, controllo);
  // Present but empty, the key turns the host's server off: the embedded engine alone.
  limiti.ServerLocale = ServerLocalePredefinito();
  for (const std::string& chiave : ini.ReadSection("Rete"))
    if (UgualiSenzaMaiuscole(chiave, "ServerLocale"))
      limiti.ServerLocale = ini.ReadString("Rete", chiave, "");
  if (controllo) {
    // Plain local paths log in to the host's server under its own section.
    controllo->AggiungiServer(limiti.ServerLocale);
    controllo->ControllaFile(datiIni, true);
  }
  return limiti;
}
