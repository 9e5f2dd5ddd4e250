#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The benchmarks: WordNet and GCIDE open time, per-word lookup time (engine alone and through
# the workflow run), the window's lookup (time, event-loop pauses, input waits, memory),
# end-to-end words per second of `vocabulon define` on a 10,000-word text, peak memory, and the
# same words through sdcv and dict/dictd when they are installed.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh >/dev/null

bench=build/bench/vocabulon-bench
vocabulon=build/vocabulon
text=bench/data/english-10000.txt
work=$(mktemp -d)
dictd_pid=""
cleanup() { [ -n "$dictd_pid" ] && kill "$dictd_pid" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT

export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
export VOCABULON_SYSTEM_ROOT="$work/root"
mkdir -p "$HOME" "$VOCABULON_SYSTEM_ROOT/System/Library/Automator"
cp -r "build/root/System/Library/Automator/Get Definition of Word.action" "$VOCABULON_SYSTEM_ROOT/System/Library/Automator/"
"$vocabulon" import /usr/share/dictd/wn.index /usr/share/dictd/gcide.index >/dev/null
dicts="$VOCABULON_SYSTEM_ROOT/Library/Dictionaries"
# Only root imports into the machine's folder; anyone else into their own.
[ "$(id -u)" -eq 0 ] || dicts="$XDG_DATA_HOME/vocabulon/Dictionaries"
wn="$dicts/WordNet (r) 3.0 (2006).dictionary"
gcide="$dicts/The Collaborative International Dictionary of English v.0.48.dictionary"
words=$(wc -w < "$text")

calc() { awk "BEGIN { printf \"%.6f\", $1 }"; }
field() { sed -n "s/.*$1=\([0-9.]*\).*/\1/p" | head -1; }
median_of_runs() {  # median of the open time over 7 fresh processes
  for _ in 1 2 3 4 5 6 7; do "$bench" open "$1" | field open_ms; done | sort -n | sed -n 4p
}

echo "== Open (median of 7 fresh processes)"
for name in wn gcide; do
  path=${!name}
  printf '%-6s open %s ms, %s\n' "$name" "$(median_of_runs "$path")" "$("$bench" open "$path" | grep -o 'entries=.*')"
done

echo "== Words of $text defined: by their own entries (before base forms) and with base forms"
for name in wn gcide; do
  "$bench" forms "${!name}" "$text" "$work/$name-forms.txt" | awk -v name="$name" '{
    for (i = 1; i <= NF; i++) { split($i, kv, "="); v[kv[1]] = kv[2] }
    printf "%-6s before %s, after %s (of %s words; from other headwords: hunspell %d, irregular %d, rule %d, accent %d)\n",
      name, v["own_share"], v["defined_share"], v["words"], v["hunspell"], v["irregular"], v["rule"], v["accent"] }'
done

echo "== Per-word lookup, warm, words of $text"
for name in wn gcide; do
  echo "-- $name"
  "$bench" lookup "${!name}" "$text"
done

# Under Xvfb the window is a real X11 client, and key presses sent to it from a second
# connection time how long input waits during a lookup (input_wait_ms).
window_bench=("${bench}-window")
if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null; then
  window_bench=(xvfb-run -a -s "-screen 0 1280x1024x24" "${bench}-window")
fi
if [ -z "${BENCH_SKIP_WINDOW:-}" ]; then
echo "== The window: the shown window looking up a text, dictionary open and warm"
echo "   (time from Define to the last block, median of 3 runs, 1 for 10,000 words; longest"
echo "   pause of the event loop; longest wait of a key press; peak memory of the process)"
for spec in "wn 2000 3" "gcide 2000 3" "gcide 10000 1"; do
  read -r name count runs <<< "$spec"
  printf '%-6s %s\n' "$name" "$("${window_bench[@]}" "$(basename "${!name}" .dictionary)" "$text" "$count" "$runs" 2>/dev/null)"
done
fi

