// Against the servers that sites run, as scripts/ci-servers.sh starts them: Debian's Firebird 3
// server with its random SYSDBA password, and Firebird 4. Each test is skipped when the
// environment names no such server.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "db/SQLDatabase.h"
#include "db/SQLStatement.h"
#include "db/SQLTransaction.h"
#include "db/Schema.h"
#include "opener/Credenziali.h"
#include "support/ArchiviOrdini.h"
#include "support/Impianto.h"
#include "support/ServerSito.h"
#include "support/TestSupport.h"
#include "taskbase/Connessione.h"
#include "taskbase/TaskInfo.h"
#include "transfer/TaskVornyUSA.h"
#include "transfer/TravasiVornyUSA.h"

namespace fs = std::filesystem;

namespace {

// The types that Firebird 4 added, as columns of the order rows.
const char kColonneNuove[] =
    "ALTER TABLE PS_STOINSCAR ADD I128 INT128, ADD N38 NUMERIC(38,4), ADD D16 DECFLOAT(16),"
    " ADD D34 DECFLOAT(34), ADD TZT TIME WITH TIME ZONE, ADD TZS TIMESTAMP WITH TIME ZONE;\n"
    "COMMIT;\n";

// Extremes of every new type, zones by name and by offset, infinities, NaN, NULLs.
const char kValoriNuovi[] =
    "UPDATE PS_STOINSCAR SET I128 = 170141183460469231731687303715884105727,"
    " N38 = -1234567890123456789012345678901234.5678, D16 = 1.234567890123456E+384,"
    " D34 = -1.000000000000000000000000000000001E-6143, TZT = '23:59:59.9999 +13:45',"
    " TZS = '2021-10-31 03:30:00.0001 Europe/Rome' WHERE IDINSERIMENTO = 1001;\n"
    "UPDATE PS_STOINSCAR SET I128 = -170141183460469231731687303715884105728,"
    " N38 = 0.0001, D16 = -0E+5, D34 = 1.00, TZT = '00:00:00.0001 America/New_York',"
    " TZS = '0001-01-01 00:00:00.0000 -14:00' WHERE IDINSERIMENTO = 9000000000000000001;\n"
    "UPDATE PS_STOINSCAR SET D16 = CAST('-Infinity' AS DECFLOAT(16)),"
    " D34 = CAST('NaN' AS DECFLOAT(34)) WHERE IDINSERIMENTO = 1004;\n";

// The new columns of the selected order rows, each as the server's own text.
const char kTestoNuove[] =
    "SET LIST ON;\n"
    "SELECT IDINSERIMENTO, CAST(I128 AS VARCHAR(60)) AS I128, CAST(N38 AS VARCHAR(60)) AS N38,"
    " CAST(D16 AS VARCHAR(60)) AS D16, CAST(D34 AS VARCHAR(60)) AS D34,"
    " CAST(TZT AS VARCHAR(60)) AS TZT, CAST(TZS AS VARCHAR(60)) AS TZS"
    " FROM PS_STOINSCAR WHERE IDSESSIONE IN (100,200,400) ORDER BY IDINSERIMENTO;\n";

// Names of up to 63 characters, as Firebird 4 allows: two that agree in their first 31, the second
// one only quoted.
const char kNomeLungo[] = "NOTA_DI_CONSEGNA_CONCORDATA_CON_IL_CLIENTE";
const char kNomeGemello[] = "NOTA_DI_CONSEGNA_CONCORDATA_CON_il corriere";

const std::string kColonneLunghe = std::string("ALTER TABLE PS_STOINSCAR ADD ") + kNomeLungo +
                                   " VARCHAR(30), ADD \"" + kNomeGemello +
                                   "\" VARCHAR(30);\nCOMMIT;\n";

std::string Casuale() {
  std::random_device caso;
  return std::to_string(caso()) + std::to_string(caso());
}

class ServerSitiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fb3_ = TServerSito::DaAmbiente("FB3");
    fb4_ = TServerSito::DaAmbiente("FB4");
    nomeTest_ = ::testing::UnitTest::GetInstance()->current_test_info()->name();
  }

  void TearDown() override {
    for (auto& [sito, nome, utente] : utenti_) sito->EliminaUtente(nome, utente);
  }

  // An archive of the test's own on `sito`; `ruolo` names its folder.
  std::string Archivio(const TServerSito& sito, const std::string& ruolo,
                       const std::string& righe) {
    return sito.CreaArchivio(nomeTest_ + "-" + ruolo, righe);
  }
  std::string Nome(const TServerSito& sito, const std::string& ruolo) const {
    return sito.Nome(nomeTest_ + "-" + ruolo + "/archivio.fdb");
  }

  // A user of `sito` with the rights that the program needs on a source (read the four order
  // tables) and on a destination (read and write them), and nothing else.
  std::string UtenteSito(TServerSito& sito, const std::string& utente, const std::string& origine,
                         const std::string& destinazione) {
    const std::string password = "p" + Casuale();
    sito.CreaUtente(Nome(sito, origine), utente, password);
    utenti_.push_back({&sito, Nome(sito, origine), utente});
    std::string lettura, scrittura;
    for (const std::string& tabella : TabelleOrdini()) {
      lettura += "GRANT SELECT ON " + tabella + " TO " + utente + ";\n";
      scrittura += "GRANT SELECT, INSERT, UPDATE, DELETE ON " + tabella + " TO " + utente + ";\n";
    }
    sito.Isql(Nome(sito, origine), lettura + "COMMIT;\n");
    sito.Isql(Nome(sito, destinazione), scrittura + "COMMIT;\n");
    return password;
  }

  // Source and destination on `sito` with the standard data, the task between them, and a site
  // user with their grants; returns the user's password.
  std::string TaskSulSito(TServerSito& sito, const std::string& utente) {
    const std::string origine = Archivio(sito, "origine", DatiOrigine());
    const std::string destinazione = Archivio(sito, "destinazione", DatiDestinazione());
    UnTask(origine, destinazione);
    return UtenteSito(sito, utente, "origine", "destinazione");
  }

  static std::string Sezione(const TServerSito& sito, const std::string& utente,
                             const std::string& password) {
    return "[" + sito.server + "]\nUtente=" + utente + "\nPassword=" + password + "\n";
  }

  // credenziali.ini of the installation, closed to others unless `permessi` says otherwise.
  void Credenziali(const std::string& testo, mode_t permessi = 0600) {
    const std::string file = impianto_.CartellaUtente() + "credenziali.ini";
    ScriviFile(file, testo);
    ASSERT_EQ(chmod(file.c_str(), permessi), 0);
  }

  // USER.FDB and the company archive (embedded) with one task from `origine` to `destinazione`.
  // The installation's plain paths skip the host's server unless `serverDellHost`: the tests of
  // one server must not depend on the login of another that runs beside it.
  void UnTask(const std::string& origine, const std::string& destinazione,
              bool serverDellHost = false) {
    impianto_.CreaUtente(impianto_.Ditta());
    impianto_.CreaDitta(RigaTask(1, origine, destinazione));
    if (!serverDellHost)
      ScriviFile(impianto_.CartellaUtente() + "dati.ini", "[Rete]\nServerLocale=\n");
  }
  std::string Nota() { return impianto_.LeggiTabella()[1].nota; }

  // A run that must copy: status 0 and the success note.
  void EseguiRiuscito() {
    const TEsito esito = impianto_.Esegui();
    EXPECT_EQ(esito.stato, 0) << esito.out << esito.err;
    EXPECT_EQ(Nota(), kSuccesso);
  }

  static TIsql IsqlDi(const TServerSito& sito) {
    return [&sito](const std::string& nome, const std::string& script) {
      return sito.Isql(nome, script);
    };
  }

  // The order rows' transfer between two archives of `sito`, as SYSDBA; the destination is
  // committed on success. `righe`: the destination's order rows its transaction saw at the end.
  bool CopiaRigheOrdine(const TServerSito& sito, std::string& messaggio, int* righe = nullptr) {
    auto origine = ConnettiArchivio(Nome(sito, "origine"), sito.passwordSysdba);
    auto destinazione = ConnettiArchivio(Nome(sito, "destinazione"), sito.passwordSysdba);
    TConnessione coppiaOrigine(*origine), coppiaDestinazione(*destinazione);
    auto travaso = TTravasoDatiVornyUSA::Crea<TTravasoDatiVornyUSA_PS_StoInsCar>(
        coppiaOrigine, coppiaDestinazione);
    const bool esito = travaso->Esegui(messaggio);
    travaso.reset();
    TStrings tutte;
    tutte.Add("SELECT * FROM PS_STOINSCAR");
    if (righe) *righe = ContaRecordSQL(tutte, coppiaDestinazione.TransazioneScrittura());
    if (esito) coppiaDestinazione.TransazioneScrittura().Commit();
    return esito;
  }

  std::optional<TServerSito> fb3_;
  std::optional<TServerSito> fb4_;
  std::string nomeTest_;
  TImpianto impianto_;

 private:
  struct Utente {
    TServerSito* sito;
    std::string nome;
    std::string utente;
  };
  std::vector<Utente> utenti_;
};

