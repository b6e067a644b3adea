#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "db/SQLError.h"
#include "db/SQLStatement.h"
#include "db/SQLTransaction.h"
#include "opener/Credenziali.h"
#include "platform/Dialogs.h"
#include "support/ArchiviOrdini.h"
#include "support/FirebirdServer.h"
#include "support/Impianto.h"
#include "support/Relay.h"
#include "taskbase/Avanzamento.h"
#include "taskbase/Connessione.h"
#include "taskbase/TaskInfo.h"
#include "transfer/TaskVornyUSA.h"

namespace {

// An active order-task row from `origine` to `destinazione`.
TVessentariaTaskInfo RigaAttiva(const std::string& origine, const std::string& destinazione) {
  TVessentariaTaskInfo riga;
  riga.ID = 1;
  riga.ArchivioOrigine = origine;
  riga.ArchivioDestinazione = destinazione;
  riga.TipoSincro = tsVornyUSA;
  riga.Status = ssAttivo;
  return riga;
}

// Answers every box and dialog at once and remembers what was shown: an unattended run must
// show nothing.
class InterfacciaMuta : public TInterfacciaUtente {
 public:
  InterfacciaMuta() : precedente_(ImpostaInterfacciaUtente(this)) {}
  ~InterfacciaMuta() override { ImpostaInterfacciaUtente(precedente_); }
  void MostraMessaggio(const std::string&, const std::string& testo, TIconaMessaggio) override {
    mostrati.push_back(testo);
  }
  void MostraDialogo(TDueCampiForm& dialogo) override {
    mostrati.push_back("dialogo");
    dialogo.CancelBtnClick();
  }
  std::vector<std::string> mostrati;

 private:
  TInterfacciaUtente* precedente_;
};

struct Esito {
  bool riuscito = false;
  std::string messaggio;
};

// Runs the order task from `origine` to `destinazione` as the run driver does, the server's copy
// allowed or not; the task and its connections are released on return.
Esito EseguiTask(const std::string& origine, const std::string& destinazione, bool nelServer = true,
                 bool* copiatoNelServer = nullptr, TAvanzamento* avanzamento = nullptr) {
  InterfacciaMuta ui;
  TTaskVornyUSA task;
  task.SetCopiaNelServer(nelServer);
  task.SetAvanzamento(avanzamento);
  const TVessentariaTaskInfo riga = RigaAttiva(origine, destinazione);
  Esito esito;
  EXPECT_TRUE(task.ApriConnessioni(riga, esito.messaggio)) << esito.messaggio;
  esito.riuscito = task.Esecuzione(esito.messaggio);
  EXPECT_TRUE(task.Destinazione()->TransazioneScrittura().InTransaction());
  EXPECT_EQ(ui.mostrati, std::vector<std::string>{});
  if (copiatoNelServer) *copiatoNelServer = task.CopiatoNelServer();
  return esito;
}

Esito EseguiTask(const ArchiviOrdini& archivi) {
  return EseguiTask(archivi.origine, archivi.destinazione);
}

// The rows each step showed last, by step in order: what the terminal's progress line ends with.
class PassiMostrati : public TAvanzamento {
 public:
  void InizioTask(int32_t) override {}
  void InizioPasso(const std::string& titolo) override { passi.push_back({titolo, 0}); }
  void Righe(int64_t copiate) override { passi.back().second = copiate; }
  void FineTask(bool, const std::string&) override {}
  std::vector<std::pair<std::string, int64_t>> passi;
};

// Archive pairs behind one private server, every archive under an alias of its own. A task row
// names a stand-in file beside a dati.ini that sends it to its alias: both archives of a pair
// are reached through one server name, with `conRelay` through a relay that counts round trips.
struct CoppieSulServer {
  explicit CoppieSulServer(const std::vector<const ArchiviOrdini*>& coppie, bool conRelay = false) {
    std::vector<std::pair<std::string, std::string>> alias;
    // Appended, not prefixed to a temporary: g++ 12 warns falsely of the latter at -O3.
    for (size_t i = 0; i < coppie.size(); ++i) {
      alias.push_back({std::string("o").append(std::to_string(i)), coppie[i]->origine});
      alias.push_back({std::string("d").append(std::to_string(i)), coppie[i]->destinazione});
    }
    server = std::make_unique<FirebirdServer>("tawnyquip", alias);
    if (conRelay) relay = std::make_unique<Relay>(server->Port());
    for (size_t i = 0; i < alias.size(); ++i) {
      const std::string cartella = coppie[i / 2]->cartella / ("via-" + alias[i].first + "/");
      std::filesystem::create_directory(cartella);
      percorsi.push_back(cartella + alias[i].first + ".fdb");
      std::ofstream(percorsi.back()) << "x";
      ScriviDatiIni(cartella, relay ? relay->Nome() : server->Nome(), alias[i].first);
    }
  }
  const std::string& Origine(size_t coppia) const { return percorsi[2 * coppia]; }
  const std::string& Destinazione(size_t coppia) const { return percorsi[2 * coppia + 1]; }

