#include <string>

#include "AccessoFixture.h"
#include "db/SQLInternal.h"

namespace {

ISC_STATUS Testo(const char* s) {
  return reinterpret_cast<ISC_STATUS>(s);
}

}  // namespace

// Status vectors as the client library fills them: (isc_arg_gds, code, arguments...) clusters.
TEST(TestoServer, RigheUniteEPuntoFinale) {
  const struct {
    std::vector<ISC_STATUS> status;
    const char* atteso;
  } casi[] = {
      {{isc_arg_gds, isc_random, isc_arg_string, Testo("Una riga."), isc_arg_end}, "Una riga"},
      {{isc_arg_gds, isc_random, isc_arg_string, Testo("prima"), isc_arg_gds, isc_random,
        isc_arg_string, Testo("seconda.."), isc_arg_end},
       "prima\r\nseconda."},
      // A line that already ends with LF gets no CR LF after it.
      {{isc_arg_gds, isc_random, isc_arg_string, Testo("prima\n"), isc_arg_gds, isc_random,
        isc_arg_string, Testo("seconda"), isc_arg_end},
       "prima\nseconda"},
  };
  for (const auto& c : casi) EXPECT_EQ(TestoStatus(c.status.data()), c.atteso);
}

TEST(TestoServer, ConflittoDiLock) {
  const ISC_STATUS conflitto[] = {isc_arg_gds,  isc_random,  isc_arg_cstring,   3,
                                  Testo("abc"), isc_arg_gds, isc_lock_conflict, isc_arg_end};
  const ISC_STATUS altro[] = {isc_arg_gds, isc_random, isc_arg_string, Testo("x"), isc_arg_end};
  EXPECT_TRUE(ConflittoDiLock(conflitto));
  EXPECT_FALSE(ConflittoDiLock(altro));
}
