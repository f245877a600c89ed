#!/usr/bin/env bash
# Measures what the tool itself costs and checks each figure against its budget.
#
#   scripts/bench.sh            native Release build in build/bench, Windows build in
#                               build/windows (both built or brought up to date first)
#
# Time budgets are ratios of figures taken in the same run, so that a busy machine
# moves both sides alike. Exits 1 when a budget fails, 2 when a figure cannot be had.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
native=${QIR_BENCH_BUILD:-$root/build/bench}
windows=$root/build/windows
work=$native/bench-run
mkdir -p "$work"

for package in libbenchmark-dev time; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        echo "bench: installing $package" >&2
        apt-get install -y -q "$package" >/dev/null
    fi
done

echo "== building (native Release in ${native#$root/}, Windows in ${windows#$root/})"
cmake -S "$root" -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQIR_BUILD_TESTS=OFF >/dev/null
cmake --build "$native" -j2 --target qir-bench qir-bench-one-drive qir-sim >/dev/null
(cd "$root" && cmake --preset windows >/dev/null && cmake --build build/windows -j2 --target qir >/dev/null)

echo "== running qir-bench"
"$native/bench/qir-bench" --benchmark_format=console --benchmark_out_format=json \
    --benchmark_out="$work/bench.json" "$@" >"$work/bench.txt"

# Peak memory of one drive's whole run, as the kernel counted it for the process: the
# tool alone (linked statically as qir.exe is, the drive taking firmware at no cost), and
# qir-sim for comparison, whose simulated drive stages its own copy of the image.
"$native/bench/qir-bench" --machine one_drive >"$work/one_drive.json"
peak() {
    local out=$1
    shift
    set +e
    /usr/bin/time -f "%x %M" -o "$out" "$@" >/dev/null
    set -e
}
peak "$work/memory_tool.txt" "$native/bench/qir-bench-one-drive"
peak "$work/memory_sim.txt" "$native/qir-sim" --machine "$work/one_drive.json" -- /s

python3 - "$work/bench.json" "$work/memory_tool.txt" "$work/memory_sim.txt" "$windows/qir.exe" <<'PY'
import json, os, sys

bench_file, memory_tool, memory_sim, exe = sys.argv[1:5]
runs = json.load(open(bench_file))["benchmarks"]
failed = []
MiB = 1024 * 1024
IMAGE = 2359296

def check(name, figure, ok, budget):
    print(f"  {name:<52} {figure:<26} budget {budget:<22} {'ok' if ok else 'FAILED'}")
    if not ok:
        failed.append(name)

def errors_in(prefix):
    return [r["name"] for r in runs if r["name"].startswith(prefix) and r.get("error_occurred")]

print("\nRoutes on a drive at no cost, per whole image (CPU time of the tool's thread):")
for name in errors_in("route/"):
    check(name, "error", False, "runs")
routes = [r for r in runs if r["name"].startswith("route/") and not r.get("error_occurred")]
for r in routes:
    fwug = r["name"].split("fwug:")[1].split("/")[0]
    check(f"{r['label']} fwug {fwug}: route/baseline",
          f"{r['ratio']:.2f} ({r['route_us']:.0f}/{r['baseline_us']:.0f} us)",
          r["ratio"] <= 1.5, "<= 1.50")
if routes:
    worst = max(routes, key=lambda r: r["route_us"])
    print(f"  tool CPU time per drive: at most {worst['route_us']:.0f} us "
          f"({worst['label']}), the copy loop alone {worst['baseline_us']:.0f} us")

def machine_runs(prefix, title):
    print(f"\n{title}:")
    for name in errors_in(prefix):
        check(name, "error", False, "runs")
    found = {r["label"]: r for r in runs if r["name"].startswith(prefix) and not r.get("error_occurred")}
    for label, r in found.items():
        print(f"  {label:<20} {int(r['drives']):>3} drives {int(r['devices']):>5} devices: "
              f"exit {int(r['result'])}, {int(r['calls'])} platform calls "
              f"({int(r['walk_steps'])} set walk steps, {int(r['device_sets'])} device sets, "
              f"{int(r['all_classes_sets'])} of all classes), "
              f"{r['run_ms']:.1f} ms, first device request after {r['first_request_us']:.0f} us")
    return found

def growth(found, what, big, small, why):
    if big in found and small in found:
        ratio = found[big]["calls"] / found[small]["calls"]
        check(f"{what} calls {big} / {small}", f"{ratio:.2f}", ratio <= 2.2, f"<= 2.20 ({why})")
    else:
        check(f"{what} calls {big} / {small}", "missing", False, "<= 2.20")

def linear(found, what):
    growth(found, what, "devices5000_rst64", "devices2500_rst64", "devices x2")
    growth(found, what, "devices5000_rst64", "devices5000_rst32", "RST disks x2")
    growth(found, what, "devices5000_rst64", "devices2500_rst32", "both x2")

machines = machine_runs("whole_run/", "Whole runs of the main routine on simulated machines (qir /s)")
linear(machines, "run")
if "one_drive" in machines:
    print(f"  time from start to the first device request, one drive: "
          f"{machines['one_drive']['first_request_us']:.0f} us")

# The scan is the update's discovery and identification and one read-only request per
# eligible inbox drive; it must grow as discovery does.
scans = machine_runs("scan/", "The pre-flight scan on the same machines (qir-scan)")
linear(scans, "scan")

print("\nPeak memory and size:")
def peak(path):
    code, kib = (int(x) for x in open(path).read().split()[-2:])
    return code, kib

code, kib = peak(memory_tool)
check("peak memory, tool run of one drive (maxrss)", f"{kib / 1024:.2f} MiB (exit {code})",
      code == 0 and kib * 1024 <= 8 * MiB, "<= 8 MiB")
code, kib = peak(memory_sim)
print(f"  peak memory, qir-sim run of one drive (its drive staging the image too): "
      f"{kib / 1024:.2f} MiB (exit {code})")
if os.path.exists(exe):
    size = os.path.getsize(exe)
    check("qir.exe size", f"{size / MiB:.2f} MiB (+{(size - IMAGE) / 1024:.0f} KiB over the image)",
          size <= IMAGE + 512 * 1024, "<= image + 512 KiB")
else:
    check("qir.exe size", "no build/windows/qir.exe", False, "<= image + 512 KiB")

print()
if failed:
    print(f"bench: {len(failed)} budget(s) failed")
    sys.exit(1)
print("bench: every budget holds")
PY
