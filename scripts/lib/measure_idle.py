"""The companion's idle figures against its budgets, on the desktop the caller
started (Xvfb + trayer, or sway): run by scripts/measure-idle."""
import os
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from companion_probe import Companion  # noqa: E402

IDLE_RELEASE_S = 30  # PopoverWindow::idleReleaseDelay


def one_run(build, idle_seconds):
    work = tempfile.mkdtemp(prefix="quorvane-idle.")
    companion = Companion(build, work)
    try:
        figures = {"to tray (ms)": companion.to_tray * 1000}
        time.sleep(10)
        figures["resident 10 s after start (MB)"] = companion.rss_mb()
        time.sleep(IDLE_RELEASE_S + 5)
        figures["resident before the first popover (MB)"] = companion.rss_mb()
        figures["popover, first opening (ms)"] = companion.show_popover_once(1)
        time.sleep(60)
        figures["resident 60 s after the popover closed (MB)"] = companion.rss_mb()
        cpu, wakeups, threads = companion.idle_minute(idle_seconds)
        figures["CPU per idle minute after a popover (ms)"] = cpu
        figures["wake-ups per idle minute, all threads"] = wakeups
        figures["popover, opening after memory was released (ms)"] = companion.show_popover_once(2)
        return figures, threads
    finally:
        companion.stop()


def main():
    build, runs, idle_seconds = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    budgets = {
        "resident before the first popover (MB)": 40,
        "resident 60 s after the popover closed (MB)": 60,
        "CPU per idle minute after a popover (ms)": 20,
        "wake-ups per idle minute, all threads": 25,
        "popover, first opening (ms)": 250,
        "popover, opening after memory was released (ms)": 50,
    }
    results = []
    for run in range(runs):
        figures, threads = one_run(build, idle_seconds)
        results.append(figures)
        woke = ", ".join(f"{name.split(' ', 1)[1]} {count:.0f}"
                         for name, count in sorted(threads.items(), key=lambda kv: -kv[1]) if count)
        print(f"run {run + 1}: wake-ups by thread: {woke}", flush=True)
    print(f"\n{'figure':<52}{'budget':>8}   " + "  ".join(f"{'run ' + str(i + 1):>7}" for i in range(runs)))
    for name in results[0]:
        budget = budgets.get(name)
        values = [r[name] for r in results]
        verdict = "" if budget is None else ("  ok" if all(v <= budget for v in values) else "  OVER")
        print(f"{name:<52}{'' if budget is None else '≤' + str(budget):>8}   "
              + "  ".join(f"{v:7.1f}" for v in values) + verdict)
    sys.stdout.flush()
    bench = os.path.join(build, "bin", "bench_escalation_latency")
    if os.access(bench, os.X_OK):
        print("\nescalation frame -> new-escalation signal (budget p99 < 20 ms):")
        subprocess.run([bench], check=False, env=dict(os.environ, QUORVANE_CREDENTIAL_STORE="file"))


main()
