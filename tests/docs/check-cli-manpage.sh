#!/usr/bin/env bash
# Every command that `reedtab-cli --help` lists has its block (".SS NAME") in the manual page,
# and every option the command's --help names appears in that block; both manual pages render
# without a warning from man.
# usage: check-cli-manpage.sh REEDTAB_CLI MAN_FOLDER
set -euo pipefail
cli=$1
folder=$2
page=$folder/reedtab-cli.1
failed=0

commands=$("$cli" --help | awk '/^commands:/ {listing = 1; next} listing && /^  [a-z]/ {print $1}')
[ -n "$commands" ] || { echo "reedtab-cli --help lists no commands" >&2; exit 1; }
for command in $commands; do
  # The block runs from its heading to the next heading.
  block=$(awk -v heading=".SS $command" '$0 == heading {inside = 1; next}
                                          /^\.S[SH] / {inside = 0} inside' "$page")
  if [ -z "$block" ]; then
    echo "reedtab-cli.1 has no block \".SS $command\" for the command $command" >&2
    failed=1
    continue
  fi
  while read -r option _; do
    [ "$option" = --help ] && continue
    escaped=${option//-/\\-}
    if ! grep -qF -- "$escaped" <<<"$block"; then
      echo "reedtab-cli.1: the block of $command does not name its option $option" >&2
      failed=1
    fi
  done < <("$cli" --complete options "$command")
done

for manual in "$folder"/*.1; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$manual" 2>&1 >/dev/null)
  if [ -n "$warnings" ]; then
    echo "$(basename "$manual"): $warnings" >&2
    failed=1
  fi
done
[ "$failed" -eq 0 ] && echo "$(wc -w <<<"$commands") commands, each with its block and options"
exit "$failed"
