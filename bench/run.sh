#!/usr/bin/env bash
# Builds Pagewright in release mode and times the pagewright command on generated texts: a long
# plain text (500 pages of 66 lines), a one-page letter and a cover sheet with fields and an
# image. Prints pages per second, milliseconds per page and peak memory.
#
#   bench/run.sh [-r RUNS] [-n] [-w WORKDIR]
#     -r RUNS     timed runs per case (default 5; the median wall time counts)
#     -n          do not build; use the existing build/release-bench
#     -w WORKDIR  where texts and outputs go (default build/release-bench/bench-run)
#
# The long text is the shared harness's corpus/long.txt when present, else generated alike.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/release-bench
runs=5
do_build=1
work=""
while getopts "r:nw:" opt; do
  case $opt in
    r) runs=$OPTARG ;;
    n) do_build=0 ;;
    w) work=$OPTARG ;;
    *) sed -n 2,12p "$0"; exit 2 ;;
  esac
done
work=${work:-$build/bench-run}
command -v /usr/bin/time >/dev/null || { echo "needs GNU time (apt-get install time)" >&2; exit 2; }

if [ "$do_build" = 1 ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPAGEWRIGHT_TESTS=OFF \
    >/dev/null
  ninja -C "$build" -j2 pagewright_cli pagewright_pdf >/dev/null
fi
pw=$build/tools/pagewright
mkdir -p "$work"

# --- texts -----------------------------------------------------------------------------------
shared=/work/shared/bench/corpus
if [ -r "$shared/long.txt" ]; then
  long=$shared/long.txt
elif [ -r "$shared/make_corpus.py" ]; then
  python3 "$shared/make_corpus.py" "$work/corpus" >/dev/null
  long=$work/corpus/long.txt
else
  long=$work/long.txt
  python3 - "$long" <<'PY'
import random, sys
words = ("the licensee may copy and distribute verbatim copies of program source code as you "
         "receive it in any medium provided that you conspicuously publish on each an "
         "appropriate copyright notice keep intact all notices referring to this License").split()
rng = random.Random(8)
with open(sys.argv[1], "w") as f:
    for _ in range(500 * 66):
        line = ""
        while True:
            word = rng.choice(words)
            if len(line) + 1 + len(word) > 75:
                break
            line = (line + " " + word).strip()
        f.write(line + "\n")
PY
fi
letter=$shared/letter.txt
[ -r "$letter" ] || letter=$root/examples/letter.txt

# A cover sheet: the example template with its job fields, and a logo drawn from a TIFF.
mkdir -p "$work/images"
cp "$root/examples/cover.txt" "$work/cover.txt"
printf '\n@/logo@/4\n' >>"$work/cover.txt"
python3 - "$work/images/logo.tif" <<'PY'
import struct, sys
# A 240 x 80 bilevel, uncompressed little-endian TIFF: a frame with a diagonal band.
w, h = 240, 80
stride = (w + 7) // 8
rows = bytearray()
for y in range(h):
    row = bytearray(stride)
    for x in range(w):
        if x < 4 or y < 4 or x >= w - 4 or y >= h - 4 or 0 <= x - 3 * y < 24:
            row[x >> 3] |= 0x80 >> (x & 7)
    rows += row
entries = [(256, 3, 1, w), (257, 3, 1, h), (258, 3, 1, 1), (259, 3, 1, 1), (262, 3, 1, 0),
           (273, 4, 1, 8), (277, 3, 1, 1), (278, 3, 1, h), (279, 4, 1, len(rows))]
ifd = 8 + len(rows)
out = b"II*\0" + struct.pack("<I", ifd) + bytes(rows) + struct.pack("<H", len(entries))
for tag, kind, count, value in entries:
    out += struct.pack("<HHI", tag, kind, count)
    out += struct.pack("<HH", value, 0) if kind == 3 else struct.pack("<I", value)
out += struct.pack("<I", 0)
open(sys.argv[1], "wb").write(out)
PY

# --- timing ----------------------------------------------------------------------------------
# time_case LABEL COMMAND...: runs the command $runs times from one Python process (a shell's
# own forks would weigh on the short jobs) and prints one row with the median wall time, the
# median processor time (user + system), and the peak RSS of one more run under GNU time.
time_case() {
  local label=$1; shift
  local timed
  timed=$(python3 - "$runs" "$@" <<'PY'
import resource, statistics, subprocess, sys, time
runs, command = int(sys.argv[1]), sys.argv[2:]
walls = []
cpus = []
def cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime
for _ in range(runs):
    start, start_cpu = time.perf_counter(), cpu()
    done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    walls.append(time.perf_counter() - start)
    cpus.append(cpu() - start_cpu)
    if done.returncode != 0:
        sys.exit("failed: " + " ".join(command) + "\n" + done.stdout)
print(f"WALL {statistics.median(walls):.4f}")
print(f"CPU {statistics.median(cpus):.4f}")
print(done.stdout, end="")
PY
) || exit 1
  # The batch summary when there is one, else the sum of the per-file results.
  local pages median cpu rss
  pages=$(awk '/^converted .* files, [0-9]+ pages?/ {
                 for (i = 1; i < NF; i++) if ($(i + 1) ~ /^pages?/) s = $i; found = 1 }
               !found && /: [0-9]+ pages?$/ {n += $(NF - 1)}
               END {print found ? s : n + 0}' <<<"$timed")
  median=$(awk '/^WALL/ {print $2}' <<<"$timed")
  cpu=$(awk '/^CPU/ {print $2}' <<<"$timed")
  rss=$(/usr/bin/time -f "TIME %M" "$@" 2>&1 >/dev/null | awk '/^TIME/ {print $2}')
  awk -v l="$label" -v p="$pages" -v w="$median" -v c="$cpu" -v r="$rss" 'BEGIN {
    ps = w > 0 ? p / w : 0; mp = p > 0 ? 1000 * c / p : 0
    printf "%-34s %6d %9.3f %9.3f %9.0f %9.2f %8.1f\n", l, p, w, c, ps, mp, r / 1024 }'
}