  std::unique_ptr<FirebirdServer> server;
  std::unique_ptr<Relay> relay;
  std::vector<std::string> percorsi;
};

// The ID of the last selected order with session 200 in the order the source query fetches.
std::string UltimoOrdineSessione200(const std::string& origine) {
  std::string righe = QueryIsql(origine,
                                "SELECT A.ID AS ORDINE, A.IDSESSIONE AS SESSIONE FROM PS_ORDINI A "
                                "LEFT JOIN CLIENTI B ON B.CODICE=A.CODDEST WHERE A.IDUTENTE=61 "
                                "OR B.NAZIONE='USA'");
  std::string ultimo;
  size_t pos = 0;
  while ((pos = righe.find("ORDINE", pos)) != std::string::npos) {
    size_t inizio = righe.find_first_not_of(' ', pos + 6);
    std::string id = righe.substr(inizio, righe.find('\n', inizio) - inizio);
    size_t sessione = righe.find("SESSIONE", inizio);
    size_t valore = righe.find_first_not_of(' ', sessione + 8);
    if (righe.substr(valore, 3) == "200") ultimo = id;
    pos = valore;
  }
  return ultimo;
}

// The order tables in the types that dialect 1 knows.
std::string DdlDialettoUno() {
  std::string ddl = DdlOrdini();
  const std::pair<std::string, std::string> tipi[] = {{"BIGINT", "INTEGER"},
                                                      {"(15,2)", "(9,2)"},
                                                      {"(18,2)", "(9,2)"},
                                                      {"NUMERIC(18,4)", "NUMERIC(9,4)"},
                                                      {"DECIMAL(18,4)", "NUMERIC(9,4)"},
                                                      {"FLOAT", "NUMERIC(9,3)"},
                                                      {"DOUBLE PRECISION", "NUMERIC(9,3)"},
                                                      {" DATE,", " TIMESTAMP,"},
                                                      {" TIME,", " TIMESTAMP,"}};
  for (const auto& [da, a] : tipi)
    for (size_t p = ddl.find(da); p != std::string::npos; p = ddl.find(da, p + a.size()))
      ddl.replace(p, da.size(), a);
  return ddl;
}

// Rows of every type in the order tables of dialect 1.
std::string DatiDialettoUno() {
  return R"(
INSERT INTO CLIENTI VALUES ('C01', x'416C6661E8', 'USA', 'C01', 12.34, 'nota');
INSERT INTO PS_ORDINI VALUES (1, 100, 61, 'C01', '2024-01-02 10:11:12', -99.99, 'ordine');
INSERT INTO PS_STOINSCAR VALUES (1001, 100, -32768, 2147483647, -7, 12.75, 1234567.89,
  12345.6789, -0.0001, 1.125, 2.5, '1800-01-01', '2024-01-01 23:59:59', '2024-02-29 23:59:59',
  'PZ', 'Tavolo', 'x', 'riga', x'00FF0D0A');
INSERT INTO PS_STOINSCAR (IDINSERIMENTO, IDSESSIONE) VALUES (1002, 100);
INSERT INTO PS_STOSESSION VALUES (100, '2024-03-01 08:00:00', NULL, 1.5, 'T1', 'registro');
)";
}

const char kFallimento[] = "Impossibile eseguire il travaso ";

std::string Sostituito(std::string testo, const std::string& da, const std::string& a) {
  size_t pos = testo.find(da);
  if (pos == std::string::npos) ADD_FAILURE() << da;
  return testo.replace(pos, da.size(), a);
}

}  // namespace

TEST(TaskVornyUSATest, CopiesTheSelectedOrders) {
  ArchiviOrdini archivi;
  const std::string estranei =
      DumpTabella(archivi.destinazione, "CLIENTI", "CODICE IN ('C05','C99')");
  const std::string ultimo = UltimoOrdineSessione200(archivi.origine);
  ASSERT_TRUE(ultimo == "2" || ultimo == "6") << ultimo;

  Esito esito = EseguiTask(archivi);
  EXPECT_TRUE(esito.riuscito) << esito.messaggio;
  EXPECT_EQ(esito.messaggio, "");

  // C01 is invoice holder and ship-to, C02 a ship-to in the USA, C03 the invoice holder of C02;
  // C04 and C06 belong to no selected order; C05 and C99 were in the destination already.
  std::string codici = QueryIsql(archivi.destinazione,
                                 "SELECT CAST(LIST(CODICE, ' ') AS VARCHAR(100)) AS CODICI FROM "
                                 "(SELECT CODICE FROM CLIENTI ORDER BY CODICE)");
  EXPECT_NE(codici.find(" C01 C02 C03 C05 C99\n"), std::string::npos) << codici;
  EXPECT_EQ(DumpTabella(archivi.destinazione, "CLIENTI", "CODICE IN ('C01','C02','C03')"),
            DumpTabella(archivi.origine, "CLIENTI", "CODICE IN ('C01','C02','C03')"));
  EXPECT_EQ(DumpTabella(archivi.destinazione, "CLIENTI", "CODICE IN ('C05','C99')"), estranei);

  // Orders 1 and 4 (user 61, one without a customer), and one order for session 200, which two
  // selected orders share: the last one fetched. The old order 90 is gone.
  EXPECT_EQ(DumpTabella(archivi.destinazione, "PS_ORDINI"),
            DumpTabella(archivi.origine, "PS_ORDINI", "ID IN (1,4," + ultimo + ")"));
  EXPECT_EQ(DumpTabella(archivi.destinazione, "PS_STOINSCAR"),
            DumpTabella(archivi.origine, "PS_STOINSCAR", "IDSESSIONE IN (100,200,400)"));
  EXPECT_EQ(DumpTabella(archivi.destinazione, "PS_STOSESSION"),
            DumpTabella(archivi.origine, "PS_STOSESSION", "ID IN (100,200,400)"));
}

