#pragma once

#include <atomic>
#include <string>
#include <thread>

// A relay on 127.0.0.1 in front of a server's port that forwards every connection unchanged and
// counts its round trips: the times a server answers its client, each a wait of one round trip
// on a real link (the client's last packet, which nothing answers, waits for nothing). Started
// by the constructor
// (throws std::runtime_error when it cannot listen), stopped by the destructor.
class Relay {
 public:
  explicit Relay(int portaServer);
  Relay(const Relay&) = delete;
  Relay& operator=(const Relay&) = delete;
  ~Relay();

  // The server part of a database name through the relay: "localhost/<port>".
  std::string Nome() const { return "localhost/" + std::to_string(porta_); }
  // Round trips of every connection so far.
  long long Giri() const { return giri_.load(); }
  // A server that freezes in the middle of a login: from the `n`th connection on (counted from 1,
  // the ones before included), a new connection gets the server's first answer and nothing more in
  // either direction; both sockets stay open. 0: none frozen.
  void SetCongelaDalla(int n) { congelaDalla_ = n; }

 private:
  void Inoltra();

  int portaServer_;
  int ascolto_ = -1;
  int porta_ = 0;
  int fermo_[2] = {-1, -1};  // written to stop the forwarding thread
  std::atomic<long long> giri_{0};
  std::atomic<int> congelaDalla_{0};
  std::thread filo_;
};