#define RICHIEDE(server) \
  if (!(server)) GTEST_SKIP() << #server " not given (scripts/ci-servers.sh)"

}  // namespace

TEST_F(ServerSitiTest, Firebird3WholeRunAsSiteUser) {
  RICHIEDE(fb3_);
  Credenziali(Sezione(*fb3_, "VESS_SITO3", TaskSulSito(*fb3_, "VESS_SITO3")));
  EseguiRiuscito();
  EXPECT_EQ(ContaRighe(Nome(*fb3_, "destinazione"), "PS_STOINSCAR", IsqlDi(*fb3_)), 4);
}

// On a host whose server runs, archives named by plain paths are opened through that server with
// the site's login, never by the program's own engine: the server's other clients keep both
// archives while the copy runs (the destination holds the copy a few seconds), and a wrong
// password is the server's refusal, with nothing opened behind its back.
TEST_F(ServerSitiTest, Firebird3PlainPathsThroughTheHostServer) {
  RICHIEDE(fb3_);
  const std::string lento =
      "SET TERM ^;\nCREATE TRIGGER T_LENTO FOR PS_ORDINI BEFORE INSERT AS\n"
      "  DECLARE T TIMESTAMP;\n  DECLARE N BIGINT = 0;\nBEGIN\n"
      "  IF (RDB$GET_CONTEXT('USER_TRANSACTION', 'LENTO') IS NULL) THEN BEGIN\n"
      "    RDB$SET_CONTEXT('USER_TRANSACTION', 'LENTO', 1);\n    T = CAST('NOW' AS TIMESTAMP);\n"
      "    WHILE (DATEDIFF(MILLISECOND FROM T TO CAST('NOW' AS TIMESTAMP)) < 3000) DO N = N + 1;\n"
      "  END\nEND^\nSET TERM ;^\n";
  Archivio(*fb3_, "origine", DatiOrigine());
  Archivio(*fb3_, "destinazione", DatiDestinazione() + "\nCOMMIT;\n" + lento);
  const std::string password = UtenteSito(*fb3_, "VESS_HOST3", "origine", "destinazione");
  const std::string origine = fb3_->Locale(nomeTest_ + "-origine/archivio.fdb");
  const std::string destinazione = fb3_->Locale(nomeTest_ + "-destinazione/archivio.fdb");
  UnTask(origine, destinazione, true);
  const std::string prima = Impronta(Nome(*fb3_, "destinazione"), IsqlDi(*fb3_));

  Credenziali("[localhost]\nUtente=VESS_HOST3\nPassword=sbagliata\n");
  const TEsito rifiutato = impianto_.Esegui();
  EXPECT_EQ(rifiutato.stato, 3);
  EXPECT_NE(rifiutato.err.find("Your user name and password are not defined"), std::string::npos)
      << rifiutato.err;
  EXPECT_EQ(Impronta(Nome(*fb3_, "destinazione"), IsqlDi(*fb3_)), prima);

  Credenziali("[localhost]\nUtente=VESS_HOST3\nPassword=" + password + "\n");
  TSessione primaOrigine(Nome(*fb3_, "origine"), fb3_->passwordSysdba);
  TSessione primaDestinazione(Nome(*fb3_, "destinazione"), fb3_->passwordSysdba);
  TProcesso processo = impianto_.Avvia();
  const auto limite = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  int copie = 0;
  while (copie == 0 && processo.InCorso() && std::chrono::steady_clock::now() < limite) {
    TSessione osservatore(Nome(*fb3_, "destinazione"), fb3_->passwordSysdba);
    copie = osservatore.Valore(
        "SELECT COUNT(*) FROM MON$STATEMENTS S JOIN MON$ATTACHMENTS A ON A.MON$ATTACHMENT_ID = "
        "S.MON$ATTACHMENT_ID WHERE S.MON$STATE = 1 AND A.MON$REMOTE_PROCESS CONTAINING "
        "'vessentaria'");
  }
  ASSERT_GT(copie, 0) << "the copy was never seen running through the server";
  TSessione duranteOrigine(Nome(*fb3_, "origine"), fb3_->passwordSysdba);
  TSessione duranteDestinazione(Nome(*fb3_, "destinazione"), fb3_->passwordSysdba);
  EXPECT_GT(duranteOrigine.Valore("SELECT COUNT(*) FROM PS_ORDINI"), 0);
  EXPECT_TRUE(processo.InCorso());
  EXPECT_FALSE(processo.HaAperto(origine));
  EXPECT_FALSE(processo.HaAperto(destinazione));
  const TEsito esito = processo.Attendi(std::chrono::seconds(120));
  EXPECT_EQ(esito.stato, 0) << esito.out << esito.err;
  EXPECT_EQ(Nota(), kSuccesso);
  EXPECT_EQ(ContaRighe(Nome(*fb3_, "destinazione"), "PS_STOINSCAR", IsqlDi(*fb3_)), 4);
}