TEST(TaskVornyUSATest, NoSelectedOrders) {
  ArchiviOrdini archivi(
      "INSERT INTO CLIENTI (CODICE, NAZIONE) VALUES ('C01', 'ITA');\n"
      "INSERT INTO PS_ORDINI (ID, IDSESSIONE, IDUTENTE, CODDEST) VALUES (1, 100, 7, 'C01');\n"
      "INSERT INTO PS_STOSESSION (ID) VALUES (100);");
  const std::string clienti = DumpTabella(archivi.destinazione, "CLIENTI");
  Esito esito = EseguiTask(archivi);
  EXPECT_TRUE(esito.riuscito) << esito.messaggio;
  EXPECT_EQ(esito.messaggio, "");
  EXPECT_EQ(DumpTabella(archivi.destinazione, "CLIENTI"), clienti);
  for (const char* tabella : {"PS_ORDINI", "PS_STOINSCAR", "PS_STOSESSION"})
    EXPECT_EQ(DumpTabella(archivi.destinazione, tabella), "") << tabella;
}

// A failing step leaves the destination exactly as it was, whatever the earlier steps wrote,
// and the message names the step, with the step's own text after it unchanged ("%" included).
TEST(TaskVornyUSATest, FailingStepLeavesDestinationUnchanged) {
  struct Caso {
    std::string aggiuntaOrigine;  // run after the source data
    std::string ddlDestinazione;
    std::string testa;   // the whole message, or its beginning when `server` is set
    std::string server;  // part of the server's text after the head
  };
  const std::string discrepanza =
      "Rilevata discrepanza tra il tracciato di origine e quello di destinazione (";
  const std::string inserimento = "Errore interno durante l'inserimento record\r";
  const Caso casi[] = {
      {"ALTER TABLE CLIENTI ADD \"X%s%d\" INTEGER;", "",
       std::string(kFallimento) + "Intestatari PS Ordini:\r" + discrepanza +
           "Campo \"X%s%d\" mancante in destinazione)",
       ""},
      {"", DdlOrdini() + "ALTER TABLE PS_ORDINI ADD CONSTRAINT SOLO_61 CHECK (IDUTENTE = 61);",
       std::string(kFallimento) + "PS Ordini:\r" + inserimento, "CHECK constraint SOLO_61"},
      {"",
       Sostituito(Sostituito(DdlOrdini(), "DESCRIZIONE VARCHAR(80)", "DESCRIZIONE VARCHAR(90)"),
                  "TERMINALE CHAR(8)", "TERMINALE CHAR(4)"),
       std::string(kFallimento) + "Sessioni PS Ordini:\r" + discrepanza +
           "Dimensione campo \"TERMINALE\" non compatibile con la destinazione)",
       ""},
      {"",
       DdlOrdini() + "ALTER TABLE PS_STOSESSION ADD CONSTRAINT DURATA_BREVE CHECK (DURATA IS "
                     "NULL OR DURATA < 1000);",
       std::string(kFallimento) + "Sessioni PS Ordini:\r" + inserimento,
       "CHECK constraint DURATA_BREVE"},
  };
  for (const Caso& caso : casi) {
    SCOPED_TRACE(caso.testa);
    ArchiviOrdini archivi(DatiOrigine() + "\nCOMMIT;\n" + caso.aggiuntaOrigine, DatiDestinazione(),
                          "", caso.ddlDestinazione);
    const std::string prima = DumpOrdini(archivi.destinazione);
    Esito esito = EseguiTask(archivi);
    EXPECT_FALSE(esito.riuscito);
    if (caso.server.empty()) {
      EXPECT_EQ(esito.messaggio, caso.testa);
    } else {
      EXPECT_EQ(esito.messaggio.substr(0, caso.testa.size()), caso.testa) << esito.messaggio;
      EXPECT_NE(esito.messaggio.find(caso.server, caso.testa.size()), std::string::npos)
          << esito.messaggio;
    }
    EXPECT_EQ(DumpOrdini(archivi.destinazione), prima);
  }
}

