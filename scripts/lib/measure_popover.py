"""How fast the popover appears with many pending actions, on the desktop the
caller started (Xvfb + trayer, or sway): run by scripts/measure-popover."""
import json
import os
import sys
import tempfile
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from companion_probe import Companion  # noqa: E402


def main():
    build, count = sys.argv[1], int(sys.argv[2])
    companion = Companion(build, tempfile.mkdtemp(prefix="quorvane-popover."))
    try:
        quick_before = "libQt6Quick.so" in open(f"/proc/{companion.app.pid}/maps").read()
        first = companion.show_popover_once(1)
        second = companion.show_popover_once(2)
        for i in range(count):
            body = {"id": f"bulk-{i}", "agent_id": "a", "agent_name": "measure", "tool_name": "Bash",
                    "tool_input": {"command": f"rm -rf build-{i}"}, "notify": False, "expires_in_seconds": 600}
            urllib.request.urlopen(urllib.request.Request(
                companion.url + "/_control/actions", data=json.dumps(body).encode(),
                headers={"Content-Type": "application/json"}, method="POST")).read()
        companion.escalate("bulk-last", expires=600)
        line = companion.wait_line("popover shown", 30, 3)
        bulk = int(line.rsplit(" in ", 1)[1].split()[0])
    finally:
        companion.stop()
    print(f"{'Qt Quick mapped before the first opening':<48} {'yes' if quick_before else 'no'}")
    print(f"{'popover, first opening':<48} {first} ms   (budget 250)")
    print(f"{'popover, second opening':<48} {second} ms   (budget 50)")
    print(f"{f'popover with {count + 1:,} pending actions':<48} {bulk} ms")


main()