// Each archive with its own server's login: the two users exist each on one server only.
TEST_F(ServerSitiTest, SourceOnFirebird3DestinationOnFirebird4) {
  RICHIEDE(fb3_);
  RICHIEDE(fb4_);
  const std::string origine = Archivio(*fb3_, "origine", DatiOrigine());
  Archivio(*fb3_, "vuoto", "");
  const std::string destinazione = Archivio(*fb4_, "destinazione", DatiDestinazione());
  Archivio(*fb4_, "vuoto", "");
  const std::string password3 = UtenteSito(*fb3_, "VESS_SITO3", "origine", "vuoto");
  const std::string password4 = UtenteSito(*fb4_, "VESS_SITO4", "vuoto", "destinazione");
  UnTask(origine, destinazione);
  Credenziali(Sezione(*fb3_, "VESS_SITO3", password3) + Sezione(*fb4_, "VESS_SITO4", password4));
  EseguiRiuscito();
  EXPECT_EQ(ContaRighe(Nome(*fb4_, "destinazione"), "PS_STOINSCAR", IsqlDi(*fb4_)), 4);
}

// Between two Firebird 4 archives as a site user, the new types and names longer than Firebird
// 3's 31 characters included: the destination server's text of each value is the source
// server's, and two names that agree in their first 31 characters stay two columns.
TEST_F(ServerSitiTest, Firebird4CopyOfTheNewTypesAndLongNamesAsSiteUser) {
  RICHIEDE(fb4_);
  const std::string nomi = std::string("UPDATE PS_STOINSCAR SET ") + kNomeLungo +
                           " = 'cliente ' || IDINSERIMENTO, \"" + kNomeGemello +
                           "\" = 'corriere ' || IDINSERIMENTO;\n";
  const std::string origine = Archivio(
      *fb4_, "origine", DatiOrigine() + kColonneNuove + kValoriNuovi + kColonneLunghe + nomi);
  const std::string destinazione =
      Archivio(*fb4_, "destinazione", DatiDestinazione() + kColonneNuove + kColonneLunghe);
  const std::string password = UtenteSito(*fb4_, "VESS_SITO4", "origine", "destinazione");
  UnTask(origine, destinazione);
  Credenziali(Sezione(*fb4_, "VESS_SITO4", password));
  EseguiRiuscito();
  const std::string testoNomi = std::string("SET LIST ON;\nSELECT IDINSERIMENTO, ") + kNomeLungo +
                                ", \"" + kNomeGemello +
                                "\" FROM PS_STOINSCAR WHERE IDSESSIONE IN (100,200,400)"
                                " ORDER BY IDINSERIMENTO;\n";
  for (const std::string& testo : {std::string(kTestoNuove), testoNomi})
    EXPECT_EQ(fb4_->Isql(Nome(*fb4_, "destinazione"), testo),
              fb4_->Isql(Nome(*fb4_, "origine"), testo));
  const std::string atteso = fb4_->Isql(Nome(*fb4_, "origine"), kTestoNuove + testoNomi);
  EXPECT_NE(atteso.find("170141183460469231731687303715884105727"), std::string::npos) << atteso;
  EXPECT_NE(atteso.find("-1.000000000000000000000000000000001E-6143"), std::string::npos);
  EXPECT_NE(atteso.find("Europe/Rome"), std::string::npos);
  EXPECT_NE(atteso.find("cliente 1001"), std::string::npos) << atteso;
  EXPECT_NE(atteso.find("corriere 1001"), std::string::npos) << atteso;
}