// What a site's archives refuse ends the task with the step's line and the server's text and
// leaves the destination as it was: a commit that the destination's own trigger refuses, and a
// right that the site's user lacks on a source or destination table (the embedded engine applies
// the grants of the user named in the login).
TEST(TaskVornyUSATest, SiteRefusalsFailTheTask) {
  struct Caso {
    std::string revocaOrigine, ddlDestinazione, passo, server;
  };
  const Caso casi[] = {
      {"",
       "CREATE EXCEPTION RIFIUTO 'conferma rifiutata';\nSET TERM ^;\n"
       "CREATE TRIGGER T_SEGNA FOR PS_ORDINI AFTER INSERT AS BEGIN\n"
       "  RDB$SET_CONTEXT('USER_TRANSACTION', 'COPIA', 1);\nEND^\n"
       "CREATE TRIGGER T_RIFIUTA ON TRANSACTION COMMIT AS BEGIN\n"
       "  IF (RDB$GET_CONTEXT('USER_TRANSACTION', 'COPIA') IS NOT NULL) THEN "
       "EXCEPTION RIFIUTO;\nEND^\nSET TERM ;^\n",
       "Conferma PS Ordini", "conferma rifiutata"},
      {"", "REVOKE INSERT ON PS_STOSESSION FROM SITO;", "Sessioni PS Ordini",
       "no permission for INSERT access to TABLE PS_STOSESSION"},
      {"", "REVOKE DELETE ON PS_ORDINI FROM SITO;", "PS Ordini",
       "no permission for DELETE access to TABLE PS_ORDINI"},
      {"REVOKE SELECT ON PS_STOINSCAR FROM SITO;", "", "Righe PS Ordini",
       "no permission for SELECT access to TABLE PS_STOINSCAR"},
  };
  TempFolder cartella;
  const std::string credenziali = cartella / "credenziali.ini";
  std::ofstream(credenziali) << "[Predefinite]\nUtente=SITO\nPassword=qualsiasi\n";
  ImpostaFileCredenziali(credenziali);
  const std::string concessioni =
      "\nCOMMIT;\nGRANT ALL ON CLIENTI TO SITO;\nGRANT ALL ON PS_ORDINI TO SITO;\n"
      "GRANT ALL ON PS_STOINSCAR TO SITO;\nGRANT ALL ON PS_STOSESSION TO SITO;\nCOMMIT;\n";
  for (const Caso& caso : casi) {
    SCOPED_TRACE(caso.passo);
    ArchiviOrdini archivi(DatiOrigine() + concessioni + caso.revocaOrigine,
                          DatiDestinazione() + concessioni + caso.ddlDestinazione);
    const std::string prima = DumpOrdini(archivi.destinazione);
    Esito esito = EseguiTask(archivi);
    EXPECT_FALSE(esito.riuscito);
    const std::string testa = std::string(kFallimento) + caso.passo + ":\r";
    EXPECT_EQ(esito.messaggio.substr(0, testa.size()), testa) << esito.messaggio;
    EXPECT_NE(esito.messaggio.find(caso.server), std::string::npos) << esito.messaggio;
    EXPECT_EQ(DumpOrdini(archivi.destinazione), prima);
  }
  ImpostaFileCredenziali("");
}

// An error that escapes step 4 after steps 1 to 3 wrote: everything is rolled back, the
// transaction stays open for the pair to end, and the error goes on up.
TEST(TaskVornyUSATest, ErrorEscapingAStepRollsBack) {
  // Fetching the order rows of session 100 divides by zero in the source.
  ArchiviOrdini archivi(
      DatiOrigine() +
          "\nCOMMIT;\nALTER TABLE PS_STOINSCAR ADD GUASTO COMPUTED BY "
          "(CAST(1/(IDSESSIONE-100) AS INTEGER));",
      DatiDestinazione() + "\nCOMMIT;\nALTER TABLE PS_STOINSCAR ADD GUASTO INTEGER;");
  const std::string prima = DumpOrdini(archivi.destinazione);
  {
    InterfacciaMuta ui;
    TTaskVornyUSA task;
    const TVessentariaTaskInfo riga = RigaAttiva(archivi.origine, archivi.destinazione);
    std::string messaggio;
    ASSERT_TRUE(task.ApriConnessioni(riga, messaggio)) << messaggio;
    try {
      task.Esecuzione(messaggio);
      ADD_FAILURE() << "no error escaped: " << messaggio;
    } catch (const ESQLError& e) {
      EXPECT_NE(std::string(e.what()).find("divide by zero"), std::string::npos) << e.what();
    }
    EXPECT_TRUE(task.Destinazione()->TransazioneScrittura().InTransaction());
  }
  EXPECT_EQ(DumpOrdini(archivi.destinazione), prima);
}

namespace {

// The order task with a hook after each step, as another user of the source would act between
// two steps.
class TTaskConPausa : public TTaskVornyUSA {
 public:
  explicit TTaskConPausa(std::function<void(int)> dopoPasso) : dopoPasso_(std::move(dopoPasso)) {}

 protected:
  bool EseguiTravaso(TTravasoDatiVornyUSAClass classe, const std::vector<std::string>& titoli,
                     std::string& messaggio) override {
    const bool risultato = TTaskVornyUSA::EseguiTravaso(classe, titoli, messaggio);
    dopoPasso_(++passi_);
    return risultato;
  }

