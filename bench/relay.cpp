// A wide-area link on the loopback interface, for the benchmark: listens on 127.0.0.1 and forwards
// every accepted connection to 127.0.0.1:TARGET_PORT, holding each chunk it reads for a fixed delay
// before writing it on, in each direction (a delay of 5 ms makes a 10 ms round trip). Chunks keep
// their order; there is no limit on throughput, since a chunk read while earlier ones wait is
// queued behind them and not delayed further.
//
//   bench_relay TARGET_PORT [DELAY_MS [LISTEN_PORT]]     defaults: 5 ms, a free port
//
// Prints "port N" once listening, then for each connection "open ID" and, when both directions
// have ended, "closed ID UP_BYTES UP_CHUNKS DOWN_BYTES DOWN_CHUNKS ROUND_TRIPS" (up is towards the
// server). ROUND_TRIPS counts the times the server answered the client: each is a wait of one
// round trip on a real link (a last packet that nothing answers, as the disconnect, waits for
// nothing). Runs until killed.
// With BENCH_RELAY_OPS=1 in the environment it also prints, for every chunk, "chunk ID up|down
// BYTES WORD" with WORD the chunk's first 32-bit big-endian word: the operation code of a packet
// of Firebird's wire protocol, readable only while the server's WireCrypt is Disabled. "up*"
// marks a chunk that starts a round trip.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Orologio = std::chrono::steady_clock;

std::mutex uscitaMutex;

void Scrivi(const std::string& riga) {
  std::lock_guard<std::mutex> blocco(uscitaMutex);
  std::fputs(riga.c_str(), stdout);
  std::fflush(stdout);
}

struct Pezzo {
  Orologio::time_point scadenza;
  std::vector<char> dati;  // empty: the sender closed its side
};

// One direction of a connection: a reader that stamps each chunk and a writer that sends it on
// when its time comes.
struct Senso {
  int da = -1;
  int a = -1;
  std::mutex mutex;
  std::condition_variable arrivato;
  std::deque<Pezzo> coda;
  long long byte = 0;
  long long pezzi = 0;
};

struct Connessione {
  int id = 0;
  bool operazioni = false;  // print each chunk's first word
  std::chrono::microseconds ritardo{0};
  Senso su;                    // client to server
  Senso giu;                   // server to client
  std::atomic<int> ultimo{1};  // who spoke last: 0 the client, 1 the server
  std::atomic<long long> giri{0};
};

void Leggi(Connessione& c, Senso& s, int chi) {
  std::vector<char> buffer(65536);
  for (;;) {
    const ssize_t n = recv(s.da, buffer.data(), buffer.size(), 0);
    if (n < 0 && errno == EINTR) continue;
    Pezzo pezzo{Orologio::now() + c.ritardo, {}};
    if (n > 0) {
      pezzo.dati.assign(buffer.data(), buffer.data() + n);
      const bool turno = c.ultimo.exchange(chi) != chi;
      const bool giro = turno && chi == 0;
      if (turno && chi == 1) ++c.giri;
      if (c.operazioni) {
        const auto* b = reinterpret_cast<const unsigned char*>(buffer.data());
        const unsigned long parola =
            n >= 4 ? (static_cast<unsigned long>(b[0]) << 24 | b[1] << 16 | b[2] << 8 | b[3]) : 0;
        Scrivi("chunk " + std::to_string(c.id) + (chi == 0 ? (giro ? " up* " : " up ") : " down ") +
               std::to_string(n) + " " + std::to_string(parola) + "\n");
      }
      s.byte += n;
      ++s.pezzi;
    }
    {
      std::lock_guard<std::mutex> blocco(s.mutex);
      s.coda.push_back(std::move(pezzo));
    }
    s.arrivato.notify_one();
    if (n <= 0) return;
  }
}

void Inoltra(Senso& s) {
  for (;;) {
    Pezzo pezzo;
    {
      std::unique_lock<std::mutex> blocco(s.mutex);
      s.arrivato.wait(blocco, [&] { return !s.coda.empty(); });
      pezzo = std::move(s.coda.front());
      s.coda.pop_front();
    }
    std::this_thread::sleep_until(pezzo.scadenza);
    if (pezzo.dati.empty()) {
      shutdown(s.a, SHUT_WR);
      return;
    }
    size_t inviati = 0;
    while (inviati < pezzo.dati.size()) {
      const ssize_t n =
          send(s.a, pezzo.dati.data() + inviati, pezzo.dati.size() - inviati, MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        // The receiver is gone: stop the reader of this direction too, and drain its queue.
        shutdown(s.da, SHUT_RDWR);
        shutdown(s.a, SHUT_RDWR);
        for (;;) {
          std::unique_lock<std::mutex> blocco(s.mutex);
          s.arrivato.wait(blocco, [&] { return !s.coda.empty(); });
          const bool fine = s.coda.front().dati.empty();
          s.coda.pop_front();
          if (fine) return;
        }
      }
      inviati += static_cast<size_t>(n);
    }
  }
}

