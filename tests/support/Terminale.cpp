#include "support/Terminale.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <thread>

Terminale::Terminale(const std::string& programma) {
  master_ = posix_openpt(O_RDWR | O_NOCTTY);
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
    throw std::runtime_error("no pseudo-terminal");
  const std::string slave = ptsname(master_);
  pid_ = fork();
  if (pid_ == 0) {
    setsid();
    int fd = open(slave.c_str(), O_RDWR);
    if (fd < 0) _exit(126);
    dup2(fd, 0);
    dup2(fd, 1);
    dup2(fd, 2);
    if (fd > 2) close(fd);
    close(master_);
    execl(programma.c_str(), programma.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
}

Terminale::~Terminale() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  close(master_);
}

bool Terminale::Attendi(const std::string& testo, int secondi) {
  const auto limite = std::chrono::steady_clock::now() + std::chrono::seconds(secondi);
  while (schermo_.find(testo, letto_) == std::string::npos) {
    if (std::chrono::steady_clock::now() > limite) return false;
    pollfd p{master_, POLLIN, 0};
    if (poll(&p, 1, 100) > 0) {
      char buffer[4096];
      ssize_t n = read(master_, buffer, sizeof(buffer));
      if (n <= 0) return false;
      schermo_.append(buffer, static_cast<size_t>(n));
    }
  }
  letto_ = schermo_.find(testo, letto_) + testo.size();
  return true;
}

void Terminale::Scrivi(const std::string& tasti) {
  if (write(master_, tasti.data(), tasti.size()) != static_cast<ssize_t>(tasti.size()))
    throw std::runtime_error("write to the terminal failed");
}

bool Terminale::InEsecuzione() {
  return waitpid(pid_, nullptr, WNOHANG) == 0;
}

int Terminale::Esito() {
  for (int i = 0; i < 200; ++i) {
    int stato = 0;
    if (waitpid(pid_, &stato, WNOHANG) == pid_) {
      pid_ = -1;
      return WIFEXITED(stato) ? WEXITSTATUS(stato) : 128 + WTERMSIG(stato);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return -1;
}
