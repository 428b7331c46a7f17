"""The Python package as a user gets it: `pip install ./python` into a fresh virtual environment (offline,
from Debian's wheels), then the README's Python example, exactly as written there, against ledcard-sim
cards at the README's addresses (added to loopback inside this test's private network namespace), and
mypy on the example against the installed, typed package.

usage: readme_example_test.py SOURCE_DIR          (KELVRA_LIBRARY, LEDCARD_SIM in the environment)
Exits 77 (skipped) outside a private network namespace.
"""

import json
import os
import re
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import time

SKIP = 77
CARD_ID = "S730-413-05862"
CARD_ADDRESS = "192.168.0.7"
ABSENT_ADDRESS = "192.168.0.99"


def fail(message: str) -> None:
    print("FAIL: " + message)
    sys.exit(1)


def readme_example(readme: str) -> str:
    """The first ```python block of the README's "## Python" section."""
    with open(readme, encoding="utf-8") as f:
        text = f.read()
    section = text.split("\n## Python\n", 1)[1].split("\n## ", 1)[0]
    found = re.search(r"^```python\n(.*?)^```$", section, re.M | re.S)
    if not found:
        fail("the README's Python section has no ```python block")
    return found.group(1)


def run(args: "list[str]", env: "dict[str, str]", cwd: str, timeout: float = 120) -> str:
    done = subprocess.run(args, env=env, cwd=cwd, capture_output=True, text=True, timeout=timeout)
    if done.returncode != 0:
        fail("%s exited with %d\n%s%s" % (" ".join(args), done.returncode, done.stdout, done.stderr))
    return done.stdout


def main() -> None:
    source = os.path.abspath(sys.argv[1])
    if os.environ.get("VANTOR_NO_NETNS") or [n for _, n in socket.if_nameindex()] != ["lo"]:
        print("SKIP: needs a private network namespace (root, through scripts/in-netns.sh)")
        sys.exit(SKIP)
    library = os.environ["KELVRA_LIBRARY"]
    simulator = os.environ["LEDCARD_SIM"]
    picture = os.path.join(source, "tests", "data", "bmpsuite", "g", "rgb24.bmp")

    # pip and mypy run without the sanitizer runtime the library may need; only the example gets it.
    plain_env = {k: v for k, v in os.environ.items() if k not in ("LD_PRELOAD", "PYTHONPATH")}
    plain_env["PIP_CONFIG_FILE"] = os.devnull  # this machine's pip settings are not the user's
    scratch = tempfile.mkdtemp(prefix="kelvra-python-")
    sim = None
    try:
        # A copy of the package folder, so that pip's build leaves the source tree as it is.
        package = os.path.join(scratch, "python")
        shutil.copytree(os.path.join(source, "python"), package,
                        ignore=shutil.ignore_patterns("__pycache__", "build", "*.egg-info", "tests"))
        venv = os.path.join(scratch, "venv")
        run(["/usr/bin/python3", "-m", "venv", venv], plain_env, scratch)
        python = os.path.join(venv, "bin", "python")
        run([python, "-m", "pip", "install", "--quiet", "--no-index", "--find-links", "/usr/share/python-wheels",
             package], plain_env, scratch, timeout=300)
        installed = run([python, "-c", "import os, kelvra.cards as c; print(os.path.dirname(c.__file__))"],
                        dict(plain_env, KELVRA_LIBRARY=library, LD_PRELOAD=os.environ.get("LD_PRELOAD", "")),
                        scratch).strip()
        if not installed.startswith(venv) or not os.path.exists(os.path.join(installed, "py.typed")):
            fail("the package was not installed into the environment with its py.typed: %s" % installed)

        work = os.path.join(scratch, "run")
        os.mkdir(work)
        example = os.path.join(work, "example.py")
        with open(example, "w", encoding="utf-8") as f:
            f.write(readme_example(os.path.join(source, "README.md")))
        shutil.copy(picture, os.path.join(work, "show.bmp"))
        shutil.copy(picture, os.path.join(work, "a.bmp"))

        # The example's typing against the installed package (found as a PEP 561 package).
        run(["/usr/bin/mypy", "--strict", "--no-incremental", "--cache-dir", os.devnull,
             "--python-executable", python, example], plain_env, work, timeout=300)

        # The README's addresses on loopback: one card answers at the first, nothing listens at the
        # second (so its connection is refused at once), broadcasts leave over loopback.
        for address in (CARD_ADDRESS, ABSENT_ADDRESS):
            subprocess.run(["ip", "addr", "add", address + "/32", "dev", "lo"], check=True)
        subprocess.run(["ip", "route", "replace", "default", "dev", "lo"], check=True)
        journal = os.path.join(scratch, "journal.jsonl")
        storage = os.path.join(scratch, "cards")
        sim = subprocess.Popen([simulator, "--storage", storage, "--journal", journal,
                                "--card", "%s@%s,sw=0x00090120" % (CARD_ID, CARD_ADDRESS)],
                               stderr=subprocess.PIPE, text=True)
        assert sim.stderr is not None
        for line in sim.stderr:
            if "cards ready" in line:
                break
        else:
            fail("ledcard-sim did not start")

        output = run([python, example], dict(os.environ, PYTHONPATH=""), work, timeout=120).splitlines()
        expected_start = ["%s %s" % (CARD_ID, CARD_ADDRESS), "V9.120"]
        if output[:2] != expected_start:
            fail("the example printed %r, not %r first" % (output, expected_start))
        if len(output) != 3 or "CARD_UNREACHABLE" not in output[2]:
            fail("the absent card did not give CardUnreachable: %r" % output)

        # What the card got: brightness 6 (screen-control sub-command 2) and a byte-identical show.bmp.
        stored = os.path.join(storage, CARD_ID, "Program", "Area0", "show.bmp")
        deadline = time.monotonic() + 5
        while time.monotonic() < deadline and not (
            os.path.exists(stored) and os.path.getsize(stored) == os.path.getsize(picture)
        ):
            time.sleep(0.02)
        with open(stored, "rb") as got, open(picture, "rb") as sent:
            if got.read() != sent.read():
                fail("the card stored another show.bmp")
        with open(journal, encoding="utf-8") as f:
            entries = [json.loads(line) for line in f if line.strip()]
        brightness = struct.pack("<3I", 2, 6, 6).hex()
        if not any(e.get("command") == 0x84 and e.get("data") == brightness for e in entries):
            fail("the card's journal shows no brightness 6: %r" % entries)
        with open(os.path.join(work, "a.jpg"), "rb") as f:
            if f.read(2) != b"\xff\xd8":
                fail("a.jpg is not a JPEG file")
        print("README example: %s" % " | ".join(output))
    finally:
        if sim is not None:
            sim.terminate()
            sim.wait(timeout=10)
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    main()
