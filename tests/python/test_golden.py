"""Whole files against their expected trees: tests/data/NAME.json holds the
tree and the diagnostics that parsing NAME.ncf gives. After a deliberate
change, `pytest tests/python/test_golden.py --update-goldens` rewrites them;
review the diff."""

import json

import pytest

import tolvane
from conftest import DATA, EXAMPLES, to_dict

CASES = [EXAMPLES / "door_module.ncf", EXAMPLES / "broken.ncf", *sorted(DATA.glob("*.ncf"))]


def parse_whole(path):
    """The tree and the diagnostics of a file, in the form the JSON holds.
    The file is handed over as content so that the name in the records is
    the bare file name, wherever the checkout lies."""
    parser = tolvane.NcfParser(path.name, path.read_bytes())
    tree = to_dict(parser.parse())
    diagnostics = parser.get_diagnostics()
    assert {(d.file, d.severity) for d in diagnostics} <= {(path.name, tolvane.Diagnostic.Error)}
    return {"tree": tree, "diagnostics": [[d.line, d.column, d.message] for d in diagnostics]}


@pytest.mark.parametrize("path", CASES, ids=[path.stem for path in CASES])
def test_golden(path, request):
    golden = DATA / f"{path.stem}.json"
    if request.config.getoption("--update-goldens"):
        golden.write_text(json.dumps(parse_whole(path), indent=1, ensure_ascii=False) + "\n", encoding="utf-8")
    assert parse_whole(path) == json.loads(golden.read_text(encoding="utf-8"))
