#!/usr/bin/env bash
# The program against the servers that sites run: Debian's own Firebird 3 server as its package
# installs it (a random SYSDBA password), and the Firebird 4 server of Debian's next release in
# a chroot of that release. Both are reached over TCP and stopped at the end. As root on Debian 12.
#
#   bash scripts/ci-servers.sh [build folder]      (default: build, made when missing)
#   bash scripts/ci-servers.sh --chroot            (only makes the chroot)
#
# The chroot is kept in /var/cache/vessentaria/fb4-chroot (VESSENTARIA_CACHE changes the folder)
# and made again only when missing; the first run downloads it from the mirror that apt uses.
set -euo pipefail
cd "$(dirname "$0")/.."
radice=$PWD
build=${1:-build}
cache=${VESSENTARIA_CACHE:-/var/cache/vessentaria}
chroot_fb4=$cache/fb4-chroot
porta_fb4=${VESSENTARIA_FB4_PORT:-3054}
mkdir -p "$cache"
bash scripts/install-deps.sh debootstrap

# One run at a time on a machine: both servers and the chroot are shared.
exec 9>"$cache/ci-servers.lock"
flock 9

montati=()
fb3_avviato=0
fb4_pid=
prove=
dati_fb3=
dati_fb4=

smonta() {
  local i
  for ((i = ${#montati[@]} - 1; i >= 0; i--)); do
    umount "${montati[i]}" 2>/dev/null || umount -l "${montati[i]}" 2>/dev/null || true
  done
  montati=()
}

monta() {  # chroot folder: /proc and /dev, for as long as something runs inside
  mount -t proc proc "$1/proc"
  montati+=("$1/proc")
  mount --bind /dev "$1/dev"
  montati+=("$1/dev")
}

# Never follows a mount out of the folder: a chroot still holding the machine's /dev is only
# unmounted, then removed.
rimuovi_chroot() {
  local d=$1
  [ -d "$d" ] || return 0
  umount "$d/proc" 2>/dev/null || true
  umount "$d/dev" 2>/dev/null || true
  if findmnt -rn -o TARGET | grep -q "^$d/"; then
    echo "ci-servers: $d still has mounts; not removed" >&2
    return 1
  fi
  rm -rf --one-file-system "$d"
}

ferma_tutto() {
  local stato=$?
  set +e
  [ -n "$prove" ] && kill -TERM "$prove" 2>/dev/null && wait "$prove" 2>/dev/null
  if [ -n "$fb4_pid" ] && kill -0 "$fb4_pid" 2>/dev/null; then
    kill -TERM "$fb4_pid"
    for _ in $(seq 1 20); do kill -0 "$fb4_pid" 2>/dev/null || break; sleep 0.5; done
    kill -KILL "$fb4_pid" 2>/dev/null
    wait "$fb4_pid" 2>/dev/null
  fi
  [ -n "$dati_fb4" ] && rm -rf --one-file-system "$dati_fb4"
  smonta
  if [ "$fb3_avviato" = 1 ]; then
    /etc/init.d/firebird3.0 stop >/dev/null
  fi
  [ -n "$dati_fb3" ] && rm -rf --one-file-system "$dati_fb3"
  exit "$stato"
}
trap ferma_tutto EXIT
trap 'exit 130' INT TERM

# The Debian mirror that apt already uses: the first "deb" source of the main archive.
mirror_apt() {
  local m
  m=$(cat /etc/apt/sources.list.d/*.sources 2>/dev/null |
      awk 'tolower($1)=="uris:" {for (i = 2; i <= NF; i++) print $i}' |
      grep -v -e security -e '^cdrom:' | head -n 1 || true)
  if [ -z "$m" ] && [ -f /etc/apt/sources.list ]; then
    m=$(awk '$1=="deb" && $0 !~ /security/ {for (i = 2; i <= NF; i++) if ($i ~ /:\/\//) {print $i; exit}}' \
        /etc/apt/sources.list)
  fi
  [ -n "$m" ] || { echo "ci-servers: no Debian mirror in the apt sources" >&2; return 1; }
  echo "$m"
}

prepara_chroot() {
  [ -f "$chroot_fb4/.pronto" ] && return 0
  local nuovo=$chroot_fb4.nuovo mirror
  mirror=$(mirror_apt)
  if [ ! -f "$nuovo/.scaricato" ]; then
    rimuovi_chroot "$nuovo"
    echo "== chroot of Debian trixie from $mirror (a few minutes, once)"
    debootstrap --variant=minbase trixie "$nuovo" "$mirror" >"$cache/debootstrap.log" 2>&1 ||
      { tail -n 20 "$cache/debootstrap.log" >&2; return 1; }
    touch "$nuovo/.scaricato"
  fi
  # Installing must not start the server: it is started below, on its own port.
  printf '#!/bin/sh\nexit 101\n' >"$nuovo/usr/sbin/policy-rc.d"
  chmod 755 "$nuovo/usr/sbin/policy-rc.d"
  monta "$nuovo"
  chroot "$nuovo" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
    firebird4.0-server >"$cache/apt-fb4.log" 2>&1 ||
    { smonta; tail -n 20 "$cache/apt-fb4.log" >&2; return 1; }
  smonta
  rimuovi_chroot "$chroot_fb4"
  touch "$nuovo/.pronto"
  mv "$nuovo" "$chroot_fb4"
}

attendi_porta() {  # port: true once it accepts connections, within 30 s
  for _ in $(seq 1 60); do
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return 0
    sleep 0.5
  done
  echo "ci-servers: nothing answers on port $1" >&2
  return 1
}

avvia_fb3() {
  if ! pidof /usr/sbin/fbguard >/dev/null; then
    /etc/init.d/firebird3.0 start >/dev/null
    fb3_avviato=1
  fi
  attendi_porta 3050
  dati_fb3=$(mktemp -d /var/lib/firebird/3.0/data/vessentaria-ci.XXXXXX)
  chown firebird:firebird "$dati_fb3"
}

avvia_fb4() {
  prepara_chroot
  local etc=$chroot_fb4/etc
  # Its own port, on loopback only ("localhost" needs a hosts file, which debootstrap leaves out).
  [ -f "$etc/hosts" ] || printf '127.0.0.1\tlocalhost\n' >"$etc/hosts"
  echo "RemoteServicePort = $porta_fb4" >"$etc/firebird/4.0/service-port.conf"
  sed -i 's/^RemoteBindAddress = .*/RemoteBindAddress = 127.0.0.1/' "$etc/firebird/4.0/firebird.conf"
  monta "$chroot_fb4"
  dati_fb4=$(mktemp -d "$chroot_fb4/var/lib/firebird/4.0/data/vessentaria-ci.XXXXXX")
  chroot "$chroot_fb4" chown firebird:firebird "${dati_fb4#"$chroot_fb4"}"
  chroot --userspec=firebird:firebird "$chroot_fb4" /usr/lib/firebird/4.0/bin/firebird \
    >"$cache/fb4-server.log" 2>&1 &
  fb4_pid=$!
  attendi_porta "$porta_fb4"
}

if [ "$build" = --chroot ]; then
  prepara_chroot
  exit 0
fi
if [ ! -x "$build/tests/test_servers" ]; then
  cmake -S . -B "$build" >/dev/null
  cmake --build "$build" -j2 --target test_servers vessentaria
fi

echo "== Debian's Firebird 3 server"
avvia_fb3
echo "== Firebird 4 of Debian trixie, port $porta_fb4"
avvia_fb4

export VESSENTARIA_FB3_SERVER=localhost
export VESSENTARIA_FB3_DATI=$dati_fb3/
export VESSENTARIA_FB3_SYSDBA=/etc/firebird/3.0/SYSDBA.password
export VESSENTARIA_FB4_SERVER=localhost/$porta_fb4
export VESSENTARIA_FB4_DATI=${dati_fb4#"$chroot_fb4"}/
export VESSENTARIA_FB4_RADICE=$chroot_fb4
export VESSENTARIA_FB4_SYSDBA=$chroot_fb4/etc/firebird/4.0/SYSDBA.password
# In the background, so that a signal reaches the trap at once rather than after the tests.
"$radice/$build/tests/test_servers" &
prove=$!
wait "$prove"