out=$work/out
mkdir -p "$out"
printf "%-34s %6s %9s %9s %9s %9s %8s\n" case pages "wall s" "cpu s" pages/s "cpu ms/p" "RSS MB"
for coding in g4 g3; do
  time_case "500-page text, $coding" "$pw" --compression "$coding" -o "$out/long.tif" "$long"
done
time_case "500-page text, PDF" "$pw" -o "$out/long.pdf" "$long"

# Batch mode: ten 50-page jobs, one at a time and two at once.
head -n 3300 "$long" >"$work/job50.txt"
jobs=()
for i in $(seq 10); do cp "$work/job50.txt" "$work/job50-$i.txt"; jobs+=("$work/job50-$i.txt"); done
mkdir -p "$out/batch"
time_case "10 x 50-page jobs, g4, -j 1" "$pw" --compression g4 -j 1 -o "$out/batch/" "${jobs[@]}"
time_case "10 x 50-page jobs, g4, -j 2" "$pw" --compression g4 -j 2 -o "$out/batch/" "${jobs[@]}"

# Short jobs: whole process, start-up included; more runs, as each is short.
saved_runs=$runs
runs=$((runs * 4))
time_case "one-page letter, g3" "$pw" -o "$out/letter.tif" "$letter"
time_case "one-page letter, g4" "$pw" --compression g4 -o "$out/letter.tif" "$letter"
time_case "cover sheet with fields and image" "$pw" --markup --compression g4 \
  --fields "$root/examples/job.json" --image-dir "$work/images" -o "$out/cover.tif" \
  "$work/cover.txt"
runs=$saved_runs
echo "pagewright: $("$pw" --version | head -n 1); input: $long; $(nproc) cores; runs: $runs"
