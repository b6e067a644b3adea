// Linked into every test program but the one that runs against the servers that sites run: those
// tests never meet a Firebird server that the machine happens to run. The program asks the host's
// server first for a plain local path ("localhost" on the client's default port); here the
// client library, in the test process and in every program it starts, reads a configuration of
// its own (FIREBIRD) whose default port nothing listens on, as on a host without a server. The
// embedded engine and every name with a port of its own work as before.

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "support/FirebirdServer.h"

namespace fs = std::filesystem;

namespace {

const char* const kConfigurazioneFirebird = "/etc/firebird/3.0";
// Reserved, and never listened on: a connection to it is refused at once.
const int kPortaChiusa = 1;

class TClienteSenzaServerDellHost {
 public:
  TClienteSenzaServerDellHost() {
    // A configuration chosen by whoever runs the tests is theirs.
    if (getenv("FIREBIRD") != nullptr) return;
    char modello[] = "/tmp/vessentaria-cliente-XXXXXX";
    if (mkdtemp(modello) == nullptr) return;
    radice_ = modello;
    std::error_code errore;
    // Programs that a test runs as another user read it too.
    fs::permissions(radice_,
                    fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                        fs::perms::others_read | fs::perms::others_exec,
                    errore);
    PreparaRadiceFirebird(radice_);
    fs::copy_file(fs::path(kConfigurazioneFirebird) / "databases.conf",
                  fs::path(radice_) / "databases.conf", errore);
    std::ifstream originale(fs::path(kConfigurazioneFirebird) / "firebird.conf");
    std::ofstream(fs::path(radice_) / "firebird.conf")
        << originale.rdbuf() << "\nRemoteServicePort = " << kPortaChiusa << "\n";
    setenv("FIREBIRD", radice_.c_str(), 1);
    pid_ = getpid();
  }
  TClienteSenzaServerDellHost(const TClienteSenzaServerDellHost&) = delete;
  TClienteSenzaServerDellHost& operator=(const TClienteSenzaServerDellHost&) = delete;
  ~TClienteSenzaServerDellHost() {
    // A child that returns through exit() instead of exec must not remove the parent's folder.
    if (radice_.empty() || getpid() != pid_) return;
    std::error_code errore;
    fs::remove_all(radice_, errore);
  }

 private:
  std::string radice_;
  pid_t pid_ = 0;
};

const TClienteSenzaServerDellHost cliente;

}  // namespace