// Both archives on one server, as a site user with only the grants of a task: the server copies
// the rows, and the destination's selected rows are the source's; on Firebird 4 with its new
// number types (a time with its zone takes the rows' way, tested above).
TEST_F(ServerSitiTest, CopyInsideTheServerAsSiteUser) {
  const std::string numeri =
      "\nCOMMIT;\nALTER TABLE PS_STOINSCAR ADD I128 INT128, ADD N38 NUMERIC(38,4), ADD D16 "
      "DECFLOAT(16), ADD D34 DECFLOAT(34);\nCOMMIT;\n";
  const std::string valori =
      "UPDATE PS_STOINSCAR SET I128 = -170141183460469231731687303715884105728,"
      " N38 = -1234567890123456789012345678901234.5678, D16 = -0E+5,"
      " D34 = CAST('NaN' AS DECFLOAT(34)) WHERE IDINSERIMENTO = 1001;\n";
  const std::string testo =
      "SET LIST ON;\nSELECT CAST(I128 AS VARCHAR(60)) AS I128, CAST(N38 AS VARCHAR(60)) AS N38, "
      "CAST(D16 AS VARCHAR(60)) AS D16, CAST(D34 AS VARCHAR(60)) AS D34 FROM PS_STOINSCAR WHERE "
      "IDSESSIONE IN (100,200,400) ORDER BY IDINSERIMENTO;\n";
  if (!fb3_ && !fb4_) GTEST_SKIP() << "no server given (scripts/ci-servers.sh)";
  for (std::optional<TServerSito>* sito : {&fb3_, &fb4_}) {
    if (!*sito) continue;
    TServerSito& s = **sito;
    const bool nuovi = sito == &fb4_;
    SCOPED_TRACE(s.server);
    const std::string origine =
        Archivio(s, "origine", DatiOrigine() + (nuovi ? numeri + valori : ""));
    const std::string destinazione =
        Archivio(s, "destinazione", DatiDestinazione() + (nuovi ? numeri : ""));
    const std::string utente = nuovi ? "VESS_SERVER4" : "VESS_SERVER3";
    const std::string credenziali = impianto_.Archivi() + "credenziali-" + utente + ".ini";
    ScriviFile(credenziali, Sezione(s, utente, UtenteSito(s, utente, "origine", "destinazione")));
    ImpostaFileCredenziali(credenziali);
    TTaskVornyUSA task;
    TVessentariaTaskInfo riga;
    riga.ArchivioOrigine = origine;
    riga.ArchivioDestinazione = destinazione;
    riga.TipoSincro = tsVornyUSA;
    std::string messaggio;
    EXPECT_TRUE(task.ApriConnessioni(riga, messaggio) && task.Esecuzione(messaggio)) << messaggio;
    EXPECT_TRUE(task.CopiatoNelServer());
    ImpostaFileCredenziali("");
    const std::string selezione = SelezioneTabella("PS_STOINSCAR", "IDSESSIONE IN (100,200,400)");
    EXPECT_EQ(s.Isql(Nome(s, "destinazione"), selezione + ";\n"),
              s.Isql(Nome(s, "origine"), selezione + ";\n"));
    if (nuovi) {
      const std::string copiati = s.Isql(Nome(s, "destinazione"), testo);
      EXPECT_EQ(copiati, s.Isql(Nome(s, "origine"), testo));
      EXPECT_NE(copiati.find("-170141183460469231731687303715884105728"), std::string::npos)
          << copiati;
    }
  }
}

