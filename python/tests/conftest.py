"""Fixtures: simulated cards (ledcard-sim as a process) inside the test's private network namespace.

The test command runs pytest inside a namespace of its own with only loopback in it (the path of
ledcard-sim in LEDCARD_SIM, the library in KELVRA_LIBRARY). Outside one, the tests that need cards skip.
"""

import json
import os
import signal
import socket
import subprocess
import time

import pytest


def in_private_network():
    if os.environ.get("VANTOR_NO_NETNS"):
        return False
    # The interfaces of this process's own namespace (sysfs may still show the host's).
    return [name for _, name in socket.if_nameindex()] == ["lo"]


def wait_until(predicate, timeout=5.0, step=0.02):
    """Polls `predicate` until it holds (its value) or `timeout` passes (None)."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(step)
    return None


class Simulator:
    def __init__(self, process, storage, journal, cards):
        self.process = process
        self.storage = storage
        self.journal_file = journal
        self.cards = cards  # [(id, address)]

    def journal(self):
        try:
            with open(self.journal_file) as f:
                return [json.loads(line) for line in f if line.strip()]
        except FileNotFoundError:
            return []

    def wait_for_frame(self, card_id, command, timeout=5.0):
        def found():
            for entry in self.journal():
                if entry.get("card") == card_id and entry.get("command") == command:
                    return entry
            return None

        return wait_until(found, timeout)

    def stored(self, card_id, card_path):
        return os.path.join(self.storage, card_id, *card_path.split("\\"))


@pytest.fixture(scope="session")
def private_network():
    if not in_private_network():
        pytest.skip("needs a private network namespace (run as root through scripts/in-netns.sh)")
    # Broadcasts need a route; inside the namespace everything goes over loopback.
    subprocess.run(["ip", "route", "replace", "default", "dev", "lo"], check=True)


@pytest.fixture
def sim(private_network, tmp_path):
    program = os.environ.get("LEDCARD_SIM")
    if not program:
        pytest.skip("LEDCARD_SIM names no simulator")
    cards = [("S730-413-07001", "127.0.6.1"), ("A901-200-07002", "127.0.6.2")]
    storage = tmp_path / "cards"
    journal = tmp_path / "journal.jsonl"
    args = [program, "--storage", str(storage), "--journal", str(journal)]
    for card_id, address in cards:
        args += ["--card", "%s@%s" % (card_id, address)]
    process = subprocess.Popen(args, stderr=subprocess.PIPE, text=True)
    ready = False
    for line in process.stderr:
        if "cards ready" in line:
            ready = True
            break
    assert ready, "ledcard-sim did not start"
    yield Simulator(process, str(storage), str(journal), cards)
    process.send_signal(signal.SIGTERM)
    process.wait(timeout=10)
