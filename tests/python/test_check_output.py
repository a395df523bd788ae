"""tolvane check's output for CI and people: GitHub workflow commands,
--statistics, --quiet, colour, and the same output whatever --jobs is."""

import pytest

import tolvane
from conftest import CORPUS, EXAMPLES
from test_check_formats import FAULTS, write
from tolvane_cli import main
from tolvane_cli.check import github_data, github_property


@pytest.mark.parametrize(("text", "data", "value"), [
    ("plain text", "plain text", "plain text"),
    ("100% sure", "100%25 sure", "100%25 sure"),
    ("a\r\nb", "a%0D%0Ab", "a%0D%0Ab"),
    ("x:1,y", "x:1,y", "x%3A1%2Cy"),
    ("%0A", "%250A", "%250A"),  # a percent sign first, so that escapes are not read twice
    ("::error::", "::error::", "%3A%3Aerror%3A%3A"),
])
def test_workflow_commands_escape_as_the_runner_reads(text, data, value):
    assert (github_data(text), github_property(text)) == (data, value)


def test_github_format_is_one_workflow_command_per_diagnostic(tmp_path, capsys):
    path = write(tmp_path, FAULTS, name="a,b:c%.ncf")
    escaped = path.replace("%", "%25").replace(":", "%3A").replace(",", "%2C")
    assert main(["check", "--format", "github", path]) == 1
    out, err = capsys.readouterr()
    assert err == ""
    assert out.splitlines() == [
        f"::error file={escaped},line=4,col=52,title=supplier-id::Supplier ID 0x1FFFF does not fit 16 bits",
        f"::error file={escaped},line=4,col=85,title=variant-id::Variant ID 300 does not fit 8 bits",
        f"::warning file={escaped},line=5,col=20,title=nad::NAD 0x80 is in the free-usage range 0x80..0xFF",
        f"::error file={escaped},line=6,col=99,title=signal-size::Scalar signal 's' has size 17, expected 1..16",
    ]


def test_github_format_gives_a_notice_and_leaves_out_a_line_it_has_not(tmp_path, capsys):
    path = write(tmp_path, "node_capability_file;\nLIN_language_version = \"2.1\";\nnode n {")
    assert main(["check", "--format", "github", "--select", "not-checked", path]) == 0
    assert capsys.readouterr().out == f"::notice file={path},line=3,col=6,title=not-checked::Node 'n' was not " \
                                      "checked: it has syntax errors\n"


def test_statistics_count_each_code_most_frequent_first(tmp_path, capsys):
    twice = write(tmp_path, FAULTS, "twice.ncf")
    once = write(tmp_path, FAULTS.replace("variant = 300;", "variant = 0;"), "once.ncf")
    assert main(["check", "--statistics", twice, once]) == 1
    rules = tolvane.rules()
    assert capsys.readouterr().out.splitlines() == [
        f"2  supplier-id  {rules['supplier-id']}",
        f"2  nad          {rules['nad']}",
        f"2  signal-size  {rules['signal-size']}",
        f"1  variant-id   {rules['variant-id']}",
        "2 files checked: 5 errors, 2 warnings in 2 files",
    ]
    assert main(["check", "--statistics", "--quiet", "--select", "nad", once]) == 0
    assert capsys.readouterr().out == f"1  nad  {rules['nad']}\n"
    assert main(["check", "--statistics", "--format", "json", once]) == 2
    assert capsys.readouterr().err == "tolvane: check: --statistics prints text, not --format json\n"


def test_quiet_prints_the_diagnostics_only(tmp_path, capsys):
    path = write(tmp_path, FAULTS)
    assert main(["check", "-q", "--select", "nad", path]) == 0
    assert capsys.readouterr() == (f"{path}:5:20: warning: NAD 0x80 is in the free-usage range 0x80..0xFF [nad]\n", "")


class Terminal:
    """A stand-in for standard output that is a terminal."""

    def __init__(self):
        self.lines = []

    def write(self, text):
        self.lines.append(text)

    def flush(self):
        pass

    def isatty(self):
        return True


@pytest.mark.parametrize(("environment", "terminal", "coloured"), [
    ({}, True, True),
    ({}, False, False),
    ({"NO_COLOR": "1"}, True, False),
    ({"NO_COLOR": ""}, True, True),  # set but empty: as if not set
    ({"FORCE_COLOR": "1"}, False, True),
    ({"FORCE_COLOR": "1", "NO_COLOR": "1"}, False, False),
    ({"TERM": "dumb"}, True, False),
])
def test_colour_only_on_a_terminal_as_no_color_and_force_color_say(tmp_path, monkeypatch, capsys, environment,
                                                                    terminal, coloured):
    for name in ("NO_COLOR", "FORCE_COLOR", "TERM"):
        monkeypatch.delenv(name, raising=False)
    for name, value in environment.items():
        monkeypatch.setenv(name, value)
    out = Terminal()
    if terminal:
        monkeypatch.setattr("sys.stdout", out)
    path = write(tmp_path, FAULTS)
    main(["check", "--select", "nad", path])
    text = "".join(out.lines) if terminal else capsys.readouterr().out
    line, summary = text.splitlines()
    plain = f"{path}:5:20: warning: NAD 0x80 is in the free-usage range 0x80..0xFF [nad]"
    if coloured:
        assert line == f"\033[1m{path}\033[0m:5:20: \033[1;33mwarning\033[0m: NAD 0x80 is in the free-usage range 0x80..0xFF \033[2m[nad]\033[0m"
    else:
        assert line == plain
    assert summary == "1 file checked: 1 warning in 1 file"  # never coloured
    # The machine formats are never coloured.
    monkeypatch.setenv("FORCE_COLOR", "1")
    main(["check", "--format", "github", "--select", "nad", path])
    written = "".join(out.lines) if terminal else capsys.readouterr().out
    assert "\033" not in written.split("\n", 2)[-1]


@pytest.mark.parametrize("output", ["text", "json", "sarif", "github"])
def test_the_output_is_the_same_whatever_the_number_of_threads(capsys, output):
    paths = [str(EXAMPLES), *(sorted(map(str, CORPUS.iterdir())) if CORPUS.is_dir() else []), "missing.ncf"]
    outputs = set()
    for jobs in ("1", "2", "7"):
        status = main(["check", "--isolated", "--lenient", "--format", output, "--jobs", jobs, *paths])
        outputs.add((status, *capsys.readouterr()))
    assert len(outputs) == 1
    status, out, err = outputs.pop()
    assert status == 2 and err.endswith("tolvane: cannot read missing.ncf: No such file or directory\n")
    assert out.count("broken.ncf") > 1


def test_jobs_must_be_at_least_one(capsys):
    assert main(["check", "--jobs", "0", str(EXAMPLES)]) == 2
    assert "argument --jobs: expected a number of threads of at least 1, not '0'" in capsys.readouterr().err
