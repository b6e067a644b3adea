#include "support/Relay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>
#include <vector>

namespace {

// Writes all of `n` bytes; false when the peer is gone.
bool ScriviTutto(int fd, const char* dati, ssize_t n) {
  while (n > 0) {
    const ssize_t scritti = send(fd, dati, static_cast<size_t>(n), MSG_NOSIGNAL);
    if (scritti <= 0) return false;
    dati += scritti;
    n -= scritti;
  }
  return true;
}

sockaddr_in Loopback(int porta) {
  sockaddr_in indirizzo{};
  indirizzo.sin_family = AF_INET;
  indirizzo.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  indirizzo.sin_port = htons(static_cast<uint16_t>(porta));
  return indirizzo;
}

struct Coppia {
  int client;
  int server;
  bool rispostoServer = true;  // until the client speaks first
  bool congela = false;        // after the server's first answer nothing passes
  bool congelata = false;
};

}  // namespace

Relay::Relay(int portaServer) : portaServer_(portaServer) {
  ascolto_ = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in indirizzo = Loopback(0);
  socklen_t lunghezza = sizeof indirizzo;
  if (ascolto_ < 0 || bind(ascolto_, reinterpret_cast<sockaddr*>(&indirizzo), lunghezza) != 0 ||
      listen(ascolto_, 16) != 0 ||
      getsockname(ascolto_, reinterpret_cast<sockaddr*>(&indirizzo), &lunghezza) != 0 ||
      pipe(fermo_) != 0) {
    if (ascolto_ >= 0) close(ascolto_);
    throw std::runtime_error("the relay cannot listen");
  }
  porta_ = ntohs(indirizzo.sin_port);
  filo_ = std::thread([this] { Inoltra(); });
}

Relay::~Relay() {
  const char fine = 0;
  (void)!write(fermo_[1], &fine, 1);
  filo_.join();
  close(fermo_[0]);
  close(fermo_[1]);
  close(ascolto_);
}

void Relay::Inoltra() {
  std::vector<Coppia> coppie;
  std::vector<char> dati(1 << 16);
  int connessioni = 0;
  for (;;) {
    std::vector<pollfd> attesa{{fermo_[0], POLLIN, 0}, {ascolto_, POLLIN, 0}};
    for (const Coppia& c : coppie) {
      attesa.push_back({c.client, POLLIN, 0});
      attesa.push_back({c.server, POLLIN, 0});
    }
    if (poll(attesa.data(), attesa.size(), -1) < 0) continue;
    if (attesa[0].revents) break;
    if (attesa[1].revents & POLLIN) {
      const int client = accept(ascolto_, nullptr, nullptr);
      const int server = socket(AF_INET, SOCK_STREAM, 0);
      const sockaddr_in destinazione = Loopback(portaServer_);
      if (client >= 0 && server >= 0 &&
          connect(server, reinterpret_cast<const sockaddr*>(&destinazione), sizeof destinazione) ==
              0) {
        const int n = ++connessioni;
        coppie.push_back({client, server});
        coppie.back().congela = congelaDalla_ > 0 && n >= congelaDalla_;
      } else {
        if (client >= 0) close(client);
        if (server >= 0) close(server);
      }
    }
    // The pairs polled are the first attesa.size() / 2 - 1 of the list.
    std::vector<Coppia> restanti;
    for (size_t i = 0; i + 2 < attesa.size(); i += 2) {
      Coppia c = coppie[i / 2];
      bool aperta = true;
      for (int lato = 0; lato < 2 && aperta; ++lato) {
        if (!attesa[i + 2 + static_cast<size_t>(lato)].revents) continue;
        const int da = lato == 0 ? c.client : c.server;
        const ssize_t n = recv(da, dati.data(), dati.size(), 0);
        if (n <= 0) {
          aperta = false;
          break;
        }
        // Read and dropped: both ends keep the connection and hear nothing.
        if (c.congelata) continue;
        c.congelata = c.congela && lato == 1;
        if (lato == 1 && !c.rispostoServer) ++giri_;
        c.rispostoServer = lato == 1;
        aperta = ScriviTutto(lato == 0 ? c.server : c.client, dati.data(), n);
      }
      if (aperta) {
        restanti.push_back(c);
      } else {
        close(c.client);
        close(c.server);
      }
    }
    for (size_t i = (attesa.size() - 2) / 2; i < coppie.size(); ++i) restanti.push_back(coppie[i]);
    coppie.swap(restanti);
  }
  for (const Coppia& c : coppie) {
    close(c.client);
    close(c.server);
  }
}
