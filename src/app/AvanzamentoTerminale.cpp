#include "app/AvanzamentoTerminale.h"

#include <chrono>

#include "platform/Testo.h"

namespace {

// Rewriting the line more often than this only makes it flicker.
constexpr double kIntervalloRighe = 0.25;

// 1234567 as "1.234.567".
std::string Migliaia(int64_t n) {
  std::string cifre = std::to_string(n < 0 ? -n : n);
  for (int i = static_cast<int>(cifre.size()) - 3; i > 0; i -= 3)
    cifre.insert(static_cast<size_t>(i), 1, '.');
  if (n < 0) cifre.insert(0, 1, '-');
  return cifre;
}

// Seconds as h:mm:ss.
std::string Durata(double secondi) {
  const auto s = static_cast<int64_t>(secondi < 0 ? 0 : secondi);
  char testo[32];
  std::snprintf(testo, sizeof testo, "%lld:%02d:%02d", static_cast<long long>(s / 3600),
                static_cast<int>(s / 60 % 60), static_cast<int>(s % 60));
  return testo;
}

}  // namespace

TAvanzamentoTerminale::TOrologio TAvanzamentoTerminale::OrologioDiSistema() {
  return [] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
  };
}

TAvanzamentoTerminale::TAvanzamentoTerminale(std::FILE* uscita, TOrologio orologio)
    : uscita_(uscita), orologio_(std::move(orologio)) {}

TAvanzamentoTerminale::~TAvanzamentoTerminale() {
  if (lunghezzaRiga_ > 0) {
    std::fputc('\n', uscita_);
    std::fflush(uscita_);
  }
}

std::string TAvanzamentoTerminale::NomeTask() const {
  std::string nome = "Task " + std::to_string(id_);
  if (totale_ > 0) nome += " (" + std::to_string(numero_) + " di " + std::to_string(totale_) + ")";
  return nome;
}

void TAvanzamentoTerminale::InizioTask(int32_t id) {
  id_ = id;
  ++numero_;
  passo_.clear();
  inizioTask_ = inizioPasso_ = orologio_();
  MostraRiga(NomeTask() + ": apertura degli archivi", false);
}

void TAvanzamentoTerminale::InizioPasso(const std::string& titolo) {
  passo_ = titolo;
  inizioPasso_ = orologio_();
  MostraRiga(NomeTask() + " - " + passo_ + " - " + Durata(inizioPasso_ - inizioTask_), false);
}

void TAvanzamentoTerminale::Righe(int64_t copiate) {
  const double adesso = orologio_();
  if (adesso - ultimaRiga_ < kIntervalloRighe) return;
  const double trascorsi = adesso - inizioPasso_;
  std::string testo = NomeTask() + " - " + passo_ + ": " + Migliaia(copiate) + " righe";
  if (trascorsi > 0)
    testo += " (" + Migliaia(static_cast<int64_t>(static_cast<double>(copiate) / trascorsi)) +
             " righe/s)";
  MostraRiga(testo + " - " + Durata(adesso - inizioTask_), false);
}

void TAvanzamentoTerminale::FineTask(bool riuscito, const std::string& nota) {
  ++(riuscito ? riusciti_ : falliti_);
  // The note's lines are separated by a lone CR, which a terminal would use to overwrite them.
  MostraRiga(NomeTask() + (riuscito ? " riuscito" : " fallito") + " in " +
                 Durata(orologio_() - inizioTask_) + ": " + NotaSuUnaRiga(nota),
             true);
}

void TAvanzamentoTerminale::Riepilogo() {
  const int nonEseguiti = totale_ > riusciti_ + falliti_ ? totale_ - riusciti_ - falliti_ : 0;
  MostraRiga("Task riusciti: " + std::to_string(riusciti_) + ", falliti: " +
                 std::to_string(falliti_) + ", non eseguiti: " + std::to_string(nonEseguiti),
             true);
}

void TAvanzamentoTerminale::MostraRiga(const std::string& grezzo, bool finale) {
  ultimaRiga_ = orologio_();
  const std::string testo = TestoVisibile(grezzo);
  std::string riga = "\r" + testo;
  // Blanks over what a longer previous line left behind, without relying on control sequences
  // that not every console understands.
  if (testo.size() < lunghezzaRiga_) riga.append(lunghezzaRiga_ - testo.size(), ' ');
  if (finale) {
    riga += '\n';
    lunghezzaRiga_ = 0;
  } else {
    lunghezzaRiga_ = testo.size();
  }
  std::fwrite(riga.data(), 1, riga.size(), uscita_);
  std::fflush(uscita_);
}
