#!/bin/bash
# The manual page and the bash completion against the player's own --help, so that they cannot
# drift apart: both name exactly the options it lists, the page renders without warnings, and
# the completion completes options, and file names by extension after --video and --timeline.
# Usage: manual_and_completion.sh PLAYER PAGE COMPLETION
player=$1 page=$2 completion=$3
status=0
fail() { echo "FAIL: $*" >&2; status=1; }
# Compares two sorted word lists, naming the words only one of them has.
same() { [ "$2" = "$3" ] || fail "$1: $(diff <(echo "$2") <(echo "$3") | grep '^[<>]' | tr '\n' ' ')"; }

options=$("$player" --help | grep -oE '^  --[a-z][a-z-]*' | tr -d ' ' | sort)
[ "$(wc -l <<<"$options")" -ge 10 ] || fail "too few options in --help: $options"

warnings=$(man --warnings -l "$page" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "the page renders with warnings: $warnings"
in_page=$(MANWIDTH=400 man -l "$page" 2>/dev/null | col -b | grep -oE -- '--[a-z][a-z-]*' | sort -u)
same "--help (<) against the page (>)" "$options" "$in_page"

# Completes the words given, the last one being completed; prints one candidate a line.
complete_words() {
    (cd "$dir" && source "$completion" && COMP_WORDS=("$@") && COMP_CWORD=$(($# - 1)) && _tarvel &&
        printf '%s\n' "${COMPREPLY[@]}" | sort)
}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
mkdir "$dir/demo" && touch "$dir/show.mp4" "$dir/line.svg" "$dir/notes.txt"
same "--help (<) against the completion of -- (>)" "$options" "$(complete_words tarvel --)"
same "tarvel --w" "--watch" "$(complete_words tarvel --w)"
same "tarvel --video" "$(printf 'demo\nshow.mp4')" "$(complete_words tarvel --video '')"
same "tarvel --timeline=" "$(printf 'demo\nline.svg')" "$(complete_words tarvel --timeline = '')"
same "tarvel DEMO_DIR" "demo" "$(complete_words tarvel --watch '')"
exit $status