// The columns of a query are named whole, however many and however long: the client's
// descriptor holds 31 bytes of a name, the rest is asked of the server (the layouts' whole
// names are shown by the copy above).
TEST_F(ServerSitiTest, Firebird4LongNamesReadWhole) {
  RICHIEDE(fb4_);
  Archivio(*fb4_, "nomi", kColonneLunghe);
  auto database = ConnettiArchivio(Nome(*fb4_, "nomi"), fb4_->passwordSysdba);
  // Names of 63 characters, 60 of them of 4 bytes: the server's answer takes several requests.
  const std::string simbolo = "\xF0\x9D\x84\x9E";
  std::string sql = "SELECT ";
  std::vector<std::string> attesi;
  for (int i = 0; i < 300; ++i) {
    std::string nome;
    for (int k = 0; k < 60; ++k) nome += simbolo;
    nome += std::to_string(100 + i);
    attesi.push_back(nome);
    sql += (i > 0 ? ", " : "") + std::to_string(i) + " AS \"" + nome + "\"";
  }
  TSQLTransaction transazione;
  transazione.SetDefaultDatabase(database.get());
  transazione.SetActive(true);
  TSQLStatement statement;
  statement.SetDatabase(database.get());
  statement.SetTransaction(&transazione);
  statement.SQL().Add(sql + " FROM RDB$DATABASE");
  statement.Prepare();
  std::vector<std::string> nomi;
  for (int i = 0; i < statement.FieldCount(); ++i) nomi.push_back(statement.Fields(i).Name());
  EXPECT_EQ(nomi, attesi);
}