# End to end, in interleaved rounds: each round runs every contender once on the same words,
# so that a slow moment of the machine falls on all of them; ratios are taken per round and
# reported as the median and the range over the rounds.
rounds=${ROUNDS:-5}
"$bench" words "$text" > "$work/words.txt"
looked_up=$(wc -l < "$work/words.txt")   # the tokens define looks up, not wc -w
for copies in 10 100; do
  for _ in $(seq "$copies"); do cat "$text"; done > "$work/text-$copies.txt"
done
wn_title=$(basename "$wn" .dictionary)
# The dictzip path: the same bundle without its prepared copy.
cp -r "$wn" "$dicts/WordNet dictzip.dictionary"
rm -f "$dicts/WordNet dictzip.dictionary/"*.prepared
floor=build/bench/vocabulon-bench-floor
have_sdcv=""
if command -v sdcv >/dev/null; then
  have_sdcv=1
  mkdir -p "$work/stardict" "$work/stardict-gcide"
  "$bench" stardict /usr/share/dictd/wn.index "$work/stardict" >/dev/null
  "$bench" stardict /usr/share/dictd/gcide.index "$work/stardict-gcide" >/dev/null
fi
seconds_of() { "$bench" exec -- sh -c "$1" | field seconds; }
declare -A times
record() { times[$1]+="$2 "; }
echo "== End to end, $rounds interleaved rounds; $looked_up words looked up in $text (${words} by wc -w)"
for round in $(seq "$rounds"); do
  record wn_forms "$(seconds_of "\"$vocabulon\" define -d \"$wn_title\" - < \"$text\" > /dev/null")"
  record wn_exact "$(seconds_of "\"$vocabulon\" define --exact -d \"$wn_title\" - < \"$text\" > /dev/null")"
  record wn_dictzip "$(seconds_of "\"$vocabulon\" define -d \"WordNet dictzip\" - < \"$text\" > /dev/null")"
  record floor_10k "$(seconds_of "\"$floor\" \"$wn/wn.index\" \"$wn/wn.dict.prepared\" < \"$text\" > /dev/null")"
  record wn_100k "$(seconds_of "\"$vocabulon\" define -d \"$wn_title\" - < \"$work/text-10.txt\" > /dev/null")"
  record floor_100k "$(seconds_of "\"$floor\" \"$wn/wn.index\" \"$wn/wn.dict.prepared\" < \"$work/text-10.txt\" > /dev/null")"
  record one_word "$(seconds_of "\"$vocabulon\" define -d \"$wn_title\" cat > /dev/null")"
  if [ -n "$have_sdcv" ]; then
    record sdcv "$(seconds_of "xargs -a \"$work/words.txt\" -d '\n' sdcv -n -e --data-dir \"$work/stardict\" > /dev/null")"
    record sdcv_one "$(seconds_of "sdcv -n -e --data-dir \"$work/stardict\" cat > /dev/null")"
  fi
done
# "median min max" of a list of numbers
stats() { tr ' ' '\n' | grep . | sort -g | awk '{ v[NR] = $1 } END { printf "%.4f %.4f %.4f", v[int((NR + 1) / 2)], v[1], v[NR] }'; }
# the same of the per-round ratios a/b
ratios() {
  paste -d' ' <(echo "${times[$1]}" | tr ' ' '\n' | grep .) <(echo "${times[$2]}" | tr ' ' '\n' | grep .) |
    awk '{ print $1 / $2 }' | tr '\n' ' ' | stats
}
show() {  # name, key: median time and range
  read -r median low high <<< "$(echo "${times[$2]}" | stats)"
  printf '%-34s %s s (range %s-%s)\n' "$1" "$median" "$low" "$high"
}
show_ratio() {  # label, a, b: a/b per round
  read -r median low high <<< "$(ratios "$2" "$3")"
  printf '  %-44s %.2f (range %.2f-%.2f)\n' "$1" "$median" "$low" "$high"
}
show "vocabulon wn, base forms, 10k" wn_forms
show "vocabulon wn, --exact, 10k" wn_exact
show "vocabulon wn, dictzip path, 10k" wn_dictzip
show "floor, 10k" floor_10k
show "vocabulon wn, 100k" wn_100k
show "floor, 100k" floor_100k
show "vocabulon wn, one word, fresh" one_word
wn_ours=$(echo "${times[wn_forms]}" | stats | cut -d' ' -f1)
if [ -n "$have_sdcv" ]; then
  show "sdcv wn, 10k" sdcv
  show "sdcv wn, one word, fresh" sdcv_one
  show_ratio "sdcv / vocabulon at 10k (base forms):" sdcv wn_forms
  show_ratio "sdcv / vocabulon at 10k (--exact):" sdcv wn_exact
  show_ratio "vocabulon / sdcv, one word:" one_word sdcv_one
