"""tolvane html: a strict HTML parse, every text escaped, the spans over the
bits the codec packs, and the page as a real browser renders it."""

import html
import pathlib
import json
import os
import re
import shutil
import subprocess

import pytest

import tolvane
from conftest import CORPUS, EXAMPLES
from test_dump import packed_bits
from tolvane_cli import main
from tolvane_cli.html import CELL_HEIGHT, CELL_WIDTH, LEFT, TOP, Page

DOOR = EXAMPLES / "door_module.ncf"


def page(path, lenient=False):
    parser = tolvane.NcfParser(str(path), path.read_bytes(), lenient=lenient, recover=True)
    tree = parser.parse()
    return Page(str(path), tree, parser.get_diagnostics() + tolvane.validate(tree, parser.get_diagnostics())).html()


def pages():
    found = [(DOOR, False)]
    if CORPUS.is_dir():
        found += [(p, True) for p in sorted(CORPUS.iterdir()) if p.suffix in (".ncf", ".nfc")]
    return found


@pytest.mark.parametrize(("path", "lenient"), pages(), ids=[p.name[:40] for p, _ in pages()])
def test_every_page_passes_a_strict_html_parse(path, lenient):
    html5lib = pytest.importorskip("html5lib", reason="html5lib is a test requirement (python3-html5lib)")
    html5lib.HTMLParser(strict=True).parse(page(path, lenient))


def test_every_text_of_the_file_is_escaped(tmp_path):
    text = DOOR.read_text(encoding="latin-1").replace(
        "publish door_status", 'publish "<b onclick=\\"x\\">&amp;"', 1).replace('"percent"', '"<script>alert(1)</script>"', 1)
    path = tmp_path / "hostile.ncf"
    path.write_text(text, encoding="latin-1")
    out = page(path, lenient=True)
    assert "<script" not in out and "<b " not in out
    assert "&lt;script&gt;alert(1)&lt;/script&gt;" in out and "&lt;b onclick=" in out
    control = page_of_text(tmp_path, text.replace('"Door control module', '"Door\x1b\x85 control module', 1))
    assert "Door\\x1B\\x85 control module" in control
    html5lib = pytest.importorskip("html5lib", reason="html5lib is a test requirement (python3-html5lib)")
    html5lib.HTMLParser(strict=True).parse(control)


def page_of_text(tmp_path, text):
    path = tmp_path / "text.ncf"
    path.write_bytes(text.encode("latin-1"))
    return page(path, lenient=True)


def spans(svg):
    """The bits each signal's spans cover, read back from their geometry."""
    covered = {}
    for match in re.finditer(r'<rect class="span" data-signal="(\d+)" x="([\d.]+)" y="([\d.]+)" width="([\d.]+)"',
                             svg):
        signal, x, y, width = int(match[1]), float(match[2]), float(match[3]), float(match[4])
        byte = int((y - TOP) // CELL_HEIGHT)
        left = round((x - 3 - LEFT) / CELL_WIDTH)
        count = round((width + 6) / CELL_WIDTH)
        covered.setdefault(signal, set()).update(byte * 8 + 7 - column for column in range(left, left + count))
    return covered


def test_the_spans_cover_the_bits_the_codec_packs():
    node = tolvane.NcfParser(str(DOOR)).parse().nodes[0]
    out = page(DOOR)
    for frame, svg in zip(node.frames, re.findall(r"<svg.*?</svg>", out, re.S)):
        assert svg.count('<rect class="cell') == 8 * frame.properties.length
        expected = {s: packed_bits(frame, signal.name) for s, signal in enumerate(frame.signals)}
        assert spans(svg) == expected


def test_diagnostics_link_to_what_they_concern(tmp_path):
    path = tmp_path / "overlap.ncf"
    path.write_text(DOOR.read_text(encoding="latin-1").replace("offset = 9;", "offset = 8;", 1), encoding="latin-1")
    out = page(path)
    links = re.findall(r'<li class="(\w+)"><a href="#([\w-]+)">', out)
    assert ("error", "n0-f0-s3") in links  # comm_error, the second signal on the bit
    assert all(f'id="{anchor}"' in out for _, anchor in links)


def test_the_command_writes_one_page_per_file(tmp_path, capsys):
    second = tmp_path / "second.ncf"
    second.write_bytes(DOOR.read_bytes())
    assert main(["html", str(DOOR), str(second), "-o", str(tmp_path / "out")]) == 0
    assert sorted(os.listdir(tmp_path / "out")) == ["door_module.html", "second.html"]
    assert main(["html", str(DOOR), str(second)]) == 2
    assert "one FILE to write to standard output" in capsys.readouterr().err
    assert main(["html", str(DOOR)]) == 0
    assert capsys.readouterr().out.startswith("<!DOCTYPE html>")


# --- in a real browser --------------------------------------------------------------

CHECK = """<script>
(function () {
  const frames = [...document.querySelectorAll("svg.layout")].map(svg => svg.querySelectorAll("rect.cell").length);
  const labels = [...document.querySelectorAll("svg text.label")].map(label => {
    const box = label.getBoundingClientRect(), frame = label.ownerSVGElement.getBoundingClientRect();
    const style = getComputedStyle(label);
    return [label.textContent, box.width > 0 && box.height > 0 && style.visibility === "visible" &&
            style.display !== "none" && box.left >= frame.left - 1 && box.right <= frame.right + 1];
  });
  document.body.setAttribute("data-check", JSON.stringify({frames, labels}));
})();
</script>
"""


def chromium():
    for name in ("chromium", "chromium-browser"):
        if found := shutil.which(name):
            return found
    pytest.skip("chromium is not installed (Debian's chromium package; CI installs it)")


def render(browser, path, *flags):
    # The browser runs as it is, even when the tests run under a sanitizer.
    env = {k: v for k, v in os.environ.items() if k != "LD_PRELOAD" and not k.endswith("SAN_OPTIONS")}
    return subprocess.run(
        [browser, "--headless", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage", "--no-first-run",
         "--enable-logging=stderr", "--v=0", "--window-size=1000,1800", *flags, path.as_uri()],
        capture_output=True, text=True, timeout=120, env=env)


def test_the_page_in_a_real_browser(tmp_path):
    browser = chromium()
    checked = tmp_path / "door_module.html"
    checked.write_text(page(DOOR).replace("</body>", CHECK + "</body>"), encoding="utf-8")
    rendered = render(browser, checked, "--dump-dom")
    assert "CONSOLE" not in rendered.stderr and "Uncaught" not in rendered.stderr
    found = re.search(r'data-check="([^"]*)"', rendered.stdout)
    assert found, rendered.stderr[-2000:]
    check = json.loads(html.unescape(found[1]))
    node = tolvane.NcfParser(str(DOOR)).parse().nodes[0]
    assert check["frames"] == [8 * frame.properties.length for frame in node.frames]
    names = sorted(signal.name for frame in node.frames for signal in frame.signals)
    assert sorted(name for name, _ in check["labels"]) == names
    assert all(visible for _, visible in check["labels"])
    # The page as it is (no script added) rendered to a picture, kept for people to look at.
    artifacts = pathlib.Path(os.environ.get("TOLVANE_ARTIFACTS", tmp_path))
    artifacts.mkdir(parents=True, exist_ok=True)
    plain = tmp_path / "plain.html"
    plain.write_text(page(DOOR), encoding="utf-8")
    shot = artifacts / "door_module.png"
    rendered = render(browser, plain, f"--screenshot={shot}")
    assert "CONSOLE" not in rendered.stderr and shot.stat().st_size > 10_000
