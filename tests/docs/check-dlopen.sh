#!/usr/bin/env bash
# Every library the programs open with dlopen is declared with reedtab_runtime_library, so that
# the Debian package depends on it: each dlopen in src/ must open REEDTAB_<NAME>_SONAME with a
# declared NAME.
# usage: check-dlopen.sh SOURCE_DIR "NAME;NAME..."
set -euo pipefail
cd "$1"
IFS=';' read -r -a declared <<<"$2"
failed=0
while IFS= read -r line; do
  name=$(sed -n 's/.*dlopen( *REEDTAB_\([A-Z0-9_]*\)_SONAME.*/\1/p' <<<"$line")
  if [ -z "$name" ] || [[ " ${declared[*]} " != *" $name "* ]]; then
    echo "$line: opens a library not declared with reedtab_runtime_library" >&2
    failed=1
  fi
done < <(grep -rn --include='*.cpp' --include='*.h' -E '\bdlopen *\(' src)
[ "$failed" -eq 0 ] && echo "every dlopen opens a declared library (${declared[*]})"
exit "$failed"