fi
show_ratio "vocabulon / floor at 10k:" wn_forms floor_10k
show_ratio "vocabulon / floor at 100k:" wn_100k floor_100k
show_ratio "dictzip path / prepared path at 10k:" wn_dictzip wn_forms
printf '  %-44s %.0f words/s\n' "vocabulon wn at 10k (median):" "$(calc "$looked_up / $wn_ours")"

echo "== Peak memory of define (1,000,000 words: the text 100 times)"
for copies in 1 100; do
  [ "$copies" = 1 ] && input=$text || input=$work/text-100.txt
  result=$("$bench" exec -- sh -c "\"$vocabulon\" define -d \"$wn_title\" - < \"$input\" > /dev/null")
  printf '%-8s words x%-4s %s s, peak %s MiB\n' wn "$copies" "$(echo "$result" | field seconds)" "$(echo "$result" | field peak_mib)"
done

if [ -n "$have_sdcv" ]; then
  echo "== GCIDE: time per word found (sdcv finds only the words whose case matches exactly)"
  gcide_title=$(basename "$gcide" .dictionary)
  result=$("$bench" exec -- sh -c "xargs -a \"$work/words.txt\" -d '\n' sdcv -n -e --data-dir \"$work/stardict-gcide\" > \"$work/sdcv-gcide.txt\"")
  missed=$(grep -c '^Nothing similar to' "$work/sdcv-gcide.txt" || true)
  seconds=$(echo "$result" | field seconds)
  printf 'sdcv      %s s, %d of %d found, %.1f µs per word found\n' "$seconds" "$((looked_up - missed))" "$looked_up" \
    "$(calc "$seconds * 1000000 / ($looked_up - $missed)")"
  result=$("$bench" exec -- sh -c "\"$vocabulon\" define -d \"$gcide_title\" - < \"$text\" > \"$work/ours-gcide.txt\"")
  missed=$(grep -c '^Could not retrieve definition$' "$work/ours-gcide.txt" || true)
  seconds=$(echo "$result" | field seconds)
  printf 'vocabulon %s s, %d of %d found, %.1f µs per word found\n' "$seconds" "$((looked_up - missed))" "$looked_up" \
    "$(calc "$seconds * 1000000 / ($looked_up - $missed)")"
fi

if command -v dictd >/dev/null && command -v dict >/dev/null; then
  echo "== dict -C --pipesize 65536 against a local dictd serving the same WordNet files"
  port=$((20000 + RANDOM % 20000))
  cat > "$work/dictd.conf" <<CONF
database wn { data "/usr/share/dictd/wn.dict.dz" index "/usr/share/dictd/wn.index" }
CONF
  chmod 755 "$work"; chmod 644 "$work/dictd.conf"   # dictd reads its configuration as another user
  dictd -c "$work/dictd.conf" -p "$port" --listen-to 127.0.0.1 -d nodetach --pid-file "$work/dictd.pid" >/dev/null 2>&1 &
  dictd_pid=$!
  sleep 1
  head -1000 "$work/words.txt" > "$work/words1000.txt"
  result=$("$bench" exec -- sh -c "xargs -a \"$work/words1000.txt\" -d '\n' dict -C --pipesize 65536 -h 127.0.0.1 -p $port -d wn >/dev/null 2>&1; true")
  seconds=$(echo "$result" | field seconds)
  printf 'dict   %s s for 1000 words, %.0f words/s; vocabulon is %.1f times as fast\n' "$seconds" \
    "$(calc "1000 / $seconds")" "$(calc "($seconds / 1000) / ($wn_ours / $looked_up)")"
fi
