"""The result list of the Python package is the one of the library's header."""

import pathlib
import re

from kelvra import errors

HEADER = pathlib.Path(__file__).resolve().parents[2] / "include" / "kelvra" / "results.h"


def header_results():
    """The enumerators of enum KelvraResult in results.h: name -> number."""
    text = re.sub(r"/\*.*?\*/", "", HEADER.read_text(), flags=re.S)
    body = re.search(r"enum KelvraResult\s*\{([^}]*)\}", text)
    assert body, "no enum KelvraResult in %s" % HEADER
    return {name: int(value) for name, value in re.findall(r"(KELVRA_\w+)\s*=\s*(-?\d+)", body.group(1))}


def test_the_failures_are_those_of_the_header():
    results = header_results()
    assert results["KELVRA_OK"] == 0
    assert results["KELVRA_OUT_OF_MEMORY"] == 34
    failures = {number for name, number in results.items() if name != "KELVRA_OK"}
    assert set(errors.SEND_RESULTS) == failures