 private:
  std::function<void(int)> dopoPasso_;
  int passi_ = 0;
};

// A new selected order, complete: its ship-to customer in the USA with its invoice holder, one
// order row and its session; and how many of those rows an archive holds.
const char kNuovoOrdine[] =
    "EXECUTE BLOCK AS BEGIN\n"
    "  INSERT INTO CLIENTI (CODICE, NAZIONE) VALUES ('C08', 'ITA');\n"
    "  INSERT INTO CLIENTI (CODICE, NAZIONE, INTESTATARIOFATTURA) VALUES ('C07', 'USA', 'C08');\n"
    "  INSERT INTO PS_ORDINI (ID, IDSESSIONE, IDUTENTE, CODDEST) VALUES (7, 700, 5, 'C07');\n"
    "  INSERT INTO PS_STOINSCAR (IDINSERIMENTO, IDSESSIONE) VALUES (7001, 700);\n"
    "  INSERT INTO PS_STOSESSION (ID) VALUES (700);\n"
    "END";
const char kRigheNuovoOrdine[] =
    "SELECT CODICE FROM CLIENTI WHERE CODICE IN ('C07','C08') UNION ALL SELECT '' FROM PS_ORDINI "
    "WHERE ID=7 UNION ALL SELECT '' FROM PS_STOINSCAR WHERE IDSESSIONE=700 UNION ALL SELECT '' "
    "FROM PS_STOSESSION WHERE ID=700";

int RigheDelNuovoOrdine(TSQLDatabase& database) {
  auto transazione = CreaTransazioneReadCommitted(database);
  TStrings sql;
  sql.Add(kRigheNuovoOrdine);
  return ContaRecordSQL(sql, *transazione);
}

}  // namespace

// An order committed to the source between two steps reaches the destination whole or not at
// all: the source queries read one moment of the source, on the rows' way and in the server.
TEST(TaskVornyUSATest, OrderWrittenDuringTheRunArrivesWholeOrNotAtAll) {
  for (const bool sulServer : {false, true})
    for (int passo = 1; passo <= 3; ++passo) {
      SCOPED_TRACE(std::to_string(passo) + (sulServer ? " on the server" : ""));
      ArchiviOrdini archivi;
      std::unique_ptr<CoppieSulServer> server;
      if (sulServer)
        server = std::make_unique<CoppieSulServer>(std::vector<const ArchiviOrdini*>{&archivi});
      const std::string origine = sulServer ? server->Origine(0) : archivi.origine;
      const std::string destinazione = sulServer ? server->Destinazione(0) : archivi.destinazione;
      InterfacciaMuta ui;
      auto altro = sulServer ? ConnettiArchivio(server->server->Nome() + ":o0", "tawnyquip")
                             : ConnettiArchivio(archivi.origine);
      TTaskConPausa task([&](int fatto) {
        if (fatto != passo) return;
        auto scrittura = CreaTransazioneSnapshot(*altro);
        TSQLStatement statement;
        statement.SetDatabase(altro.get());
        statement.SetTransaction(scrittura.get());
        statement.SetParamCheck(false);
        statement.SQL().Add(kNuovoOrdine);
        statement.Execute();
        scrittura->Commit();
      });
      std::string messaggio;
      ASSERT_TRUE(task.ApriConnessioni(RigaAttiva(origine, destinazione), messaggio)) << messaggio;
      EXPECT_TRUE(task.Esecuzione(messaggio)) << messaggio;
      EXPECT_EQ(task.CopiatoNelServer(), sulServer);
      EXPECT_EQ(RigheDelNuovoOrdine(*altro), 5);
      const int arrivate = RigheDelNuovoOrdine(task.Destinazione()->Database());
      EXPECT_TRUE(arrivate == 0 || arrivate == 5) << arrivate << " of 5 rows";
    }
}

// One database reached under two names is refused before any step, and the archive keeps every
// row: the same path twice, a folder reached through a link, and two file names in a folder
// whose dati.ini sends both to one alias of a server.
TEST(TaskVornyUSATest, OneDatabaseUnderTwoNamesIsRefused) {
  ArchiviOrdini archivi;
  const std::string prima = DumpOrdini(archivi.origine);
  const std::string collegamento = archivi.cartella / "collegamento";
  std::filesystem::create_directory_symlink(archivi.cartella.Path(), collegamento);
  TempFolder cartellaAlias;
  std::ofstream(cartellaAlias / "origine.fdb") << "x";
  std::ofstream(cartellaAlias / "destinazione.fdb") << "x";
  const std::string cartellaServer = archivi.cartella / "server/";
  std::filesystem::create_directory(cartellaServer);
  std::filesystem::copy_file(archivi.origine, cartellaServer + "ditta.fdb");
  const std::string primaServer = DumpOrdini(cartellaServer + "ditta.fdb");
  auto server = std::make_unique<FirebirdServer>(
      "tawnyquip",
      std::vector<std::pair<std::string, std::string>>{{"ditta", cartellaServer + "ditta.fdb"}});
  std::ofstream(cartellaAlias / "dati.ini")
      << "[CONFIG]\nNome Server=" << server->Nome() << "\nAlias=ditta\n";

  const struct {
    std::string origine, destinazione;
  } casi[] = {
      {archivi.origine, archivi.origine},
      {archivi.origine, collegamento + "/origine.fdb"},
      {cartellaAlias / "origine.fdb", cartellaAlias / "destinazione.fdb"},
  };
  for (const auto& caso : casi) {
    SCOPED_TRACE(caso.destinazione);
    InterfacciaMuta ui;
    TTaskVornyUSA task;
    const TVessentariaTaskInfo riga = RigaAttiva(caso.origine, caso.destinazione);
    std::string messaggio;
    // As the run driver does: the task runs only when its archives opened.
    if (task.ApriConnessioni(riga, messaggio)) task.Esecuzione(messaggio);
    EXPECT_EQ(messaggio, "Origine e destinazione coincidono: " + caso.destinazione);
    EXPECT_EQ(ui.mostrati, std::vector<std::string>{});
  }
  EXPECT_EQ(DumpOrdini(archivi.origine), prima);
  server.reset();
  EXPECT_EQ(DumpOrdini(cartellaServer + "ditta.fdb"), primaServer);
}

