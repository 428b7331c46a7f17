"""The result names and block sizes of the Python package are those of the library's headers."""

import pathlib
import re

from kelvra import cards, errors

INCLUDE = pathlib.Path(__file__).resolve().parents[2] / "include" / "kelvra"


def header_enum(enum_name):
    """The enumerators of `enum_name` in results.h: name (without KELVRA_) -> number."""
    text = re.sub(r"/\*.*?\*/", "", (INCLUDE / "results.h").read_text(), flags=re.S)
    body = re.search(r"enum %s\s*\{([^}]*)\}" % enum_name, text)
    assert body, "no enum %s in results.h" % enum_name
    return {name: int(value) for name, value in re.findall(r"KELVRA_(\w+)\s*=\s*(-?\d+)", body.group(1))}


def test_the_failures_are_those_of_the_header():
    results = header_enum("KelvraResult")
    assert results["OK"] == 0
    assert results["OUT_OF_MEMORY"] == 34
    failures = {number for name, number in results.items() if name != "OK"}
    assert set(errors.SEND_RESULTS) == failures


def test_the_result_names_are_those_of_the_header():
    for enum_name, python_enum in (("KelvraResult", errors.Result), ("KelvraExportResult", errors.ExportResult)):
        names = {name: int(member) for name, member in python_enum.__members__.items()}
        assert names == header_enum(enum_name), enum_name


def test_the_block_sizes_are_those_of_the_header():
    text = (INCLUDE / "cards.h").read_text()
    sizes = dict(re.findall(r"#define KELVRA_(CARD_\w*INFO_SIZE) (\d+)", text))
    assert {"CARD_INFO_SIZE": cards.INFO_SIZE, "CARD_MORE_INFO_SIZE": cards.MORE_INFO_SIZE} == {
        name: int(value) for name, value in sizes.items()
    }
