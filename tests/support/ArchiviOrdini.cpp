#include "support/ArchiviOrdini.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

#include "db/SQLDatabase.h"

namespace {

// The exact form of each table's rows: text and blobs cast to bytes (isql shows them in hex),
// the large binary blob in three pieces.
const std::map<std::string, std::string> kSelezioni = {
    {"CLIENTI",
     "SELECT CODICE, CAST(RAGIONESOCIALE AS VARCHAR(60) CHARACTER SET OCTETS) AS RAGIONESOCIALE,"
     " NAZIONE, INTESTATARIOFATTURA, FIDO,"
     " CAST(NOTE AS VARCHAR(8000) CHARACTER SET OCTETS) AS NOTE FROM CLIENTI"},
    {"PS_ORDINI",
     "SELECT ID, IDSESSIONE, IDUTENTE, CODDEST, DATAORDINE, TOTALE,"
     " CAST(NOTE AS VARCHAR(200) CHARACTER SET OCTETS) AS NOTE FROM PS_ORDINI"},
    {"PS_STOINSCAR",
     "SELECT IDINSERIMENTO, IDSESSIONE, QUANTITA, PEZZI, CODICEGRANDE, SCONTORIGA, PREZZO,"
     " IMPORTO, ALIQUOTA, PESO, VOLUME, DATACONSEGNA, ORACONSEGNA, MODIFICATO,"
     " CAST(UNITA AS CHAR(3) CHARACTER SET OCTETS) AS UNITA,"
     " CAST(DESCRIZIONE AS VARCHAR(80) CHARACTER SET OCTETS) AS DESCRIZIONE,"
     " CAST(ETICHETTA AS VARCHAR(20) CHARACTER SET OCTETS) AS ETICHETTA,"
     " CAST(NOTE AS VARCHAR(8000) CHARACTER SET OCTETS) AS NOTE,"
     " OCTET_LENGTH(IMMAGINE) AS LUNGHEZZAIMMAGINE,"
     " CAST(SUBSTRING(IMMAGINE FROM 1 FOR 30000) AS VARCHAR(30000) CHARACTER SET OCTETS) AS I1,"
     " CAST(SUBSTRING(IMMAGINE FROM 30001 FOR 30000) AS VARCHAR(30000) CHARACTER SET OCTETS)"
     " AS I2,"
     " CAST(SUBSTRING(IMMAGINE FROM 60001 FOR 30000) AS VARCHAR(30000) CHARACTER SET OCTETS)"
     " AS I3 FROM PS_STOINSCAR"},
    {"PS_STOSESSION",
     "SELECT ID, INIZIO, FINE, DURATA, CAST(TERMINALE AS CHAR(8) CHARACTER SET OCTETS) AS"
     " TERMINALE, CAST(REGISTRO AS VARCHAR(8000) CHARACTER SET OCTETS) AS REGISTRO"
     " FROM PS_STOSESSION"},
};

const std::map<std::string, std::string> kChiavi = {{"CLIENTI", "CODICE"},
                                                    {"PS_ORDINI", "ID"},
                                                    {"PS_STOINSCAR", "IDINSERIMENTO"},
                                                    {"PS_STOSESSION", "ID"}};

}  // namespace

std::string DdlOrdini() {
  return FileSql("archivio-ordini.sql");
}

std::string DdlDitta() {
  return FileSql("archivio-ditta.sql");
}

