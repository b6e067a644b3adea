#include "support/FirebirdServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

const char* const CartellaFirebird = "/usr/lib/x86_64-linux-gnu/firebird/3.0";
const char* const ConfigurazioneFirebird = "/etc/firebird/3.0";
const char* const Server = "/usr/sbin/firebird";

int PortaLibera() {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  if (s < 0) throw std::runtime_error("socket failed");
  sockaddr_in indirizzo{};
  indirizzo.sin_family = AF_INET;
  indirizzo.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t lunghezza = sizeof(indirizzo);
  if (bind(s, reinterpret_cast<sockaddr*>(&indirizzo), sizeof(indirizzo)) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&indirizzo), &lunghezza) != 0) {
    close(s);
    throw std::runtime_error("no free port");
  }
  close(s);
  return ntohs(indirizzo.sin_port);
}

bool PortaAperta(int porta) {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  if (s < 0) return false;
  sockaddr_in indirizzo{};
  indirizzo.sin_family = AF_INET;
  indirizzo.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  indirizzo.sin_port = htons(static_cast<uint16_t>(porta));
  bool aperta = connect(s, reinterpret_cast<sockaddr*>(&indirizzo), sizeof(indirizzo)) == 0;
  close(s);
  return aperta;
}

std::string Virgolette(const std::string& testo) {
  std::string r = "'";
  for (char c : testo) r += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return r + "'";
}

}  // namespace

void PreparaRadiceFirebird(const std::string& radice) {
  std::error_code errore;
  for (const char* voce : {"UDF", "firebird.msg", "lib", "plugins", "include"})
    fs::create_symlink(fs::path(CartellaFirebird) / voce, fs::path(radice) / voce, errore);
  fs::copy(fs::path(CartellaFirebird) / "intl", fs::path(radice) / "intl",
           fs::copy_options::recursive, errore);
  for (const char* voce : {"plugins.conf", "fbtrace.conf"})
    fs::copy_file(fs::path(ConfigurazioneFirebird) / voce, fs::path(radice) / voce, errore);
}

FirebirdServer::FirebirdServer(const std::string& password,
                               const std::vector<std::pair<std::string, std::string>>& aliases,
                               bool comeUtenteDiSistema)
    : password_(password) {
  const std::string radice = root_.Path();
  PreparaRadiceFirebird(radice);
  fs::create_directory(radice + "data");
  fs::create_directory(radice + "lock");

  port_ = PortaLibera();
  {
    std::ofstream conf(radice + "firebird.conf", std::ios::binary);
    conf << LeggiFile(std::string(ConfigurazioneFirebird) + "/firebird.conf") << "\n"
         << "RemoteServicePort = " << port_ << "\n"
         << "RemoteBindAddress = 127.0.0.1\n"
         << "IpcName = vessentaria_" << port_ << "\n"
         << "SecurityDatabase = " << radice << "data/security3.fdb\n";
  }
  {
    std::ofstream conf(radice + "databases.conf", std::ios::binary);
    conf << "security.db = " << radice << "data/security3.fdb\n{\n  RemoteAccess = false\n}\n";
    for (const auto& [nome, percorso] : aliases) conf << nome << " = " << percorso << "\n";
  }

  const std::string ambiente =
      "FIREBIRD=" + Virgolette(radice) + " FIREBIRD_LOCK=" + Virgolette(radice + "lock") + " ";
  std::string out, err;
  std::string sicurezza = radice + "data/security3.fdb";
  int rc =
      RunCommand(ambiente + "isql-fb -q -user SYSDBA -bail", &out, &err,
                 "CREATE DATABASE '" + sicurezza + "';\nCOMMIT;\nCONNECT '" + sicurezza +
                     "' USER SYSDBA;\nCREATE USER SYSDBA PASSWORD '" + password_ + "';\nCOMMIT;\n");
  if (rc != 0 || !err.empty())
    throw std::runtime_error("security database not created: " + err + out);
  const passwd* sistema = comeUtenteDiSistema && geteuid() == 0 ? getpwnam("firebird") : nullptr;
  if (sistema && RunCommand("chown -R firebird: " + Virgolette(radice)) != 0)
    throw std::runtime_error("the server's folder not handed to the firebird user");
  uid_ = sistema ? sistema->pw_uid : 0;
  gid_ = sistema ? sistema->pw_gid : 0;
  AvviaProcesso();
}