TEST_F(ServerSitiTest, Firebird4SystemTablesWithTheNewTypes) {
  RICHIEDE(fb4_);
  Archivio(*fb4_, "tipi",
           "CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, I128 INT128, N38 NUMERIC(38,4),"
           " D16 DECFLOAT(16), D34 DECFLOAT(34), TZT TIME WITH TIME ZONE,"
           " TZS TIMESTAMP WITH TIME ZONE);");
  auto database = ConnettiArchivio(Nome(*fb4_, "tipi"), fb4_->passwordSysdba);
  TCampoSQLList campi;
  ASSERT_TRUE(CaricaCampiSQL("T", *database, campi));
  ASSERT_EQ(campi.Count(), 7);
  EXPECT_EQ(campi.Campo(1).Tipo, tcInt128);
  EXPECT_EQ(campi.Campo(2).Tipo, tcInt128);
  EXPECT_EQ(campi.Campo(2).Precisione, 38);
  EXPECT_EQ(campi.Campo(2).Scala, 4);
  EXPECT_EQ(campi.Campo(3).Tipo, tcDecFloat16);
  EXPECT_EQ(campi.Campo(4).Tipo, tcDecFloat34);
  EXPECT_EQ(campi.Campo(5).Tipo, tcTimeTZ);
  EXPECT_EQ(campi.Campo(6).Tipo, tcTimeStampTZ);

  // The identity of an archive: this server keeps its creation time WITH TIME ZONE.
  auto identita = [](TSQLDatabase& db) {
    TSQLTransaction transazione;
    transazione.SetDefaultDatabase(&db);
    return IdentitaDatabase(db, transazione);
  };
  const TIdentitaDatabase prima = identita(*database);
  EXPECT_NE(prima.Nome.find("tipi/archivio.fdb"), std::string::npos);
  EXPECT_EQ(identita(*ConnettiArchivio(Nome(*fb4_, "tipi"), fb4_->passwordSysdba)), prima);
}