// Across a slow link every round trip waits: the requests of a task that carry no rows (attach,
// identity check, layouts, emptying, preparations, commit, detach) stay few. Each archive is
// behind its own relay, which counts its round trips; the source tables are empty, so that every
// round trip counted is one of these. Archives of either dialect.
TEST(TaskVornyUSATest, FewFixedRoundTrips) {
  for (const int dialetto : {3, 1}) {
    SCOPED_TRACE(dialetto);
    const std::string ddl = dialetto == 3 ? "" : DdlDialettoUno();
    ArchiviOrdini archivi("", "", ddl, ddl, dialetto);
    FirebirdServer server("tawnyquip",
                          {{"origine", archivi.origine}, {"destinazione", archivi.destinazione}});
    const std::string alias[] = {"origine", "destinazione"};
    Relay relay[] = {Relay(server.Port()), Relay(server.Port())};
    std::string percorsi[2];
    for (int i = 0; i < 2; ++i) {
      const std::string cartella = archivi.cartella / (alias[i] + "/");
      std::filesystem::create_directory(cartella);
      percorsi[i] = cartella + alias[i] + ".fdb";
      std::ofstream(percorsi[i]) << "x";
      std::ofstream(cartella + "dati.ini")
          << "[CONFIG]\nNome Server=" << relay[i].Nome() << "\nAlias=" << alias[i] << "\n";
    }
    {
      InterfacciaMuta ui;
      TTaskVornyUSA task;
      std::string messaggio;
      ASSERT_TRUE(task.ApriConnessioni(RigaAttiva(percorsi[0], percorsi[1]), messaggio))
          << messaggio;
      EXPECT_TRUE(task.Esecuzione(messaggio)) << messaggio;
    }
    // Measured: 16 and 13. The source's: connect, authentication, encryption, attach, snapshot,
    // describing query, four source queries (prepare, then execute with the first fetch), commit,
    // detach; the destination's: the same first four, its transaction, describing query, emptying,
    // four block prepares (in dialect 1 the statements for single rows), commit, detach.
    EXPECT_LE(relay[0].Giri(), 16);
    EXPECT_LE(relay[1].Giri(), 13);
  }
}

// Archives of dialect 1, where double quotes make a string, with the order tables in the types
// that dialect knows: the copy names the columns bare. A name that only quotes could write gets
// the note of a layout that cannot be copied (archives made in dialect 3 and turned to dialect 1).
TEST(TaskVornyUSATest, DialectOneArchives) {
  std::string ddl = DdlDialettoUno();
  const std::string dati = DatiDialettoUno();
  {
    ArchiviOrdini archivi(dati, "", ddl, ddl, 1);
    Esito esito = EseguiTask(archivi);
    EXPECT_TRUE(esito.riuscito) << esito.messaggio;
    EXPECT_EQ(DumpOrdini(archivi.destinazione), DumpOrdini(archivi.origine));
  }
  const std::string nome = "\"Terminale\"";
  const std::string ddlNome = ddl.replace(ddl.find("TERMINALE"), 9, nome);
  for (bool origine : {true, false}) {
    ArchiviOrdini archivi(dati, "", ddlNome, ddlNome);
    const std::string archivio = origine ? archivi.origine : archivi.destinazione;
    ASSERT_EQ(RunCommand("gfix -sql_dialect 1 -user SYSDBA -password masterkey " + archivio), 0);
    Esito esito = EseguiTask(archivi);
    EXPECT_FALSE(esito.riuscito);
    EXPECT_NE(esito.messaggio.find("(Campo \"Terminale\" non utilizzabile in un archivio di "
                                   "dialetto 1)"),
              std::string::npos)
        << esito.messaggio;
  }
}

