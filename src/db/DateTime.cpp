#include "db/DateTime.h"

#include <cctype>
#include <cmath>
#include <cstdio>

#include "db/SQLInternal.h"

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
int64_t GiorniDaCivile(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivileDaGiorni(int64_t z, int& anno, int& mese, int& giorno) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t y = yoe + era * 400;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const int64_t m = mp < 10 ? mp + 3 : mp - 9;
  anno = static_cast<int>(y + (m <= 2));
  mese = static_cast<int>(m);
  giorno = static_cast<int>(d);
}

constexpr int64_t kGiorno1858 = -40587;  // 1858-11-17 in days since 1970-01-01

bool Bisestile(int anno) {
  return (anno % 4 == 0 && anno % 100 != 0) || anno % 400 == 0;
}

// Reads an unsigned number of 1 to maxCifre digits at `p`.
bool Numero(const std::string& s, size_t& p, int maxCifre, int& valore) {
  size_t inizio = p;
  valore = 0;
  while (p < s.size() && std::isdigit(static_cast<unsigned char>(s[p])) &&
         static_cast<int>(p - inizio) < maxCifre)
    valore = valore * 10 + (s[p++] - '0');
  return p > inizio;
}

bool Ora(const std::string& s, size_t& p, double& frazione) {
  int h = 0, n = 0, sec = 0;
  if (!Numero(s, p, 2, h) || p >= s.size() || s[p] != ':') return false;
  ++p;
  if (!Numero(s, p, 2, n)) return false;
  if (p < s.size() && s[p] == ':') {
    ++p;
    if (!Numero(s, p, 2, sec)) return false;
    if (p < s.size() && s[p] == '.') {
      int ignorata = 0;
      ++p;
      if (!Numero(s, p, 9, ignorata)) return false;
    }
  }
  if (h > 23 || n > 59 || sec > 59) return false;
  frazione = (h * 3600 + n * 60 + sec) / 86400.0;
  return true;
}

}  // namespace

bool GiornoDaData(int anno, int mese, int giornoDelMese, int32_t& giorno) {
  static const int kGiorniMese[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (anno < 1 || anno > 9999 || mese < 1 || mese > 12 || giornoDelMese < 1) return false;
  int massimo = kGiorniMese[mese - 1] + (mese == 2 && Bisestile(anno) ? 1 : 0);
  if (giornoDelMese > massimo) return false;
  giorno = static_cast<int32_t>(GiorniDaCivile(anno, mese, giornoDelMese) - kGiorno1858);
  return true;
}

void DataDaGiorno(int32_t giorno, int& anno, int& mese, int& giornoDelMese) {
  CivileDaGiorni(static_cast<int64_t>(giorno) + kGiorno1858, anno, mese, giornoDelMese);
}

TDateTime DataOraDaSQL(int32_t giorno, uint32_t tempo) {
  double giorni = static_cast<double>(giorno - kGiornoZeroDateTime);
  double frazione = static_cast<double>(tempo / kUnitaPerSecondo) / 86400.0;
  // Before the zero date the fraction still counts forward from the start of that day.
  return giorni >= 0 ? giorni + frazione : giorni - frazione;
}

void DataOraInSQL(TDateTime valore, int32_t& giorno, uint32_t& tempo) {
  // 0001-01-01 to 9999-12-31; anything else (NaN included) is no date.
  if (!(valore > -693594.0 && valore < 2958466.0)) ErroreConversione();
  double giorni = std::trunc(valore);
  double frazione = std::fabs(valore - giorni);
  int64_t secondi = std::llround(frazione * 86400.0);
  int64_t g = static_cast<int64_t>(giorni);
  if (secondi >= 86400) {
    secondi -= 86400;
    ++g;
  }
  giorno = static_cast<int32_t>(g + kGiornoZeroDateTime);
  tempo = static_cast<uint32_t>(secondi) * kUnitaPerSecondo;
}

std::string TestoData(int32_t giorno) {
  int a = 0, m = 0, d = 0;
  DataDaGiorno(giorno, a, m, d);
  char testo[32];
  std::snprintf(testo, sizeof testo, "%02d/%02d/%04d", d, m, a);
  return testo;
}

std::string TestoOra(uint32_t tempo) {
  uint32_t s = tempo / kUnitaPerSecondo;
  char testo[32];
  std::snprintf(testo, sizeof testo, "%02u:%02u:%02u", s / 3600, s / 60 % 60, s % 60);
  return testo;
}

bool DataOraDaTesto(const std::string& grezzo, TDateTime& valore) {
  size_t a = grezzo.find_first_not_of(' ');
  if (a == std::string::npos) return false;
  std::string s = grezzo.substr(a, grezzo.find_last_not_of(' ') - a + 1);
  size_t p = 0;
  double frazione = 0;
  // A time alone lands on the zero date.
  if (s.size() >= 3 && (s[1] == ':' || s[2] == ':')) {
    if (!Ora(s, p, frazione) || p != s.size()) return false;
    valore = frazione;
    return true;
  }
  int x = 0, y = 0, z = 0;
  int anno = 0, mese = 0, giorno = 0;
  if (!Numero(s, p, 4, x) || p >= s.size()) return false;
  const bool annoPrima = p == 4;
  char sep = s[p++];
  if (sep == '-' && annoPrima) {
    if (!Numero(s, p, 2, y) || p >= s.size() || s[p++] != '-' || !Numero(s, p, 2, z)) return false;
    anno = x, mese = y, giorno = z;
  } else if (sep == '/' || sep == '.') {
    if (!Numero(s, p, 2, y) || p >= s.size() || s[p++] != sep || !Numero(s, p, 4, z)) return false;
    giorno = x, mese = y, anno = z;
  } else {
    return false;
  }
  int32_t numero = 0;
  if (!GiornoDaData(anno, mese, giorno, numero)) return false;
  if (p < s.size()) {
    if (s[p] != ' ' && s[p] != 'T') return false;
    while (p < s.size() && (s[p] == ' ' || s[p] == 'T')) ++p;
    if (!Ora(s, p, frazione) || p != s.size()) return false;
  }
  valore = DataOraDaSQL(numero, 0);
  valore = valore >= 0 ? valore + frazione : valore - frazione;
  return true;
}
