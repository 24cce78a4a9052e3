"""What the real-server tests share: the server sessions, vantor-cli, an own reading of the
scene files, archives and listings involved, and the list of named checks that ends a test.

A test script builds a Harness, runs sessions and commands through it, records checks, and
ends with `sys.exit(harness.finish())`. Everything it writes goes into one scratch folder,
removed at the end unless VANTOR_OPENSIM_KEEP=1.
"""

import base64
import math
import os
import re
import shutil
import subprocess
import sys
import tarfile
import tempfile
import traceback
import xml.etree.ElementTree as ET

SKIPPED = 77  # CTest's SKIP_RETURN_CODE for these tests

# Lines of a load that tell of trouble; a load that works prints nothing.
TROUBLE = re.compile(r"error|warn|exception|fail|already contains|not found|invalid", re.IGNORECASE)


class ServerFailed(Exception):
    """A session that did not run to its end; the message holds the tail of the console."""


class Transcript:
    """The console of one session, cut at the commands the driver sent."""

    PROMPT = "Region (Test Region) # "

    def __init__(self, text, commands):
        self.text = text
        self.commands = [c for c in commands if c.strip() and not c.startswith("#")]

    def output_of(self, index):
        """What the console printed after command `index` (0-based) and before the next prompt.

        The driver writes each command after the prompt; lines the server logs in the background
        may come between the prompt and the command, so the command is found at a line start too.
        """
        position = 0
        for number, command in enumerate(self.commands):
            echo = re.compile(r"(?:^|\n|# )" + re.escape(command) + r"\n")
            found = echo.search(self.text, position)
            if not found:
                return None
            position = found.end()
            if number == index:
                end = self.text.find(self.PROMPT, position)
                return self.text[position:] if end < 0 else self.text[position:end]
        return None


class Harness:
    def __init__(self, title):
        self.title = title
        self.passed = 0
        self.failed = 0
        server = os.environ.get("VANTOR_OPENSIM_SERVER", "")
        tree = os.environ.get("VANTOR_OPENSIM_TREE", "")
        self.cli_path = os.environ.get("VANTOR_CLI", "")
        self.samples = os.environ.get("VANTOR_OPENSIM_SAMPLES", "")
        self.source = os.environ.get("VANTOR_SOURCE_DIR", "")
        if not os.path.isfile(os.path.join(server, "run.sh")):
            print("SKIP: no OpenSim server folder at %r (VANTOR_OPENSIM_SERVER)" % server)
            sys.exit(SKIPPED)
        if not os.path.isfile(os.path.join(tree, "OpenSim.exe")):
            print("SKIP: no installed server tree at %r; ./test installs it" % tree)
            sys.exit(SKIPPED)
        self.server = server
        self.tree = tree
        self.work = tempfile.mkdtemp(prefix="vantor-opensim-")
        self.sessions = 0
        print("%s: scratch folder %s" % (title, self.work))

    # ---- checks ---------------------------------------------------------------------------

    def check(self, ok, name, detail=""):
        if ok:
            self.passed += 1
            print("PASS: " + name)
        else:
            self.failed += 1
            print("FAIL: " + name + ("\n    " + detail.replace("\n", "\n    ") if detail else ""))
        return ok

    def finish(self):
        if os.environ.get("VANTOR_OPENSIM_KEEP") == "1":
            print("kept: " + self.work)
        else:
            shutil.rmtree(self.work, ignore_errors=True)
        print("%d passed, %d failed" % (self.passed, self.failed))
        return 0 if self.failed == 0 and self.passed > 0 else 1

    def run_guarded(self, body):
        """Runs the test body; a session that failed ends the test with its console's tail."""
        try:
            body(self)
        except ServerFailed as failure:
            self.check(False, "the server session ran to its end", str(failure))
        except Exception:  # a file the test cannot read, a program that is missing
            self.check(False, "the test ran to its end", traceback.format_exc())
        return self.finish()

    def read(self, label, reader, path):
        """Reads a file with one of the readers below; a file they cannot read is a failed check."""
        try:
            return reader(path)
        except (OSError, ValueError, ET.ParseError, tarfile.TarError, AttributeError, IndexError, TypeError) as error:
            self.check(False, "%s reads as a scene" % label, "%s: %s" % (path, error))
            return None

    # ---- files and programs ---------------------------------------------------------------

    def path(self, name):
        return os.path.join(self.work, name)

    def write(self, name, text):
        """Writes text as UTF-8 exactly as given (line ends included)."""
        with open(self.path(name), "w", encoding="utf-8", newline="") as out:
            out.write(text)
        return self.path(name)

    def cli(self, *args):
        """Runs vantor-cli in the scratch folder; gives (exit code, stdout, stderr)."""
        done = subprocess.run([self.cli_path, *args], cwd=self.work, capture_output=True, text=True)
        return done.returncode, done.stdout, done.stderr

    def session(self, commands, tree=None):
        """Starts the server on an empty region, sends the commands, quits; gives the Transcript.

        Raises ServerFailed when the server does not come up, a command times out or the server
        dies, with the tail of its console and of the driver's report.
        """
        self.sessions += 1
        name = "session%d" % self.sessions
        # At quit the server stores every object it holds, about 15 s for the samples; the
        # region is dropped anyway (the next session starts empty), so its objects go first.
        ending = ["delete object name --regex .*", "#if-asked y"]
        command_file = self.write(name + ".cmds", "".join(c + "\n" for c in list(commands) + ending))
        log = self.path(name + ".console.log")
        driver = subprocess.run(
            [os.path.join(self.server, "run.sh"), "-b", tree or self.tree, "--fresh",
             "--startup-timeout", "120", "--command-timeout", "120", command_file, "-o", log],
            capture_output=True, text=True)
        try:
            with open(log, encoding="utf-8", errors="replace") as transcript:
                text = transcript.read()
        except OSError:
            text = ""
        report = [line for line in driver.stderr.splitlines() if line.startswith("[run.sh]")]
        for line in report:
            if "ready after" in line or "total" in line:
                print("    " + line)
        if driver.returncode != 0:
            tail = "\n".join(text.splitlines()[-40:])
            raise ServerFailed("run.sh exited with %d\n--- driver ---\n%s\n--- console (last 40 lines) ---\n%s"
                               % (driver.returncode, "\n".join(report[-10:]), tail))
        return Transcript(text, commands)