// Where both archives sit behind one server, the server copies the rows, and the destination
// ends exactly as when every row passes through the program: every type the tables hold, NULLs,
// empty and long blobs, 8-bit text in NONE, WIN1252 and UTF8 columns, in both dialects. A row
// the destination refuses is named as on the rows' way, and nothing stays.
TEST(TaskVornyUSATest, CopyInsideTheServerEndsAsTheRowsWay) {
  const std::string utf8 =
      "\nCOMMIT;\nALTER TABLE PS_STOSESSION ADD TESTO_UTF8 VARCHAR(4) CHARACTER SET UTF8, ADD "
      "NOTA_UTF8 BLOB SUB_TYPE TEXT CHARACTER SET UTF8, ADD NOTA_WIN BLOB SUB_TYPE TEXT "
      "CHARACTER SET WIN1252;\n";
  const std::string datiUtf8 =
      "\nCOMMIT;\nUPDATE PS_STOSESSION SET TESTO_UTF8 = _UTF8 x'C3A8E282AC41', NOTA_UTF8 = "
      "_UTF8 x'E282ACC3A80D0A', NOTA_WIN = _WIN1252 x'E8E0F9810D0A' WHERE ID = 100;\n";
  const std::string solo61 =
      "\nALTER TABLE PS_ORDINI ADD CONSTRAINT SOLO_VECCHI CHECK (IDSESSIONE >= 900);\n";
  for (const int dialetto : {3, 1}) {
    SCOPED_TRACE(dialetto);
    const std::string ddl = dialetto == 3 ? DdlOrdini() : DdlDialettoUno();
    const std::string dati = dialetto == 3 ? DatiOrigine() + utf8 + datiUtf8 : DatiDialettoUno();
    const std::string datiDestinazione = dialetto == 3 ? DatiDestinazione() + utf8 : "";
    ArchiviOrdini nelServer(dati, datiDestinazione, ddl, ddl, dialetto);
    ArchiviOrdini perRighe(dati, datiDestinazione, ddl, ddl, dialetto);
    ArchiviOrdini rifiuto(dati, datiDestinazione, ddl, ddl + solo61, dialetto);
    ArchiviOrdini rifiutoPerRighe(dati, datiDestinazione, ddl, ddl + solo61, dialetto);
    const std::string primaDelRifiuto = DumpOrdini(rifiuto.destinazione);
    {
      CoppieSulServer sulServer({&nelServer, &perRighe, &rifiuto, &rifiutoPerRighe});
      bool copiato = false;
      PassiMostrati mostrati, mostratiPerRighe;
      Esito esito =
          EseguiTask(sulServer.Origine(0), sulServer.Destinazione(0), true, &copiato, &mostrati);
      EXPECT_TRUE(esito.riuscito) << esito.messaggio;
      EXPECT_TRUE(copiato);
      esito = EseguiTask(sulServer.Origine(1), sulServer.Destinazione(1), false, &copiato,
                         &mostratiPerRighe);
      EXPECT_TRUE(esito.riuscito) << esito.messaggio;
      EXPECT_FALSE(copiato);
      EXPECT_EQ(mostrati.passi, mostratiPerRighe.passi);
      EXPECT_EQ(mostrati.passi.size(), 5u);

      const Esito rifiutato = EseguiTask(sulServer.Origine(2), sulServer.Destinazione(2));
      const Esito rifiutatoPerRighe =
          EseguiTask(sulServer.Origine(3), sulServer.Destinazione(3), false);
      EXPECT_FALSE(rifiutato.riuscito);
      EXPECT_EQ(rifiutato.messaggio, rifiutatoPerRighe.messaggio);
      EXPECT_EQ(rifiutato.messaggio.rfind(std::string(kFallimento) +
                                              "PS Ordini:\rErrore interno durante l'inserimento "
                                              "record\r",
                                          0),
                0u)
          << rifiutato.messaggio;
    }
    EXPECT_EQ(DumpOrdini(nelServer.destinazione), DumpOrdini(perRighe.destinazione));
    EXPECT_EQ(DumpOrdini(nelServer.destinazione).find("Vecchio"), std::string::npos);
    EXPECT_EQ(DumpOrdini(rifiuto.destinazione), primaDelRifiuto);
    if (dialetto == 3) {
      const std::string utf8Righe =
          "SELECT ID, CAST(TESTO_UTF8 AS VARCHAR(16) CHARACTER SET OCTETS), CAST(NOTA_UTF8 AS "
          "VARCHAR(64) CHARACTER SET OCTETS), CAST(NOTA_WIN AS VARCHAR(64) CHARACTER SET OCTETS) "
          "FROM PS_STOSESSION ORDER BY ID";
      const std::string copiati = QueryIsql(nelServer.destinazione, utf8Righe);
      EXPECT_EQ(copiati, QueryIsql(perRighe.destinazione, utf8Righe));
      EXPECT_NE(copiati.find("C3A8E282AC41"), std::string::npos) << copiati;
      EXPECT_NE(copiati.find("E8E0F9810D0A"), std::string::npos) << copiati;
    }
  }
}