void FirebirdServer::AvviaProcesso() {
  const std::string radice = root_.Path();
  // Everything the child needs is prepared before fork: after it only exec-safe calls are made.
  std::vector<std::string> variabili = {"FIREBIRD=" + radice, "FIREBIRD_LOCK=" + radice + "lock",
                                        "PATH=/usr/sbin:/usr/bin:/sbin:/bin"};
  std::vector<char*> envp;
  for (auto& v : variabili) envp.push_back(v.data());
  envp.push_back(nullptr);
  const std::string log = radice + "server.log";
  char* argv[] = {const_cast<char*>(Server), nullptr};
  const pid_t genitore = getpid();
  const uid_t uid = uid_;
  const gid_t gid = gid_;

  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    if (uid != 0 && (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0))
      _exit(127);
    // After the change of user: a change of credentials clears it.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != genitore) _exit(127);
    int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
      dup2(fd, STDOUT_FILENO);
      dup2(fd, STDERR_FILENO);
      close(fd);
    }
    int nullo = open("/dev/null", O_RDONLY);
    if (nullo >= 0) dup2(nullo, STDIN_FILENO);
    execve(Server, argv, envp.data());
    _exit(127);
  }

  const auto limite = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!PortaAperta(port_)) {
    int stato = 0;
    if (waitpid(pid_, &stato, WNOHANG) == pid_) {
      pid_ = -1;
      throw std::runtime_error("the Firebird server ended at start: " + LeggiFile(log));
    }
    if (std::chrono::steady_clock::now() > limite) {
      Stop();
      throw std::runtime_error("the Firebird server did not open its port: " + LeggiFile(log));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

FirebirdServer::~FirebirdServer() {
  Stop();
}

void FirebirdServer::Sospendi() {
  if (pid_ <= 0 || kill(pid_, SIGSTOP) != 0) throw std::runtime_error("server not suspended");
}

void FirebirdServer::Riprendi() noexcept {
  if (pid_ > 0) kill(pid_, SIGCONT);
}

void FirebirdServer::Uccidi() noexcept {
  if (pid_ > 0) kill(pid_, SIGKILL);
  Stop();
}

void FirebirdServer::Riavvia() {
  Uccidi();
  AvviaProcesso();
}

void FirebirdServer::Stop() noexcept {
  if (pid_ <= 0) return;
  // A suspended server would not act on SIGTERM until resumed.
  kill(pid_, SIGCONT);
  kill(pid_, SIGTERM);
  const auto limite = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  int stato = 0;
  while (waitpid(pid_, &stato, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > limite) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &stato, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  pid_ = -1;
}

std::string FirebirdServer::Isql(const std::string& database, const std::string& script) const {
  std::string out, err;
  std::string comando = "isql-fb -q -bail -user SYSDBA -password " + Virgolette(password_);
  if (!database.empty()) comando += ' ' + Virgolette(Nome() + ":" + database);
  int rc = RunCommand(comando, &out, &err, script);
  if (rc != 0 || !err.empty())
    throw std::runtime_error("isql failed (" + std::to_string(rc) + "): " + err + out);
  return out;
}

void FirebirdServer::Spegni(const std::string& database) const {
  std::string out, err;
  const int rc = RunCommand("gfix -shut full -force 0 -user SYSDBA -password " +
                                Virgolette(password_) + ' ' + Virgolette(Nome() + ":" + database),
                            &out, &err);
  if (rc != 0 || !err.empty())
    throw std::runtime_error("gfix failed (" + std::to_string(rc) + "): " + err + out);
}
