#!/usr/bin/env bash
# Checks the benchmark's relay against an echo server on 127.0.0.1: a round trip through it takes
# at least twice the delay and not much more, 8 MiB of random bytes come back intact and in order
# without waiting a delay per chunk, two connections work side by side, and the relay counts one
# round trip per question and answer.
#
#   bench/relay-check.sh PATH-TO-bench_relay [DELAY_MS]      default delay: 20 ms
set -euo pipefail
relay="$1"
ritardo="${2:-20}"
T="$(mktemp -d)"
pids=()
fine() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -rf "$T"
}
trap fine EXIT

aspetta_porta() {  # aspetta_porta FILE: the port printed on the file's first line
  for _ in $(seq 100); do
    if [ -s "$1" ] && head -1 "$1" | grep -q '^port '; then head -1 "$1" | cut -d' ' -f2; return; fi
    sleep 0.05
  done
  echo "no port in $1" >&2
  exit 1
}

python3 -u - >"$T/eco" <<'PY' &
import socket, threading
s = socket.socket()
s.bind(("127.0.0.1", 0))
s.listen(8)
print("port", s.getsockname()[1])
def eco(c):
    c.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    while True:
        b = c.recv(65536)
        if not b:
            break
        c.sendall(b)
    c.close()
while True:
    c, _ = s.accept()
    threading.Thread(target=eco, args=(c,), daemon=True).start()
PY
pids+=($!)
"$relay" "$(aspetta_porta "$T/eco")" "$ritardo" >"$T/relay" &
pids+=($!)
porta="$(aspetta_porta "$T/relay")"

python3 - "$porta" "$ritardo" <<'PY'
import os, socket, sys, threading, time
porta, ritardo = int(sys.argv[1]), float(sys.argv[2]) / 1000
errori = []

def ricevi(s, n):
    b = bytearray()
    while len(b) < n:
        pezzo = s.recv(n - len(b))
        if not pezzo:
            raise SystemExit("connection closed early")
        b += pezzo
    return bytes(b)

a = socket.create_connection(("127.0.0.1", porta))
b = socket.create_connection(("127.0.0.1", porta))
for s in (a, b):
    s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)

# 20 questions and answers on each connection, taking turns.
tempi = []
for i in range(20):
    for s in (a, b):
        t = time.monotonic()
        s.sendall(bytes([i]))
        if ricevi(s, 1) != bytes([i]):
            errori.append("wrong echo byte")
        tempi.append(time.monotonic() - t)
tempi.sort()
minimo, mediana = tempi[0], tempi[len(tempi) // 2]
print(f"round trip: min {minimo * 1000:.1f} ms, median {mediana * 1000:.1f} ms, delay {ritardo * 1000:.0f} ms each way")
if minimo < 2 * ritardo:
    errori.append(f"a round trip took {minimo * 1000:.1f} ms, less than twice the delay")
if mediana > 3 * ritardo:
    errori.append(f"the median round trip {mediana * 1000:.1f} ms is over three times the delay")
b.close()

# 8 MiB sent while reading the echo: intact, in order, and in far less time than a delay per chunk.
dati = os.urandom(8 << 20)
def invia():
    for i in range(0, len(dati), 4096):
        a.sendall(dati[i:i + 4096])
t = time.monotonic()
mittente = threading.Thread(target=invia)
mittente.start()
ritorno = ricevi(a, len(dati))
mittente.join()
durata = time.monotonic() - t
print(f"8 MiB through and back: {durata:.2f} s")
if ritorno != dati:
    errori.append("the bytes came back changed or out of order")
if durata > 40 * ritardo:
    errori.append(f"8 MiB took {durata:.2f} s: the relay limits throughput")
a.close()
for e in errori:
    print("FAILED:", e)
sys.exit(1 if errori else 0)
PY

# Both connections closed: the relay reports 20 round trips for the one that only asked and got
# answers, and at least 8 MiB each way for the other.
for _ in $(seq 100); do [ "$(grep -c '^closed' "$T/relay")" -ge 2 ] && break; sleep 0.05; done
cat "$T/relay"
awk '$1 == "closed" { if ($7 == 20 && $3 == 20 && $5 == 20) domande = 1
                      if ($3 >= 8388608 + 20 && $5 >= 8388608 + 20) massa = 1 }
     END { if (!domande) print "FAILED: no connection counted 20 round trips of one byte each way"
           if (!massa) print "FAILED: no connection counted 8 MiB each way"
           exit !(domande && massa) }' "$T/relay"
echo "relay check passed"