void SenzaAttesa(int fd) {
  int uno = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &uno, sizeof uno);
}

int Collega(int porta) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  sockaddr_in indirizzo{};
  indirizzo.sin_family = AF_INET;
  indirizzo.sin_port = htons(static_cast<uint16_t>(porta));
  indirizzo.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&indirizzo), sizeof indirizzo) != 0) {
    close(fd);
    return -1;
  }
  SenzaAttesa(fd);
  return fd;
}

void Servi(std::unique_ptr<Connessione> c, int cliente, int portaServer) {
  const int server = Collega(portaServer);
  if (server < 0) {
    Scrivi("connection " + std::to_string(c->id) + ": cannot reach port " +
           std::to_string(portaServer) + ": " + std::strerror(errno) + "\n");
    close(cliente);
    return;
  }
  SenzaAttesa(cliente);
  Scrivi("open " + std::to_string(c->id) + "\n");
  c->su.da = cliente;
  c->su.a = server;
  c->giu.da = server;
  c->giu.a = cliente;
  std::thread leggiSu(Leggi, std::ref(*c), std::ref(c->su), 0);
  std::thread leggiGiu(Leggi, std::ref(*c), std::ref(c->giu), 1);
  std::thread scriviSu(Inoltra, std::ref(c->su));
  std::thread scriviGiu(Inoltra, std::ref(c->giu));
  leggiSu.join();
  leggiGiu.join();
  scriviSu.join();
  scriviGiu.join();
  close(cliente);
  close(server);
  Scrivi("closed " + std::to_string(c->id) + " " + std::to_string(c->su.byte) + " " +
         std::to_string(c->su.pezzi) + " " + std::to_string(c->giu.byte) + " " +
         std::to_string(c->giu.pezzi) + " " + std::to_string(c->giri.load()) + "\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 4) {
    std::fprintf(stderr, "usage: %s TARGET_PORT [DELAY_MS [LISTEN_PORT]]\n", argv[0]);
    return 2;
  }
  const int portaServer = std::atoi(argv[1]);
  const double ritardoMs = argc > 2 ? std::atof(argv[2]) : 5.0;
  const int porta = argc > 3 ? std::atoi(argv[3]) : 0;
  signal(SIGPIPE, SIG_IGN);
  const char* ops = std::getenv("BENCH_RELAY_OPS");
  const bool operazioni = ops != nullptr && std::string(ops) == "1";

  const int ascolto = socket(AF_INET, SOCK_STREAM, 0);
  int uno = 1;
  setsockopt(ascolto, SOL_SOCKET, SO_REUSEADDR, &uno, sizeof uno);
  sockaddr_in indirizzo{};
  indirizzo.sin_family = AF_INET;
  indirizzo.sin_port = htons(static_cast<uint16_t>(porta));
  indirizzo.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t lunghezza = sizeof indirizzo;
  if (ascolto < 0 || bind(ascolto, reinterpret_cast<sockaddr*>(&indirizzo), lunghezza) != 0 ||
      listen(ascolto, 64) != 0 ||
      getsockname(ascolto, reinterpret_cast<sockaddr*>(&indirizzo), &lunghezza) != 0) {
    std::perror("listen");
    return 1;
  }
  Scrivi("port " + std::to_string(ntohs(indirizzo.sin_port)) + "\n");

  int ultimoId = 0;
  for (;;) {
    const int cliente = accept(ascolto, nullptr, nullptr);
    if (cliente < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      std::perror("accept");
      return 1;
    }
    auto c = std::make_unique<Connessione>();
    c->id = ++ultimoId;
    c->operazioni = operazioni;
    c->ritardo = std::chrono::microseconds(static_cast<long long>(ritardoMs * 1000));
    std::thread(Servi, std::move(c), cliente, portaServer).detach();
  }
}
