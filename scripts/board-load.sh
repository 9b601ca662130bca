#!/usr/bin/env bash
# A bounded load test of the ranking server on localhost (a measurement,
# not a test: it asserts nothing). It starts tavro-board with 2 workers on a
# throw-away SQLite folder and prints:
#   - the CPU time the runner takes to verify one minute of play;
#   - accepted submissions per second with 2 workers;
#   - ranking reads per second;
#   - p50 and p99 latency of submissions and of reads;
#   - the peak memory of the server and of one verification child.
#   bash scripts/board-load.sh [BUILD_DIR]     (default build/dev; a
#                                               Release build gives the figures)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/dev}
board=$build/bin/tavro-board
sim=$build/bin/tavro-sim
for program in "$board" "$sim"; do
  [ -x "$program" ] || { echo "board-load.sh: no $program (build it first)" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/tavro-board-load.XXXXXX")
server=
cleanup() {
  [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

"$board" --listen 127.0.0.1:0 --data "$work/data" --workers 2 --queue 64 --rate 0 \
  --sim "$sim" 2>"$work/board.log" &
server=$!
for _ in $(seq 600); do
  grep -q "listening on" "$work/board.log" 2>/dev/null && break
  sleep 0.1
done
port=$(sed -n 's/.*listening on http:\/\/127\.0\.0\.1:\([0-9]*\)\/.*/\1/p' "$work/board.log" | head -n 1)
[ -n "$port" ] || { cat "$work/board.log" >&2; exit 1; }

python3 - "$sim" "$port" "$server" "$work" <<'PYTHON'
import http.client, json, os, resource, subprocess, sys, threading, time

sim, port, server_pid, work = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
version = None

def replay_head():
    global version
    if version is None:
        probe = subprocess.run([sim, "--verify", "-", "--report", "json"], input=b"",
                               capture_output=True)
        version = json.loads(probe.stdout.decode())["version"]
    return "#@ tavro-replay 1\n#@ version %s\n#@ ini [ENVIRONMENT]\n" % version

def session(variant, frames, games):
    """Games one after another, one every 1000 frames, the last event at
    `frames`: each starts, names its player, shoots every tenth frame for
    560 frames and lets the rocks end it."""
    lines = []
    for start in range(0, games * 1000, 1000):
        lines.append("%d start" % start)
        lines.append("%d name Player %d" % (start + 1, variant))
        for frame in range(start + 40, min(start + 600, frames), 10):
            lines.append("%d click %d %d" % (frame, 150 + (variant * 7) % 200, 250 + (variant * 13) % 100))
    lines.append("%d move 1 1" % frames)
    return replay_head() + "\n".join(lines) + "\n"

def verify(text):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    run = subprocess.run([sim, "--verify", "-", "--report", "json"], input=text.encode(),
                         capture_output=True)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return json.loads(run.stdout.decode()), cpu

def honest(text):
    report, _ = verify(text)
    for game in report["games"]:
        if game["replayed"]:
            text += "#@ game %d score %d level %d\n" % (
                game["index"], game["replayed"]["score"], game["replayed"]["level"])
    return text

# the CPU time of one minute of play (3000 frames), best of three
minute = honest(session(0, 3000, 3))
cpu = min(verify(minute)[1] for _ in range(3))
print("verify one minute of play: %.3f s CPU" % cpu)

def request(method, path, body=None):
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=600)
    start = time.perf_counter()
    connection.request(method, path, body=body)
    response = connection.getresponse()
    data = response.read()
    elapsed = time.perf_counter() - start
    connection.close()
    return response.status, data, elapsed

def percentile(values, p):
    values = sorted(values)
    return values[min(len(values) - 1, int(round(p / 100.0 * (len(values) - 1))))]

def hammer(jobs, threads):
    results = [None] * len(jobs)
    def worker(offset):
        for i in range(offset, len(jobs), threads):
            results[i] = jobs[i]()
    pool = [threading.Thread(target=worker, args=(t,)) for t in range(threads)]
    start = time.perf_counter()
    for t in pool: t.start()
    for t in pool: t.join()
    return results, time.perf_counter() - start

# accepted submissions a second with 2 workers: distinct sessions of one
# game each (30 seconds), four clients at once
count = 24
replays = [honest(session(variant, 1500, 1)) for variant in range(1, count + 1)]
results, seconds = hammer([lambda r=r: request("POST", "/api/v1/replays", r.encode()) for r in replays], 4)
accepted = sum(1 for status, data, _ in results if status == 200 and json.loads(data)["accepted"] > 0)
reasons = {}
for status, data, _ in results:
    answer = json.loads(data)
    for game in answer.get("games", []):
        if not game["accepted"]:
            reasons[game["reason"]] = reasons.get(game["reason"], 0) + 1
print("submissions: %d of %d accepted in %.2f s: %.2f accepted a second (2 workers)"
      % (accepted, count, seconds, accepted / seconds))
if reasons:
    print("  games rejected: " + ", ".join("%d %s" % (n, r) for r, n in sorted(reasons.items())))
latencies = [elapsed for _, _, elapsed in results]
print("submission latency: p50 %.0f ms, p99 %.0f ms"
      % (1000 * percentile(latencies, 50), 1000 * percentile(latencies, 99)))

# ranking reads a second: 8 clients, 4000 reads of the top 100
reads, seconds = hammer([lambda: request("GET", "/api/v1/ranking?limit=100")] * 4000, 8)
ok = sum(1 for status, _, _ in reads if status == 200)
print("ranking reads: %d in %.2f s: %.0f a second" % (ok, seconds, ok / seconds))
latencies = [elapsed for _, _, elapsed in reads]
print("read latency: p50 %.1f ms, p99 %.1f ms"
      % (1000 * percentile(latencies, 50), 1000 * percentile(latencies, 99)))

status = open("/proc/%d/status" % server_pid).read()
peak = [line.split()[1] for line in status.splitlines() if line.startswith("VmHWM:")][0]
print("server memory: peak %d MiB resident" % (int(peak) // 1024))
rss = [int(word.split("=")[1][:-3]) for line in open(os.path.join(work, "board.log"))
       for word in line.split() if word.startswith("verify-rss=")]
print("verification child: peak %d MiB resident (largest of %d)" % (max(rss) // 1024, len(rss)))
PYTHON
