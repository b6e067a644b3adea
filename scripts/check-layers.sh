#!/usr/bin/env bash
# Fails when a folder of src/ includes a header of a folder that is not below it. Each folder
# may include its own headers and those of the folders listed for it, nothing else of ours.
set -euo pipefail
cd "$(dirname "$0")/../src"
declare -A below=(
  [platform]=""
  [db]=""
  [opener]="db platform"
  [taskbase]="opener db platform"
  [tasks]="taskbase opener db platform"
  [transfer]="taskbase opener db platform"
  [app]="tasks transfer taskbase opener db platform"
)
fail=0
for dir in */; do
  dir=${dir%/}
  if [ -z "${below[$dir]+set}" ]; then
    echo "src/$dir: a folder that has no place in the layers"
    fail=1
    continue
  fi
  allowed=" $dir ${below[$dir]} "
  while IFS=: read -r file line text; do
    target=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^/"]+)\/.*/\1/' <<<"$text")
    [ "$target" = "$text" ] && continue
    if [[ "$allowed" != *" $target "* ]]; then
      echo "src/$dir/${file#"$dir"/}:$line includes from $target/: $text"
      fail=1
    fi
  done < <(grep -rn -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$dir" || true)
done
[ "$fail" -eq 0 ] && echo "layers: every include points downwards"
exit "$fail"
