#!/usr/bin/env python3
"""Resident memory of the demo through one whole real run under Xvfb.

    bench/rss-over-run.py [DEMO] [--size WxH] [--csv FILE]

DEMO defaults to build/vimbel-demo. The script starts its own Xvfb (on a free
display) with openbox, runs the demo there with its default renderer (OpenGL,
Mesa's llvmpipe) and SDL's dummy audio driver, samples VmRSS from
/proc/PID/status every 20 ms until the demo ends by itself, and reports how
much the resident set grew from the end of the first greeting line to the end
of the demo. The first frame is taken to be the moment the window is mapped;
the first line fades in and out in about 2.6 s from there.

It is a measurement, not a test: it prints its figures and exits 0 whenever
the demo ran to its end (1 otherwise).
"""

import argparse
import os
import platform
import select
import shutil
import signal
import subprocess
import sys
import time

WINDOW_TITLE = "Tolvard - Vimbel 2023 demo"
FIRST_LINE_ENDS = 2.6  # seconds after the first frame
SAMPLE_INTERVAL = 0.02
SHUTDOWN_MARGIN = 0.3  # seconds before the process ended
LIMIT = 1024  # KiB of growth that the demo may show
KIB = 1024


def memory_kib(pid):
    """VmRSS, RssAnon and RssFile (+RssShmem) of a process, in KiB, or None."""
    fields = {}
    try:
        with open(f"/proc/{pid}/status") as status:
            for line in status:
                name, _, rest = line.partition(":")
                if name in ("VmRSS", "RssAnon", "RssFile", "RssShmem"):
                    fields[name] = int(rest.split()[0])
    except (FileNotFoundError, ProcessLookupError):
        return None
    if "VmRSS" not in fields:
        return None
    return (fields["VmRSS"], fields.get("RssAnon", 0),
            fields.get("RssFile", 0) + fields.get("RssShmem", 0))


def start_xvfb(size):
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-screen", "0", f"{size}x24", "-br",
         "-nolisten", "tcp", "-noreset"],
        pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    number = b""
    deadline = time.monotonic() + 15
    while not number.endswith(b"\n") and time.monotonic() < deadline:
        ready, _, _ = select.select([read_end], [], [], 0.1)
        if ready:
            chunk = os.read(read_end, 16)
            if not chunk:
                break
            number += chunk
    os.close(read_end)
    if not number.endswith(b"\n"):
        xvfb.kill()
        sys.exit("Xvfb did not start")
    return xvfb, ":" + number.decode().strip()


def window_mapped(env):
    found = subprocess.run(
        ["xdotool", "search", "--onlyvisible", "--name", f"^{WINDOW_TITLE}$"],
        env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    return found.returncode == 0 and found.stdout.strip() != b""


def cpu_name():
    try:
        with open("/proc/cpuinfo") as info:
            for line in info:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or "unknown CPU"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("demo", nargs="?", default="build/vimbel-demo")
    parser.add_argument("--size", default="1920x1080", help="the X screen, WxH")
    parser.add_argument("--renderer", help="an SDL render driver to ask for (default: the demo's own choice)")
    parser.add_argument("--env", action="append", default=[], metavar="NAME=VALUE",
                        help="an extra environment variable for the demo (repeatable)")
    parser.add_argument("--csv", help="write every sample (seconds, KiB) to this file")
    args = parser.parse_args()
    for tool in ("Xvfb", "openbox", "xdotool"):
        if not shutil.which(tool):
            sys.exit(f"{tool} is missing: run tools/install-deps.sh")

    xvfb, display = start_xvfb(args.size)
    env = dict(os.environ, DISPLAY=display)
    wm = subprocess.Popen(["openbox", "--sm-disable"], env=env,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(1)
    demo_env = {"DISPLAY": display, "SDL_VIDEODRIVER": "x11", "SDL_AUDIODRIVER": "dummy",
                "ASAN_OPTIONS": "detect_leaks=0"}
    if args.renderer:
        demo_env["SDL_RENDER_DRIVER"] = args.renderer
    for setting in args.env:
        name, _, value = setting.partition("=")
        demo_env[name] = value
    demo = None
    try:
        start = time.monotonic()
        demo = subprocess.Popen([os.path.abspath(args.demo)], env=demo_env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        samples = []
        first_frame = None
        next_window_check = start
        while demo.poll() is None:
            now = time.monotonic()
            memory = memory_kib(demo.pid)
            if memory is not None and demo.poll() is None:
                samples.append((now - start, *memory))
            if first_frame is None and now >= next_window_check:
                if window_mapped(env):
                    first_frame = time.monotonic() - start
                next_window_check = now + 0.05
            time.sleep(SAMPLE_INTERVAL)
        status = demo.wait()
        ended = time.monotonic() - start
        errors = demo.stderr.read().decode(errors="replace")
    finally:
        for process in (demo, wm, xvfb):
            if process and process.poll() is None:
                process.send_signal(signal.SIGTERM)
                try:
                    process.wait(5)
                except subprocess.TimeoutExpired:
                    process.kill()

    if args.csv:
        with open(args.csv, "w") as out:
            out.write("seconds,rss_kib,anon_kib,file_kib\n")
            for seconds, rss, anon, file in samples:
                out.write(f"{seconds:.3f},{rss},{anon},{file}\n")
    if status != 0 or first_frame is None or not samples:
        sys.stderr.write(errors)
        sys.exit(f"the demo did not run to its end (status {status}, window seen: "
                 f"{first_frame is not None})")

    # From the end of the first line to the last sample taken before shutdown
    # began (shutdown takes a few milliseconds and allocates on its way out).
    baseline_time = first_frame + FIRST_LINE_ENDS
    window = [sample for sample in samples
              if baseline_time <= sample[0] <= ended - SHUTDOWN_MARGIN]
    if len(window) < 2:
        sys.exit("the run ended before the first line did")
    first, last = window[0], window[-1]
    peak = max(window, key=lambda sample: sample[1])

    def mib(kib):
        return f"{kib / KIB:8.2f} MiB"

    print(f"machine: {cpu_name()}, {os.cpu_count()} cores, {platform.system()} "
          f"{platform.release()}")
    print(f"demo: {args.demo}, X screen {args.size}, "
          f"{args.renderer or 'default'} renderer, dummy audio")
    print(f"run: {ended:.1f} s, first frame at {first_frame:.2f} s, "
          f"{len(samples)} samples every {SAMPLE_INTERVAL * 1000:.0f} ms")
    print(f"                          {'at':>7}  {'VmRSS':>12} {'anonymous':>12} {'file':>12}")
    for name, sample in (("end of the first line", first), ("end of the demo", last),
                         ("peak after the first", peak)):
        print(f"{name:24}{sample[0]:7.2f} s {mib(sample[1])} {mib(sample[2])} {mib(sample[3])}")
    growth = last[1] - first[1]
    peak_growth = peak[1] - first[1]
    print(f"growth to the end: {growth:+d} KiB (anonymous {last[2] - first[2]:+d}, "
          f"file-backed {last[3] - first[3]:+d}); to the peak: {peak_growth:+d} KiB")
    verdict = "within" if max(growth, peak_growth) <= LIMIT else "EXCEEDS"
    print(f"limit {LIMIT} KiB: {verdict}")


if __name__ == "__main__":
    main()
