"""Runs the real companion against the reference back-end and reads its cost
from outside (/proc): resident memory, CPU time, and voluntary context
switches of all its threads (each one a wake-up). Shared by measure-idle and
measure-popover; the caller provides the desktop (Xvfb + trayer, or sway).
"""
import glob
import json
import os
import subprocess
import time
import urllib.request


class Companion:
    def __init__(self, build, work):
        self.build = build
        self.work = work
        self.backend = subprocess.Popen([f"{build}/bin/quorvane-backend", "--port", "0", "--quiet"],
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.url = self.backend.stdout.readline().strip()
        if not self.url.startswith("http://127.0.0.1:"):
            raise SystemExit("the back-end did not start")
        home = os.path.join(work, "home")
        env = dict(os.environ, QUORVANE_HOME=home, QUORVANE_API_BASE_URL=self.url, QUORVANE_WEB_BASE_URL=self.url)
        # The machine's key goes where the desktop keeps credentials (the
        # Secret Service of the session), as on a person's machine.
        if not env.get("DBUS_SESSION_BUS_ADDRESS"):
            env["QUORVANE_CREDENTIAL_STORE"] = "file"
        os.makedirs(f"{home}/.quorvane/agents/idle", exist_ok=True)
        subprocess.run([f"{build}/bin/quorvane-demo-provision", self.url], env=env, check=True,
                       stdout=subprocess.DEVNULL)
        with open(f"{home}/.quorvane/agents/idle/config.json", "w") as f:
            json.dump({"name": "idle", "createdAt": "2026-01-01T00:00:00Z", "apiUrl": self.url}, f)
        self.log_path = os.path.join(work, "app.log")
        self.log = open(self.log_path, "w+")
        t0 = time.monotonic()
        self.app = subprocess.Popen([f"{build}/bin/quorvane-app", "--report-ready"], env=env,
                                    stdout=self.log, stderr=open(os.path.join(work, "app.err"), "w"))
        self.wait_line("tray icon shown", 20)
        self.to_tray = time.monotonic() - t0

    def stop(self):
        for proc in (self.app, self.backend):
            proc.terminate()
        for proc in (self.app, self.backend):
            proc.wait()

    def lines(self):
        with open(self.log_path) as f:
            return f.read().splitlines()

    def wait_line(self, text, seconds, count=1):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            found = [line for line in self.lines() if text in line]
            if len(found) >= count:
                return found[count - 1]
            time.sleep(0.05)
        raise SystemExit(f"the companion never logged \"{text}\" ({count})")

    def control(self, path, body):
        request = urllib.request.Request(self.url + path, data=json.dumps(body).encode(),
                                         headers={"Content-Type": "application/json"}, method="POST")
        urllib.request.urlopen(request).read()

    def escalate(self, action_id, expires=1, notify=True):
        self.control("/_control/actions", {"id": action_id, "agent_id": "a", "agent_name": "idle",
                                           "tool_name": "Bash", "tool_input": {"command": "make"},
                                           "expires_in_seconds": expires, "notify": notify})

    def show_popover_once(self, count):
        """A new escalation opens the popover; it closes once the action expired
        and the list is empty. Returns the opening time in ms."""
        self.escalate(f"idle-{count}")
        line = self.wait_line("popover shown", 10, count)
        time.sleep(1.6)
        # A frame makes the companion fetch the (now empty) list at once.
        self.control("/_control/frames", {"text": json.dumps({"type": "action_pending", "actionId": "drain"})})
        time.sleep(1)
        return int(line.rsplit(" in ", 1)[1].split()[0])

    def rss_mb(self):
        with open(f"/proc/{self.app.pid}/status") as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1]) / 1024.0
        return float("nan")

    def cpu_seconds(self):
        """CPU time of all threads, to the nanosecond (schedstat), not to the
        10-ms clock tick of /proc/PID/stat."""
        total = 0
        for stat in glob.glob(f"/proc/{self.app.pid}/task/*/schedstat"):
            try:
                with open(stat) as f:
                    total += int(f.read().split()[0])
            except (FileNotFoundError, ProcessLookupError):
                pass
        return total / 1e9

    def switches_by_thread(self):
        """Voluntary context switches of each thread, keyed by "tid name"."""
        result = {}
        for status in glob.glob(f"/proc/{self.app.pid}/task/*/status"):
            try:
                with open(status) as f:
                    fields = dict(line.split(":", 1) for line in f if ":" in line)
            except FileNotFoundError:
                continue
            tid = status.split("/")[-2]
            result[f"{tid} {fields['Name'].strip()}"] = int(fields["voluntary_ctxt_switches"])
        return result

    def idle_minute(self, seconds=60):
        """CPU ms and wake-ups over `seconds`, scaled to a minute, and the
        wake-ups of each thread that woke."""
        cpu0, threads0 = self.cpu_seconds(), self.switches_by_thread()
        time.sleep(seconds)
        cpu1, threads1 = self.cpu_seconds(), self.switches_by_thread()
        scale = 60.0 / seconds
        per_thread = {name: (count - threads0.get(name, 0)) * scale for name, count in threads1.items()}
        return (cpu1 - cpu0) * 1000 * scale, sum(per_thread.values()), per_thread
