#!/usr/bin/env bash
# Runs the demo (scripts/demo.sh: the program once over a configuration database, a company
# archive with four tasks, a source and three destinations) under valgrind's memcheck, then a
# start-up failure (no User folder). Fails when memcheck reports any invalid access or use of an
# uninitialised value, or a block definitely lost, or when the demo's run did not end with 0.
# No suppressions: nothing from the Firebird libraries shows up, since the engine manages its
# memory in its own pools; a report prints a ready suppression should that ever change.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
cd "$repo"
bash scripts/install-deps.sh valgrind

work="$repo/build-valgrind"
rm -rf "$work"
mkdir -p "$work"
memcheck=(valgrind --tool=memcheck --leak-check=full --show-leak-kinds=definite
  --errors-for-leak-kinds=definite --num-callers=40 --gen-suppressions=all
  --error-exitcode=99)

status=0
check() {  # check NAME LOG: no error and no definite leak in the memcheck log
  if grep -q "ERROR SUMMARY: 0 errors" "$2" &&
      ! grep -q "definitely lost: [1-9]" "$2"; then
    echo "memcheck $1: clean"
  else
    echo "memcheck $1: FAILED"
    cat "$2"
    status=1
  fi
}

echo "== the demo under memcheck"
VESSENTARIA_DEMO_RUNNER="${memcheck[*]} --log-file=$work/demo.log" bash scripts/demo.sh \
  | tee "$work/demo.out"
check demo "$work/demo.log"
if ! grep -q "^exit status: 0$" "$work/demo.out"; then
  echo "the demo's run did not end with exit status 0"
  status=1
fi

echo "== a start-up failure under memcheck"
mkdir -p "$work/senza-user"
cp build-demo/vessentaria "$work/senza-user/"
set +e
(cd "$work/senza-user" && "${memcheck[@]}" --log-file="$work/avvio.log" ./vessentaria </dev/null)
rc=$?
set -e
check start-up "$work/avvio.log"
if [ "$rc" -ne 1 ]; then
  echo "a missing User folder gave exit status $rc instead of 1"
  status=1
fi
exit $status
