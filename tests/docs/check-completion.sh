#!/usr/bin/env bash
# The bash completion of reedtab-cli, run as bash runs it: commands, a command's options, the
# choices of --mode, the built-in tuning names (quoted), MIDI files for file arguments and
# SoundFonts for --soundfont.
# usage: check-completion.sh REEDTAB_CLI COMPLETION_SCRIPT
set -uo pipefail
cli=$(realpath "$1")
source "$2"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir songs
touch a.mid b.kar c.txt d.sf2 songs/e.mid
failed=0

# Completes the words given (the last one is the word being typed), one candidate per line.
candidates() {
  COMP_WORDS=("$cli" "$@")
  COMP_CWORD=$#
  COMPREPLY=()
  _reedtab_cli
  printf '%s\n' "${COMPREPLY[@]}" | sort
}
expect() {
  local name=$1 expected=$2 got
  shift 2
  got=$(candidates "$@")
  if [ "$got" != "$expected" ]; then
    printf '%s: completing "%s"\nexpected:\n%s\ngot:\n%s\n' "$name" "$*" "$expected" "$got" >&2
    failed=1
  fi
}

commands=$("$cli" --complete commands | sort)
expect "every command" "$(printf '%s\n' "$commands" --help --version | sort)" ""
expect "commands by prefix" "$(grep '^t' <<<"$commands")" "t"
expect "options of tab" "$(printf '%s\n' --mode | sort)" tab a.mid --mo
expect "choices of --mode" "$(printf '%s\n' bb chromatic diatonic eb notes | sort)" \
  tab a.mid --mode ""
expect "a diatonic tuning, quoted" 'Major\ Diatonic\ \(Richter\)' notes --diatonic "Major D"
expect "MIDI files and folders" "$(printf '%s\n' a.mid b.kar songs | sort)" info ""
expect "into a folder" "songs/e.mid" info songs/
expect "SoundFonts" "$(printf '%s\n' d.sf2 songs | sort)" render a.mid out.wav --soundfont ""
expect "a number is not completed" "" tab a.mid --key ""
tunings=$("$cli" --complete tunings chromatic | wc -l)
offered=$(candidates notes --chromatic "" | grep -vc '^songs$')
if [ "$offered" -ne "$tunings" ]; then
  echo "--chromatic offers $offered names for $tunings built-in tunings" >&2
  failed=1
fi
[ "$failed" -eq 0 ] && echo "completion: commands, options, choices, tunings and files complete"
exit "$failed"
