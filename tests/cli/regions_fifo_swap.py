#!/usr/bin/env python3
"""Puts FIFOs in the place of region files while `vantor-cli regions` rewrites them.

usage: regions_fifo_swap.py VANTOR_CLI [--files N] [--runs R] [--timeout SECONDS]

Each run fills OPENSIM/Regions with N region files (r00000.ini, ...) and starts
`vantor-cli regions OPENSIM --host ...`. As soon as the first file announces the new host the
folder has been listed; from then on, from the last file backwards, each file is replaced by a
FIFO (made beside it and renamed over it, so the name is never missing) until the command
ends. Those that the command had not reached yet are read after the swap: no read may wait on
one. A run that has not ended after SECONDS is a hang: the FIFOs get a writer, which lets a
waiting read go, and the command is killed.

Checks each run: it ends, exits 0, reports every file once, as "rewritten" or as "skipped: not
a plain file ...", every FIFO swapped in before the command read that file is reported so, and
every file still plain carries the new host. Prints one line per run and a summary; exits 1
when a check fails.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time


def region(host):
    return f"[Region]\r\nRegionUUID = 11111111-2222-3333-4444-555555555555\r\nExternalHostName = {host}\r\n".encode()


def one_run(cli, files, timeout, number):
    work = tempfile.mkdtemp(prefix="vantor-fifo-swap-")
    regions = os.path.join(work, "os", "Regions")
    os.makedirs(regions)
    names = [f"r{i:05d}.ini" for i in range(files)]
    for name in names:
        with open(os.path.join(regions, name), "wb") as out:
            out.write(region("SYSTEMIP"))
    host = f"10.0.{number % 256}.1"
    first = os.path.join(regions, names[0])
    swapped = []
    command = subprocess.Popen([cli, "regions", os.path.join(work, "os"), "--host", host],
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    def swap():
        # The folder is listed before the first file is rewritten.
        while command.poll() is None:
            try:
                with open(first, "rb") as seen:
                    if host.encode() in seen.read():
                        break
            except OSError:
                pass
        spare = os.path.join(regions, ".swap")
        for name in reversed(names[1:]):
            if command.poll() is not None:
                break
            os.mkfifo(spare)
            os.rename(spare, os.path.join(regions, name))
            swapped.append(name)

    swapper = threading.Thread(target=swap)
    started = time.monotonic()
    swapper.start()
    hung = False
    try:
        out, err = command.communicate(timeout=timeout)
    except subprocess.TimeoutExpired:
        hung = True
        for name in names:
            path = os.path.join(regions, name)
            try:
                os.close(os.open(path, os.O_WRONLY | os.O_NONBLOCK))
            except OSError:
                pass
        command.kill()
        out, err = command.communicate()
    seconds = time.monotonic() - started
    swapper.join()

    problems = []
    if hung:
        problems.append(f"no end after {timeout} s")
    elif command.returncode != 0:
        problems.append(f"exit {command.returncode}: {err.decode(errors='replace').strip()}")
    reported = {}
    for line in out.decode(errors="replace").splitlines():
        name, _, what = line.partition(": ")
        reported[name] = what
    skipped = 0
    if not hung:
        if sorted(reported) != names:
            problems.append(f"{len(reported)} files reported, {files} in the folder")
        for name in names:
            what = reported.get(name, "")
            path = os.path.join(regions, name)
            plain = not os.path.exists(path) or os.path.isfile(path)
            if what.startswith("skipped: not a plain file"):
                skipped += 1
                if name not in swapped:
                    problems.append(f"{name} reported as no plain file but never swapped")
            elif what != "rewritten":
                problems.append(f"{name}: {what}")
            elif plain:
                with open(path, "rb") as seen:
                    if seen.read() != region(host):
                        problems.append(f"{name} reported rewritten but does not announce {host}")
    shutil.rmtree(work)
    return seconds, len(swapped), skipped, hung, problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("cli")
    parser.add_argument("--files", type=int, default=20000)
    parser.add_argument("--runs", type=int, default=20)
    parser.add_argument("--timeout", type=float, default=60)
    options = parser.parse_args()

    failed = hangs = swaps = caught = 0
    longest = 0.0
    for number in range(1, options.runs + 1):
        seconds, swapped, skipped, hung, problems = one_run(options.cli, options.files, options.timeout, number)
        hangs += hung
        swaps += swapped
        caught += skipped
        longest = max(longest, seconds)
        failed += bool(problems)
        print(f"run {number}: {seconds:.2f} s, {swapped} files swapped for FIFOs, {skipped} of them read "
              f"after the swap and reported skipped{', HANG' if hung else ''}")
        for problem in problems[:5]:
            print(f"  {problem}")
    print(f"{options.runs} runs of {options.files} files: {swaps} swaps, {caught} reported as no plain file, "
          f"{hangs} hangs, {failed} runs with a fault, longest run {longest:.2f} s")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
