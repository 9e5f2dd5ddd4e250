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
echo "== The window: the shown window looking up a text, dictionary open and warm"
echo "   (time from Define to the last block, median of 3 runs, 1 for 10,000 words; longest"
echo "   pause of the event loop; longest wait of a key press; peak memory of the process)"
for spec in "wn 2000 3" "gcide 2000 3" "gcide 10000 1"; do
  read -r name count runs <<< "$spec"
  printf '%-6s %s\n' "$name" "$("${window_bench[@]}" "$(basename "${!name}" .dictionary)" "$text" "$count" "$runs" 2>/dev/null)"
done

echo "== End to end: vocabulon define on $words words (median of 5; --exact: without base forms)"
median_run() {  # the run of median time of 5: "seconds=... peak_mib=..."
  for _ in 1 2 3 4 5; do "$bench" exec -- sh -c "$1"; done | sort -t= -k2 -n | sed -n 3p
}
for name in wn gcide; do
  title=$(basename "${!name}" .dictionary)
  for mode in exact forms; do
    option=""; [ "$mode" = exact ] && option="--exact"
    result=$(median_run "\"$vocabulon\" define $option -d \"$title\" - < \"$text\"")
    seconds=$(echo "$result" | field seconds)
    printf '%-6s %-5s %s s, %.0f words/s, peak %s MiB\n' "$name" "$mode" "$seconds" \
      "$(calc "$words / $seconds")" "$(echo "$result" | field peak_mib)"
    eval "${name}_${mode}=$seconds"
  done
  eval "${name}_ours=\$${name}_forms"
done

if command -v sdcv >/dev/null; then
  echo "== sdcv on the same words (StarDict copy of WordNet made by vocabulon-bench)"
  mkdir -p "$work/stardict"
  "$bench" stardict /usr/share/dictd/wn.index "$work/stardict" >/dev/null
  "$bench" words "$text" > "$work/words.txt"
  result=$("$bench" exec -- sh -c "xargs -a \"$work/words.txt\" -d '\n' sdcv -n -e --data-dir \"$work/stardict\" >/dev/null")
  seconds=$(echo "$result" | field seconds)
  printf 'sdcv   %s s, %.0f words/s; vocabulon is %.1f times as fast on WordNet (%.1f times with --exact)\n' "$seconds" \
    "$(calc "$words / $seconds")" "$(calc "$seconds / $wn_ours")" "$(calc "$seconds / $wn_exact")"
fi

if command -v dictd >/dev/null && command -v dict >/dev/null; then
  echo "== dict against a local dictd serving the same WordNet files"
  port=$((20000 + RANDOM % 20000))
  cat > "$work/dictd.conf" <<CONF
database wn { data "/usr/share/dictd/wn.dict.dz" index "/usr/share/dictd/wn.index" }
CONF
  chmod 755 "$work"; chmod 644 "$work/dictd.conf"   # dictd reads its configuration as another user
  dictd -c "$work/dictd.conf" -p "$port" --listen-to 127.0.0.1 -d nodetach --pid-file "$work/dictd.pid" >/dev/null 2>&1 &
  dictd_pid=$!
  sleep 1
  head -1000 "$work/words.txt" > "$work/words1000.txt"
  result=$("$bench" exec -- sh -c "xargs -a \"$work/words1000.txt\" -d '\n' dict -h 127.0.0.1 -p $port -d wn >/dev/null 2>&1; true")
  seconds=$(echo "$result" | field seconds)
  printf 'dict   %s s for 1000 words, %.0f words/s; vocabulon is %.1f times as fast\n' "$seconds" \
    "$(calc "1000 / $seconds")" "$(calc "($seconds / 1000) / ($wn_ours / $words)")"
fi
