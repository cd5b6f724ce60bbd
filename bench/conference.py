#!/usr/bin/env python3
"""Conference figures on one machine, through the real media server.

Run through bench/conference.sh, which gives it a network namespace of its
own. Members are conference programs driven over their local socket as the
client drives them; the first one is shown on an X display of its own, the
others offscreen. For 2 and for 4 members in a room it measures:
  - first frame: from "conferencestart" reaching a member to the first
    picture of a member already in the room shown in its window;
  - behind the preview (2 members): the generated pictures show the time of
    day; the first member's window shows the other's picture beside its own
    preview, and tesseract reads both clocks off a screenshot. Glass to glass
    is this plus the preview's own delay, at least one frame (33 ms): a live
    source hands a frame on when its time is over;
  - CPU of the first member, in % of one core, over 10 s.
"""
import json
import os
import re
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time
from datetime import datetime

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.environ.get("BUILD_DIR", os.path.join(ROOT, "build"))
SDK = os.path.join(BUILD, "bin", "TandemlinkSdk", "TandemlinkSdk")
CLK_TCK = os.sysconf("SC_CLK_TCK")
STAMP = re.compile(r"^\[(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d\.\d{3})\]")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def stamp_of(line):
    match = STAMP.match(line)
    return datetime.strptime(match.group(1), "%Y/%m/%d %H:%M:%S.%f").timestamp() if match else None


class Member:
    def __init__(self, work, name, server_url, display=None):
        self.name = name
        self.log = os.path.join(work, name + ".log")
        config = os.path.join(work, name + ".ini")
        with open(config, "w") as f:
            f.write("mediaServer=%s\n" % server_url)
        path = os.path.join(work, name + ".socket")
        listener = socket.socket(socket.AF_UNIX)
        listener.bind(path)
        listener.listen(1)
        env = dict(os.environ, TANDEMLINK_STANDIN_LOG=self.log, TANDEMLINK_STANDIN_CONFIG=config,
                   TANDEMLINK_STANDIN_CAMERA="none")
        if display:
            env.update(DISPLAY=display, QT_QPA_PLATFORM="xcb")
        else:
            env.update(QT_QPA_PLATFORM="offscreen")
        start = {"operation": "setservername", "clientappid": "bench", "servername": path}
        self.process = subprocess.Popen([SDK, json.dumps(start)], env=env, stderr=subprocess.DEVNULL)
        listener.settimeout(10)
        self.socket, _ = listener.accept()
        listener.close()
        threading.Thread(target=self._drain, daemon=True).start()

    def _drain(self):
        while self.socket.recv(65536):
            pass

    def join(self, conference):
        self.socket.send(json.dumps({"operation": "conferencestart", "clientappid": "bench",
                                     "conferenceuuid": conference, "membername": self.name,
                                     "memberid": self.name}).encode())

    def lines(self):
        with open(self.log, encoding="utf-8", errors="replace") as f:
            return f.read().splitlines()

    def wait_for(self, text, timeout=30):
        deadline = time.time() + timeout
        while time.time() < deadline:
            for line in self.lines():
                if text in line:
                    return stamp_of(line)
            time.sleep(0.05)
        raise RuntimeError("%s: no '%s' within %d s" % (self.name, text, timeout))

    def cpu_seconds(self):
        with open("/proc/%d/stat" % self.process.pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / CLK_TCK

    def stop(self):
        self.process.kill()
        self.process.wait()


def read_clock(shot, box, work):
    crop = os.path.join(work, "clock.png")
    subprocess.run(["convert", shot, "-crop", box, "+repage", "-resize", "400%", "-colorspace", "Gray",
                    "-negate", "-threshold", "60%", crop], check=True)
    text = subprocess.run(["tesseract", crop, "-", "--psm", "7", "-c",
                           "tessedit_char_whitelist=0123456789:."], capture_output=True, text=True).stdout
    match = re.search(r"(\d\d):(\d\d):(\d\d)\.(\d{3})", text)
    if not match:
        return None
    h, m, s, ms = (int(g) for g in match.groups())
    return ((h * 60 + m) * 60 + s) * 1000 + ms


def glass_to_glass(display, work, samples=10):
    delays = []
    for i in range(samples * 2):
        shot = os.path.join(work, "shot.png")
        subprocess.run(["import", "-display", display, "-window", "root", shot], check=True)
        remote = read_clock(shot, "140x30+330+349", work)
        own = read_clock(shot, "140x30+802+349", work)
        # Both pictures are made on the same 30 fps grid of the wall clock, so
        # a picture no older than the own preview reads the same or a
        # slightly later time.
        if remote is not None and own is not None and -100 < own - remote < 2000:
            delays.append(own - remote)
        if len(delays) >= samples:
            break
        time.sleep(0.3)
    return delays


def run(count, server_url, display, work, conference):
    members = [Member(work, "member%d-%d" % (count, i), server_url, display if i == 0 else None)
               for i in range(count)]
    try:
        first = members[0]
        first.join(conference)
        first.wait_for("joined conference")
        firsts = []
        for member in members[1:]:
            sent = time.time()
            member.join(conference)
            member.wait_for("received conferencestart")
            shown = member.wait_for("first video frame from " + first.name)
            firsts.append((shown - sent) * 1000)
        for member in members[1:]:
            first.wait_for("first video frame from " + member.name)
        time.sleep(2)
        cpu0, t0 = first.cpu_seconds(), time.time()
        time.sleep(10)
        cpu = (first.cpu_seconds() - cpu0) / (time.time() - t0) * 100
        delays = glass_to_glass(display, work) if count == 2 else []
        return firsts, cpu, delays
    finally:
        for member in members:
            member.stop()


def main():
    counts = [int(a) for a in sys.argv[1:]] or [2, 4]
    work = tempfile.mkdtemp(prefix="conference-bench-")
    port = free_port()
    janus = subprocess.Popen([os.path.join(ROOT, "scripts", "start-janus.sh"), str(port),
                              os.path.join(work, "janus"), "21000-21999"],
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    display = ":%d" % (200 + os.getpid() % 100)
    xvfb = subprocess.Popen(["Xvfb", display, "-screen", "0", "960x600x24", "-nolisten", "tcp"],
                            stderr=subprocess.DEVNULL)
    try:
        server_url = "http://127.0.0.1:%d/janus" % port
        for _ in range(100):
            try:
                socket.create_connection(("127.0.0.1", port), 0.2).close()
                break
            except OSError:
                time.sleep(0.1)
        print("members  first frame (ms, median)  CPU of one member (% of a core)  behind the preview (ms, median of n)")
        for count in counts:
            firsts, cpu, delays = run(count, server_url, display, work, "bench-%d-%d" % (count, os.getpid()))
            latency = "%d (n=%d, %d-%d)" % (statistics.median(delays), len(delays), min(delays), max(delays)) \
                if delays else "-"
            print("%7d  %24d  %31.1f  %s" % (count, statistics.median(firsts), cpu, latency), flush=True)
    finally:
        janus.kill()
        xvfb.kill()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