// Where the server copies the rows, a copy across a slow link costs a fixed number of round
// trips, however many rows it copies.
TEST(TaskVornyUSATest, CopyInsideTheServerTakesFixedRoundTrips) {
  long long giri[2] = {0, 0};
  for (const int ordini : {10, 3000}) {
    ArchiviOrdini archivi(DatiMassivi(ordini), "");
    CoppieSulServer sulServer({&archivi}, true);
    bool copiato = false;
    const Esito esito = EseguiTask(sulServer.Origine(0), sulServer.Destinazione(0), true, &copiato);
    EXPECT_TRUE(esito.riuscito) << esito.messaggio;
    EXPECT_TRUE(copiato);
    giri[ordini == 10 ? 0 : 1] = sulServer.relay->Giri();
  }
  EXPECT_EQ(giri[0], giri[1]);
  EXPECT_LE(giri[1], 35);
}

// Where the server's copy fails, the rows' way runs again, in a destination transaction started
// anew, only where it can end otherwise: the server's connection to the source cut while the
// program's own answers. A refused commit is refused once (its trigger counts itself in a
// transaction of its own); a source shut down ends the task at the step where the server met it.
TEST(TaskVornyUSATest, ServerCopyFallsBackOnlyWhereTheRowsWayCanChangeTheEnd) {
  struct GuastoAlPasso : PassiMostrati {
    std::string passo;
    std::function<void()> guasto;  // once, at the start of `passo`
    void InizioPasso(const std::string& titolo) override {
      PassiMostrati::InizioPasso(titolo);
      if (titolo == passo && guasto) std::exchange(guasto, nullptr)();
    }
  };
  using Guasto = std::function<void(const FirebirdServer&)>;
  // The server's own connection to the source comes through no network.
  const Guasto taglio = [](const FirebirdServer& s) {
    s.Isql("o0",
           "DELETE FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID <> CURRENT_CONNECTION AND "
           "MON$SYSTEM_FLAG = 0 AND MON$REMOTE_PROTOCOL IS NULL;");
  };
  const Guasto spegnimento = [](const FirebirdServer& s) { s.Spegni("o0"); };
  const std::string conferma =
      "CREATE TABLE REGISTRO (N INTEGER);\nCREATE EXCEPTION RIFIUTO 'conferma rifiutata';\n"
      "SET TERM ^;\nCREATE TRIGGER T_SEGNA FOR PS_ORDINI AFTER INSERT AS BEGIN\n"
      "  RDB$SET_CONTEXT('USER_TRANSACTION', 'COPIA', 1);\nEND^\n"
      "CREATE TRIGGER T_RIFIUTA ON TRANSACTION COMMIT AS BEGIN\n"
      "  IF (RDB$GET_CONTEXT('USER_TRANSACTION', 'COPIA') IS NOT NULL) THEN BEGIN\n"
      "    IN AUTONOMOUS TRANSACTION DO INSERT INTO REGISTRO VALUES (1);\n"
      "    EXCEPTION RIFIUTO;\n  END\nEND^\nSET TERM ;^\n";
  struct Caso {
    std::string passo;
    Guasto guasto;
    std::string ddlDestinazione;
    bool riuscito;
    std::string testa;  // the note's beginning; none: the whole note of the rows' way
  } const casi[] = {
      {"PS Ordini", taglio, "", true, ""},
      {"", nullptr, conferma, false, ""},
      {"Righe PS Ordini", spegnimento, "", false, std::string(kFallimento) + "Righe PS Ordini:\r"},
  };
  for (const Caso& caso : casi) {
    SCOPED_TRACE(caso.passo + caso.ddlDestinazione);
    ArchiviOrdini nelServer(DatiOrigine(), DatiDestinazione() + caso.ddlDestinazione);
    ArchiviOrdini perRighe(DatiOrigine(), DatiDestinazione() + caso.ddlDestinazione);
    const std::string prima = DumpOrdini(nelServer.destinazione);
    Esito esito, esitoPerRighe;
    bool copiato = false;
    {
      CoppieSulServer sulServer({&nelServer, &perRighe});
      GuastoAlPasso avanzamento;
      avanzamento.passo = caso.passo;
      if (caso.guasto) avanzamento.guasto = [&] { caso.guasto(*sulServer.server); };
      esito =
          EseguiTask(sulServer.Origine(0), sulServer.Destinazione(0), true, &copiato, &avanzamento);
      EXPECT_EQ(avanzamento.guasto, nullptr);
      esitoPerRighe = EseguiTask(sulServer.Origine(1), sulServer.Destinazione(1), false);
    }
    EXPECT_EQ(esito.riuscito, caso.riuscito) << esito.messaggio;
    EXPECT_EQ(copiato, !caso.riuscito);  // on the server's way to the end, unless it fell back
    const std::string attesa = caso.testa.empty() ? esitoPerRighe.messaggio : caso.testa;
    EXPECT_EQ(esito.messaggio.substr(0, attesa.size()), attesa);
    EXPECT_EQ(DumpOrdini(nelServer.destinazione),
              caso.riuscito ? DumpOrdini(perRighe.destinazione) : prima);
    if (!caso.ddlDestinazione.empty()) {
      EXPECT_EQ(QueryIsql(nelServer.destinazione, "SELECT COUNT(*) FROM REGISTRO"),
                QueryIsql(perRighe.destinazione, "SELECT COUNT(*) FROM REGISTRO"));
    }
  }
}