std::string DatiOrigine() {
  return R"(
INSERT INTO CLIENTI VALUES ('C01', x'416C6661E820536E63', 'ITA', 'C01', 1234567890123.45,
  x'6E6F7465E80D0A7365636F6E6461');
INSERT INTO CLIENTI VALUES ('C02', 'Beta Inc', 'USA', 'C03', -10.05, NULL);
INSERT INTO CLIENTI VALUES ('C03', 'Gamma', 'ITA', NULL, NULL, 'paga per C02');
INSERT INTO CLIENTI VALUES ('C04', 'Delta', 'ITA', 'C05', 1, NULL);
INSERT INTO CLIENTI VALUES ('C05', 'Epsilon', 'FRA', NULL, 2, NULL);
INSERT INTO CLIENTI VALUES ('C06', 'Zeta', 'USA', NULL, 3, NULL);

INSERT INTO PS_ORDINI VALUES (1, 100, 61, 'C01', '2024-01-02 10:11:12.3456', 1234567890123456.78,
  x'4F7264696E6520E0');
INSERT INTO PS_ORDINI VALUES (2, 200, 7, 'C02', '2024-01-03 00:00:00.0001', 10, 'primo');
INSERT INTO PS_ORDINI VALUES (3, 300, 7, 'C04', '2024-01-04 12:00:00', 20, 'non scelto');
INSERT INTO PS_ORDINI VALUES (4, 400, 61, 'ZZZ', NULL, NULL, 'senza cliente');
INSERT INTO PS_ORDINI VALUES (5, 500, 8, NULL, NULL, NULL, 'non scelto');
INSERT INTO PS_ORDINI VALUES (6, 200, 61, NULL, '2024-01-05 23:59:59.9999', -0.01, 'ultimo');

INSERT INTO PS_STOINSCAR VALUES (1001, 100, -32768, 2147483647, 9223372036854775807, 12.75,
  1234567.89, 123456789012345.6789, 99999999999999.9999, 1.1, 1e0/3, '1800-01-01',
  '23:59:59.9999', '2024-02-29 23:59:59.1234', x'E8E0F9', x'436166E8208020E0', x'7069F9',
  x'72696761E80D0A756E6F', x'00FF10000A0D');
INSERT INTO PS_STOINSCAR (IDINSERIMENTO, IDSESSIONE) VALUES (1002, 100);
INSERT INTO PS_STOINSCAR VALUES (9000000000000000001, 200, 32767, -2147483648,
  -9223372036854775807, -12.75, -0.01, -922337203685477.5807, 922337203685477.5807, -3.5e-30,
  -1.7976931348623157e308, '2100-12-31', '00:00:00.0001', '1858-11-16 00:00:00.0001', 'PZ',
  'Tavolo', '', '', x'');
INSERT INTO PS_STOINSCAR (IDINSERIMENTO, IDSESSIONE, DESCRIZIONE) VALUES (1003, 300, 'altra');
INSERT INTO PS_STOINSCAR (IDINSERIMENTO, IDSESSIONE, DESCRIZIONE) VALUES (1004, 400, 'grande');
COMMIT;
SET TERM ^;
EXECUTE BLOCK AS
  DECLARE BASE VARCHAR(256) CHARACTER SET OCTETS;
  DECLARE I INTEGER = 0;
  DECLARE B BLOB SUB_TYPE BINARY;
BEGIN
  BASE = x'';
  WHILE (I < 256) DO BEGIN
    BASE = BASE || ASCII_CHAR(MOD(I * 37 + 11, 256));
    I = I + 1;
  END
  B = CAST(LPAD(x'', 30000, BASE) AS BLOB SUB_TYPE BINARY);
  B = B || REVERSE(LPAD(x'', 30000, BASE));
  B = B || LPAD(x'', 20017, REVERSE(BASE));
  UPDATE PS_STOINSCAR SET IMMAGINE = :B WHERE IDINSERIMENTO = 1004;
END^
SET TERM ;^

INSERT INTO PS_STOSESSION VALUES (100, '2024-03-01 08:00:00.0001', '08:30:00.5000', 1e0/7, 'T1',
  x'6C6F67E80D0A');
INSERT INTO PS_STOSESSION VALUES (200, '2024-03-02 09:00:00', '09:00:00', 2.5, 'T2', NULL);
INSERT INTO PS_STOSESSION VALUES (300, NULL, NULL, NULL, 'T3', NULL);
INSERT INTO PS_STOSESSION VALUES (400, NULL, NULL, 5000, 'T4', 'lunga');
INSERT INTO PS_STOSESSION VALUES (500, NULL, NULL, NULL, 'T5', NULL);
)";
}

std::string DatiDestinazione() {
  return R"(
INSERT INTO CLIENTI VALUES ('C01', 'Vecchio', 'ITA', NULL, 1, 'da aggiornare');
INSERT INTO CLIENTI VALUES ('C05', 'Epsilon qui', 'FRA', NULL, 2, 'resta');
INSERT INTO CLIENTI VALUES ('C99', x'457374726E656FE8', 'GER', 'C05', 3, 'resta anche');
INSERT INTO PS_ORDINI VALUES (90, 900, 61, 'C99', '2023-01-01 00:00:00', 5, 'vecchio');
INSERT INTO PS_STOINSCAR (IDINSERIMENTO, IDSESSIONE, DESCRIZIONE) VALUES (9000, 900, 'vecchia');
INSERT INTO PS_STOSESSION (ID, TERMINALE) VALUES (900, 'OLD');
)";
}

std::vector<std::string> TabelleOrdini() {
  std::vector<std::string> tabelle;
  for (const auto& [tabella, chiave] : kChiavi) tabelle.push_back(tabella);
  return tabelle;
}

std::string SelezioneTabella(const std::string& tabella, const std::string& where) {
  std::string select = kSelezioni.at(tabella);
  if (!where.empty()) select += " WHERE " + where;
  return select + " ORDER BY " + kChiavi.at(tabella);
}

std::string DumpTabella(const std::string& archivio, const std::string& tabella,
                        const std::string& where) {
  return QueryIsql(archivio, SelezioneTabella(tabella, where));
}

std::string DumpOrdini(const std::string& archivio) {
  std::string dump;
  for (const auto& [tabella, chiave] : kChiavi)
    dump += "-- " + tabella + "\n" + DumpTabella(archivio, tabella);
  return dump;
}

ArchiviOrdini::ArchiviOrdini(const std::string& datiOrigine, const std::string& datiDestinazione,
                             const std::string& ddlOrigine, const std::string& ddlDestinazione,
                             int dialetto)
    : origine(cartella / "origine.fdb"), destinazione(cartella / "destinazione.fdb") {
  CreaDatabaseDiProva(origine, ddlOrigine.empty() ? DdlOrdini() : ddlOrigine, dialetto);
  CreaDatabaseDiProva(destinazione, ddlDestinazione.empty() ? DdlOrdini() : ddlDestinazione,
                      dialetto);
  RunIsql(origine, datiOrigine + "\nCOMMIT;\n");
  RunIsql(destinazione, datiDestinazione + "\nCOMMIT;\n");
}
