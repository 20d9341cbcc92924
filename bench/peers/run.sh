#!/usr/bin/env bash
# Runs the engine's job (build/bench/xls/xls_bench, BM_OpenFillSaveOpen) and the same job with
# Apache POI HSSF side by side, taking turns for ROUNDS rounds, and prints the table of median
# wall and CPU times with POI's time over ours. Installs a JDK and POI when missing (deps.sh).
#
#   bash bench/peers/run.sh            # N = 6, 1000, 10000, 100000; 3 rounds
#   ROUNDS=1 SIZES="6 1000" bash bench/peers/run.sh
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="${BUILD_DIR:-$root/build}"
rounds="${ROUNDS:-3}"
sizes="${SIZES:-6 1000 10000 100000}"
warmup="${WARMUP:-3000}"  # untimed N = 6 jobs before POI's timed ones

bash "$here/deps.sh"
[ -d "$build" ] || cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target xls_bench >/dev/null

classes="$build/bench/peers/classes"
mkdir -p "$classes"
cp="/usr/share/java/poi.jar:/usr/share/java/commons-collections4.jar"
cp="$cp:/usr/share/java/commons-math3.jar:/usr/share/java/commons-codec.jar"
javac -nowarn -d "$classes" -cp "$cp" "$here/PoiJob.java" 2>&1 | grep -v '^Note:' || true

template="$root/resources/Pie Chart.xlt"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
filter="BM_OpenFillSaveOpen/($(echo $sizes | tr ' ' '|'))/"
poiArgs=()
for n in $sizes; do
  if [ "$n" -ge 100000 ]; then poiArgs+=("$n:10"); else poiArgs+=("$n:50"); fi
done

for round in $(seq 1 "$rounds"); do
  echo "round $round of $rounds: ours" >&2
  TMPDIR="$work" "$build/bench/xls/xls_bench" --benchmark_filter="$filter" \
    --benchmark_format=json >"$work/ours-$round.json" 2>/dev/null
  echo "round $round of $rounds: Apache POI (warm-up, then timed jobs)" >&2
  java -Xms256m -cp "$classes:$cp" PoiJob "$template" "$work" "$warmup" "${poiArgs[@]}" \
    >"$work/poi-$round.txt"
done

python3 - "$work" "$rounds" $sizes <<'PY'
import json, statistics, sys
work, rounds, sizes = sys.argv[1], int(sys.argv[2]), [int(n) for n in sys.argv[3:]]
ours = {n: [] for n in sizes}
poi = {n: [] for n in sizes}
for r in range(1, rounds + 1):
    for b in json.load(open(f"{work}/ours-{r}.json"))["benchmarks"]:
        if b.get("aggregate_name") != "median":
            continue
        n = int(b["run_name"].split("/")[1])
        scale = {"ms": 1.0, "us": 1e-3, "ns": 1e-6}[b["time_unit"]]
        ours[n].append((b["real_time"] * scale, b["cpu_time"] * scale))
    for line in open(f"{work}/poi-{r}.txt"):
        _, n, wall, cpu = line.split()
        poi[int(n)].append((float(wall), float(cpu)))
def med(v, i):
    return statistics.median(x[i] for x in v)
def ms(x):
    return f"{x:.3f}" if x < 10 else f"{x:.1f}"
print(f"Median of {rounds} round(s) taking turns; ours: median of 5 repetitions, POI: median of")
print("50 jobs (10 at N = 100,000) after warm-up in one JVM. Times in ms.\n")
print("| N | ours, wall / CPU | Apache POI HSSF, wall / CPU (main thread) | POI time / ours (wall; CPU) |")
print("|---|---|---|---|")
for n in sizes:
    if not ours[n] or not poi[n]:
        continue
    ow, oc, pw, pc = med(ours[n], 0), med(ours[n], 1), med(poi[n], 0), med(poi[n], 1)
    print(f"| {n:,} | {ms(ow)} / {ms(oc)} | {ms(pw)} / {ms(pc)} | {pw / ow:.1f}x; {pc / oc:.1f}x |")
PY
