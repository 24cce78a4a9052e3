#!/usr/bin/env python3
"""The region host rewrite on a real server's own region file.

On a copy of the installed server tree, `vantor-cli regions --host localhost` and then
`--local` each rewrite Regions/Regions.ini; after each the server starts, reads the file and
announces that host in its region report (`show region`). Only the host line changes.
"""

import os
import re
import shutil
import sys

from opensim_harness import Harness


def read_bytes(folder):
    return {name: open(os.path.join(folder, name), "rb").read() for name in sorted(os.listdir(folder))}


def changed_lines(before, after):
    """The (before, after) pairs of lines that differ, line ends included; None if the counts differ."""
    old, new = before.splitlines(keepends=True), after.splitlines(keepends=True)
    if len(old) != len(new):
        return None
    return [(a, b) for a, b in zip(old, new) if a != b]


def test(h):
    copy = h.path("tree")
    shutil.copytree(h.tree, copy, symlinks=True, ignore=shutil.ignore_patterns(".run.lock", "*.log"))
    regions = os.path.join(copy, "Regions")
    installed = read_bytes(regions)
    port = re.search(rb"^InternalPort = (\d+)", installed["Regions.ini"], re.MULTILINE).group(1).decode()

    # The server resolves the announced name when it reports the region: a name it cannot
    # resolve leaves "show region" failing, so the test uses one that every machine resolves.
    for option, host in ((["--host", "localhost"], "localhost"), (["--local"], "127.0.0.1")):
        before = read_bytes(regions)
        code, out, err = h.cli("regions", copy, *option)
        h.check(code == 0 and "Regions.ini: rewritten" in out, "regions %s rewrites Regions.ini" % " ".join(option),
                out + err)
        after = read_bytes(regions)
        changes = changed_lines(before["Regions.ini"], after["Regions.ini"])
        h.check(changes is not None and len(changes) == 1
                and changes[0][1] == ("ExternalHostName = %s\n" % host).encode(),
                "regions %s changes only the host line, every other byte stays" % " ".join(option),
                "changed lines: %r" % changes)
        others = [name for name in before if name != "Regions.ini" and before[name] != after.get(name)]
        h.check(not others, "regions %s leaves the other files of Regions alone" % " ".join(option),
                "changed: %s" % others)

        console = h.session(["show region"], tree=copy)
        report = console.output_of(0) or ""
        h.check("Region address             : http://%s:%s/" % (host, port) in report
                and "From region file           : ./Regions/Regions.ini" in report,
                "the server reads the rewritten file and announces %s" % host,
                "\n".join(report.splitlines()[:12]))

    h.check(read_bytes(regions) == installed, "after --local the region files are the installed ones byte for byte")


if __name__ == "__main__":
    sys.exit(Harness("region hosts").run_guarded(test))