// At the end of daylight saving time a local time by zone name happens twice: the one that its
// text does not give back refuses the table before the destination is touched.
TEST_F(ServerSitiTest, Firebird4AmbiguousZoneTimeRefusesTheTable) {
  RICHIEDE(fb4_);
  Archivio(*fb4_, "origine",
           DatiOrigine() + kColonneNuove +
               "UPDATE PS_STOINSCAR SET TZS = TIMESTAMP '2021-10-31 00:30:00 UTC' AT TIME ZONE "
               "'Europe/Rome' WHERE IDINSERIMENTO = 1001;\n"
               "UPDATE PS_STOINSCAR SET TZS = TIMESTAMP '2021-10-31 01:30:00 UTC' AT TIME ZONE "
               "'Europe/Rome' WHERE IDINSERIMENTO = 1002;\n");
  Archivio(*fb4_, "destinazione", DatiDestinazione() + kColonneNuove);
  std::string messaggio;
  int righe = -1;
  EXPECT_FALSE(CopiaRigheOrdine(*fb4_, messaggio, &righe));
  EXPECT_NE(messaggio.find("Tabella \"PS_STOINSCAR\", campo \"TZS\""), std::string::npos)
      << messaggio;
  EXPECT_EQ(righe, 1);  // the old order row, not yet emptied
}

// On each server, a site user holding a task's grants but one, one grant a row: --check names the
// missing right with its grant and a run then fails on it (the server's copy and the rows' way
// alike); a right that no statement needs, and an index missing, let both go on. The company
// archive is on the server too: without UPDATE on the task table a run cannot write its note.
TEST_F(ServerSitiTest, CheckNamesEachMissingRightThatARunMeets) {
  if (!fb3_ && !fb4_) GTEST_SKIP() << "no server given (scripts/ci-servers.sh)";
  for (std::optional<TServerSito>* sito : {&fb3_, &fb4_}) {
    if (!*sito) continue;
    TServerSito& s = **sito;
    SCOPED_TRACE(s.server);
    const std::string utente = sito == &fb3_ ? "VESS_DIR3" : "VESS_DIR4";
    const std::string origine = Archivio(s, "origine", DatiOrigine());
    const std::string destinazione = Archivio(s, "destinazione", DatiDestinazione());
    const std::string ditta =
        Archivio(s, "ditta", DdlDitta() + "\nCOMMIT;\n" + RigaTask(1, origine, destinazione));
    fs::remove(impianto_.UserFdb());
    impianto_.CreaUtente(ditta);
    ScriviFile(impianto_.CartellaUtente() + "dati.ini", "[Rete]\nServerLocale=\n");
    Credenziali(Sezione(s, utente, UtenteSito(s, utente, "origine", "destinazione")));
    s.Isql(Nome(s, "ditta"), "GRANT SELECT, UPDATE ON VESSENTARIA TO " + utente + ";\n");
    const TIsql isqlDitta = [this, &s](const std::string&, const std::string& script) {
      return s.Isql(Nome(s, "ditta"), script);
    };

    struct TCaso {
      std::string archivio, diritto, tabella;
      bool serve;  // a run meets it
    };
    std::vector<TCaso> casi = {{"", "", "", false},
                               {"destinazione", "DELETE", "CLIENTI", false},
                               {"ditta", "UPDATE", "VESSENTARIA", true}};
    for (const std::string& tabella : TabelleOrdini()) {
      casi.push_back({"origine", "SELECT", tabella, true});
      for (const char* diritto : {"SELECT", "INSERT", "UPDATE", "DELETE"})
        if (tabella != "CLIENTI" || std::string(diritto) != "DELETE")
          casi.push_back({"destinazione", diritto, tabella, true});
    }
    const std::string indice = "INDEX IX_PS_ORDINI_IDSESSIONE";
    casi.push_back({"destinazione", indice, "PS_ORDINI (IDSESSIONE)", false});
    for (const TCaso& caso : casi) {
      const bool senzaIndice = caso.diritto == indice;
      const std::string togli =
          senzaIndice ? "DROP " + indice
                      : "REVOKE " + caso.diritto + " ON " + caso.tabella + " FROM " + utente;
      const std::string ridai =
          senzaIndice ? "CREATE " + indice + " ON " + caso.tabella
                      : "GRANT " + caso.diritto + " ON " + caso.tabella + " TO " + utente;
      SCOPED_TRACE(togli);
      if (!caso.archivio.empty()) s.Isql(Nome(s, caso.archivio), togli + ";\nCOMMIT;\n");
      const std::string dove =
          caso.archivio == "ditta" ? "nell'archivio della ditta" : "in " + caso.archivio;
      const TEsito verifica = impianto_.Esegui({"--check"});
      EXPECT_EQ(verifica.stato, caso.serve ? 9 : 0) << verifica.out << verifica.err;
      EXPECT_EQ(
          verifica.out.substr(0, verifica.out.find('\n')),
          "Task 1: " + (caso.serve ? "manca il diritto " + caso.diritto + " su " + caso.tabella +
                                         " " + dove + ": GRANT " + caso.diritto + " ON " +
                                         caso.tabella + " TO " + utente
                                   : std::string("ok")));
      EXPECT_NE(verifica.out.find("\nTask 1 via: copia nel server\n"), std::string::npos)
          << verifica.out;
      EXPECT_EQ(verifica.out.find("Task 1 avviso: la chiave IDSESSIONE di PS_ORDINI") !=
                    std::string::npos,
                senzaIndice)
          << verifica.out;

      isqlDitta("", std::string("UPDATE VESSENTARIA SET NOTEULTIMAESECUZIONE = '") + kNotaVecchia +
                        "';\nCOMMIT;\n");
      const TEsito esecuzione = impianto_.Esegui();
      // The task's first note, written before it starts: refused, the run stops there and says so.
      EXPECT_EQ(esecuzione.stato, caso.archivio == "ditta" ? 75 : 0)
          << esecuzione.out << esecuzione.err;
      EXPECT_EQ(esecuzione.err.find("Nota del task 1 non scritta nell'archivio della ditta: ") !=
                    std::string::npos,
                caso.archivio == "ditta")
          << esecuzione.err;
      const std::string nota = impianto_.LeggiTabella(isqlDitta)[1].nota;
      if (caso.archivio == "ditta")
        EXPECT_EQ(nota, kNotaVecchia);
      else if (caso.serve)
        EXPECT_NE(
            nota.find("no permission for " + caso.diritto + " access to TABLE " + caso.tabella),
            std::string::npos)
            << nota;
      else
        EXPECT_EQ(nota, kSuccesso);
      if (!caso.archivio.empty()) s.Isql(Nome(s, caso.archivio), ridai + ";\nCOMMIT;\n");
    }
  }
}

