#!/usr/bin/env bash
# Peak memory and time of the pagewright command reading 1 GB inputs: plain ASCII, UTF-8 that is
# transcoded, UTF-16LE, the same through a pipe on standard input, and /dev/zero stopped by
# --max-input. The texts are a few lines around a billion line feeds, so that reading and
# transcoding, not drawing pages, is what is measured.
#
#   bench/input_memory.sh [-n] [-w WORKDIR]
#     -n          do not build; use the existing build/release-bench
#     -w WORKDIR  where the inputs go (default build/release-bench/input-memory; 4 GB of space)
#   PAGEWRIGHT=path/to/pagewright bench/input_memory.sh -n   measures another build
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/release-bench
do_build=1
work=""
while getopts "nw:" opt; do
  case $opt in
    n) do_build=0 ;;
    w) work=$OPTARG ;;
    *) sed -n 2,11p "$0"; exit 2 ;;
  esac
done
work=${work:-$build/input-memory}
command -v /usr/bin/time >/dev/null || { echo "needs GNU time (apt-get install time)" >&2; exit 2; }
if [ "$do_build" = 1 ] && [ -z "${PAGEWRIGHT:-}" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPAGEWRIGHT_TESTS=OFF \
    >/dev/null
  ninja -C "$build" -j2 pagewright_cli >/dev/null
fi
pw=${PAGEWRIGHT:-$build/tools/pagewright}
mkdir -p "$work"
size=1000000000

# text_around FILE HEAD TAIL: HEAD, line feeds up to $size bytes, TAIL.
text_around() {
  local LC_ALL=C  # ${#...} counts bytes
  local file=$1 head=$2 tail=$3
  # Process substitution: yes ends by SIGPIPE, which a pipeline would count as a failure.
  { printf '%s' "$head"; head -c $((size - ${#head} - ${#tail})) < <(yes ''); printf '%s' "$tail"; } \
    >"$file"
}
[ -s "$work/ascii.txt" ] || text_around "$work/ascii.txt" $'Dear reader,\n' $'Yours\n'
[ -s "$work/utf8.txt" ] || text_around "$work/utf8.txt" $'Gr\xc3\xbc\xc3\x9fe,\n' $'\xe2\x80\x9cEnde\xe2\x80\x9d\n'
[ -s "$work/utf16.txt" ] || python3 - "$work/utf16.txt" "$size" <<'PY'
import sys
path, size = sys.argv[1], int(sys.argv[2])
head, tail = "Grüße,\n".encode("utf-16-le"), "“Ende”\n".encode("utf-16-le")
with open(path, "wb") as out:
    out.write(b"\xff\xfe" + head)
    left = size - 2 - len(head) - len(tail)
    block = "\n".encode("utf-16-le") * (1 << 20)
    while left >= len(block):
        out.write(block)
        left -= len(block)
    out.write(block[:left] + tail)
PY

# measure LABEL COMMAND...: wall time and peak RSS of one run; the exit status is shown.
measure() {
  local label=$1; shift
  /usr/bin/time -o "$work/time" -f "%e %M %x" "$@" >/dev/null 2>"$work/err" || true
  tail -n 1 "$work/time" |
    awk -v l="$label" '{ printf "%-44s %7.1f s %7.1f MB  exit %s\n", l, $1, $2 / 1024, $3 }'
}
out=$work/out.tif
measure "1 GB ASCII" "$pw" "$work/ascii.txt" -o "$out"
measure "1 GB UTF-8, detected and transcoded" "$pw" "$work/utf8.txt" -o "$out"
measure "1 GB UTF-8, --encoding utf-8" "$pw" --encoding utf-8 "$work/utf8.txt" -o "$out"
measure "1 GB UTF-16LE, detected and transcoded" "$pw" "$work/utf16.txt" -o "$out"
measure "1 GB UTF-8 through a pipe (-)" sh -c 'cat "$1" | "$2" - -o "$3"' sh "$work/utf8.txt" "$pw" "$out"
measure "/dev/zero, stopped by --max-input (1 GiB)" "$pw" /dev/zero -o "$out"
echo "pagewright: $("$pw" --version | head -n 1); $(nproc) cores"