# ---- an own reading of scene files --------------------------------------------------------

def _child(element, name):
    """The direct child of that name in any letter case (OpenSim reads them so)."""
    for child in element:
        if child.tag.lower() == name.lower():
            return child
    return None


def _vector(element, name):
    vector = _child(element, name)
    return tuple(float(component.text) for component in vector)


def _quaternion(element, name):
    values = {component.tag.lower(): float(component.text) for component in _child(element, name)}
    return (values["x"], values["y"], values["z"], values["w"])


class Part:
    def __init__(self, element):
        identifier = _child(element, "UUID")
        self.uuid = identifier[0].text
        name = _child(element, "Name")
        self.name = (name.text or "") if name is not None else ""
        self.owner = _child(element, "OwnerID")[0].text
        self.creator = _child(element, "CreatorID")[0].text
        self.group_position = _vector(element, "GroupPosition")
        self.offset = _vector(element, "OffsetPosition")
        self.rotation = _quaternion(element, "RotationOffset")
        self.scale = _vector(element, "Scale")  # the part's own, after Shape
        link = _child(element, "LinkNum")
        self.link_num = int(link.text) if link is not None and link.text else 0
        shape = _child(element, "Shape")
        self.shape = {child.tag: (child.text or "") for child in shape if len(child) == 0}


class SceneObject:
    def __init__(self, group):
        parts = [element for element in group.iter() if element.tag == "SceneObjectPart"]
        self.root = Part(parts[0])
        self.children = [Part(element) for element in parts[1:]]
        self.uuid = self.root.uuid
        self.name = self.root.name

    def parts_in_link_order(self):
        return [self.root] + sorted(self.children, key=lambda part: part.link_num)

    def world_position(self, part):
        """Root position plus the part's offset turned by the root's rotation."""
        if part is self.root:
            return self.root.group_position
        turned = rotate(self.root.rotation, part.offset)
        return tuple(p + t for p, t in zip(self.root.group_position, turned))


    def world_rotation(self, part):
        """The root's rotation times the part's own."""
        if part is self.root:
            return self.root.rotation
        return multiply(self.root.rotation, part.rotation)


def multiply(a, b):
    ax, ay, az, aw = a
    bx, by, bz, bw = b
    return (aw * bx + ax * bw + ay * bz - az * by, aw * by + ay * bw + az * bx - ax * bz,
            aw * bz + az * bw + ax * by - ay * bx, aw * bw - ax * bx - ay * by - az * bz)


def rotate(quaternion, vector):
    x, y, z, w = quaternion
    vx, vy, vz = vector
    # v' = v + 2w (q x v) + 2 q x (q x v)
    cx, cy, cz = y * vz - z * vy, z * vx - x * vz, x * vy - y * vx
    ccx, ccy, ccz = y * cz - z * cy, z * cx - x * cz, x * cy - y * cx
    return (vx + 2 * (w * cx + ccx), vy + 2 * (w * cy + ccy), vz + 2 * (w * cz + ccz))


def read_scene(path):
    """The objects of a <scene> file in file order."""
    with open(path, "rb") as scene:
        root = ET.fromstring(scene.read())
    return [SceneObject(group) for group in root.iter("SceneObjectGroup")]


def read_archive(path):
    """The objects of a region archive, in the archive's order of its objects/ entries."""
    objects = []
    with tarfile.open(path, "r:gz") as archive:
        for entry in archive:
            if entry.isfile() and entry.name.startswith("objects/") and entry.name.endswith(".xml"):
                objects.append(SceneObject(ET.fromstring(archive.extractfile(entry).read())))
    return objects


def texture_uuid(texture_entry):
    """The default texture of a texture entry: its first 16 bytes."""
    return base64.b64decode(texture_entry)[:16].hex()


# ---- an own reading of prim listings ----------------------------------------------------

LINE_A = re.compile(r"^\[\d{1,2}:\d\d\]  (.*): (\d+), <([^>]*)>, <([^>]*)>, <([^>]*)>, $")


class ListingRecord:
    def __init__(self, name, position, rotation, size, values):
        self.name = name
        self.position = position
        self.rotation = rotation
        self.size = size
        self.values = values  # line B's values, angle brackets dropped


def read_listing(path):
    """The header line and the records of a listing (CR LF lines)."""
    with open(path, encoding="utf-8", newline="") as listing:
        lines = listing.read().split("\r\n")
    if lines and lines[-1] == "":
        lines.pop()
    records = []
    for first, second in zip(lines[1::2], lines[2::2]):
        match = LINE_A.match(first)
        if not match:
            raise ValueError("not a record line: %r" % first)
        numbers = [tuple(float(v) for v in match.group(k).split(", ")) for k in (3, 4, 5)]
        values = [float(v) for v in second.replace("<", "").replace(">", "").split(", ")[:-1]]
        records.append(ListingRecord(match.group(1), *numbers, values))
    return (lines[0] if lines else ""), records


def close(a, b, relative=1e-6, absolute=1e-6):
    return len(a) == len(b) and all(math.isclose(x, y, rel_tol=relative, abs_tol=absolute) for x, y in zip(a, b))