// A login that the server refuses: the task fails with the server's text, the destination stays
// as it was, and the password shows nowhere.
TEST_F(ServerSitiTest, WrongPasswordChangesNothing) {
  RICHIEDE(fb3_);
  TaskSulSito(*fb3_, "VESS_SITO3");
  const std::string sbagliata = "Sbagliata" + Casuale();
  Credenziali(Sezione(*fb3_, "VESS_SITO3", sbagliata));
  const std::string prima = Impronta(Nome(*fb3_, "destinazione"), IsqlDi(*fb3_));
  const TEsito esito = impianto_.Esegui();
  EXPECT_EQ(esito.stato, 0) << esito.out << esito.err;
  const std::string nota = Nota();
  EXPECT_NE(nota.find("Impossibile stabilire la connessione all'origine"), std::string::npos)
      << nota;
  EXPECT_NE(nota.find("Your user name and password are not defined"), std::string::npos) << nota;
  EXPECT_EQ(Impronta(Nome(*fb3_, "destinazione"), IsqlDi(*fb3_)), prima);
  for (const std::string& testo :
       {nota, esito.out, esito.err, LeggiFile(fb3_->Locale(nomeTest_ + "-origine/sito/dati.ini"))})
    EXPECT_EQ(testo.find(sbagliata), std::string::npos) << testo;
}

// A logins file that others can read: the program stops before it opens anything.
TEST_F(ServerSitiTest, LoginsReadableByOthersOpenNothing) {
  RICHIEDE(fb3_);
  Credenziali(Sezione(*fb3_, "VESS_SITO3", TaskSulSito(*fb3_, "VESS_SITO3")), 0644);
  const std::string prima = Impronta(Nome(*fb3_, "destinazione"), IsqlDi(*fb3_));
  const TEsito esito = impianto_.Esegui();
  EXPECT_NE(esito.stato, 0);
  EXPECT_NE((esito.out + esito.err).find("credenziali.ini"), std::string::npos)
      << esito.out << esito.err;
  EXPECT_EQ(Nota(), kNotaVecchia);
  EXPECT_EQ(Impronta(Nome(*fb3_, "destinazione"), IsqlDi(*fb3_)), prima);
}
