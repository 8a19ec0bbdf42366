#!/usr/bin/env bash
# Every library the programs open with dlopen is one the Debian package depends on: each
# REEDTAB_<NAME>_SONAME the code uses must name a library whose shared-object name reedtab_soname
# recorded (lib<name>.so...), and no dlopen may take a name written in the code.
# usage: check-dlopen.sh SOURCE_DIR "SONAME;SONAME..."
set -euo pipefail
cd "$1"
IFS=';' read -r -a recorded <<<"$2"
failed=0
while IFS= read -r line; do
  echo "$line: dlopen of a name written in the code; take it from reedtab_soname" >&2
  failed=1
done < <(grep -rn --include='*.cpp' --include='*.h' -E '\bdlopen *\( *"' src || true)
for macro in $(grep -rhoE --include='*.cpp' --include='*.h' 'REEDTAB_[A-Z0-9]+_SONAME' src | sort -u); do
  name=$(sed 's/^REEDTAB_\(.*\)_SONAME$/\1/' <<<"$macro" | tr 'A-Z' 'a-z')
  found=""
  for soname in "${recorded[@]}"; do
    [[ $soname == lib"$name".so* || $soname == lib"$name"-* ]] && found=$soname
  done
  if [ -z "$found" ]; then
    echo "$macro: no library lib$name recorded by reedtab_soname for the package" >&2
    failed=1
  else
    echo "$macro: $found"
  fi
done
exit "$failed"
