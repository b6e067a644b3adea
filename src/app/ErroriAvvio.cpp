#include "app/ErroriAvvio.h"

#include "platform/Dialogs.h"

const std::array<TInfoErrore, 10> ErroriAvvio = {{
    {1, "Percorso \"%s\" non trovato"},
    {2, "Archivio \"%s\" non trovato"},
    {3, "Impossibile stabilire la connessione all'archivio\r\"%s\""},
    {4, "Utente \"%s\" non trovato nella configurazione di USER.FDB"},
    {5, "Utente \"%s\" senza ditta corrente impostata"},
    {6, "Utente \"%s\" senza parametro \"%s\" configurato"},
    {7, "Tabella vessentaria \"%s\" non trovata nell'archivio \"%s\""},
    {8, "Vessentaria non avviabile:\r%s"},
    {10, "File delle credenziali \"%s\" non protetto:\r%s"},
    {2, "Archivio \"%s\" non raggiungibile dall'utente che esegue il programma:\r%s"},
}};

std::string FormattaErroreAvvio(uint8_t Indice, const std::string& Primo,
                                const std::string& Secondo) {
  // The arguments are paths and texts from the databases: they are inserted, never interpreted.
  const std::string formato = ErroriAvvio.at(Indice).Messaggio;
  std::string risultato;
  int argomento = 0;
  for (size_t i = 0; i < formato.size(); ++i) {
    if (formato[i] == '%' && i + 1 < formato.size() && formato[i + 1] == 's') {
      risultato += argomento++ == 0 ? Primo : Secondo;
      ++i;
    } else {
      risultato += formato[i];
    }
  }
  return risultato;
}

int32_t MostraErroreAvvio(uint8_t Indice, const std::string& Primo, const std::string& Secondo) {
  MostraErrore(FormattaErroreAvvio(Indice, Primo, Secondo));
  return ErroriAvvio.at(Indice).Codice;
}
