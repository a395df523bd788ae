"""Project settings: where they are found, what overrides them, and every
way a settings file can be wrong."""

import datetime

import pytest
from hypothesis import given, settings
from hypothesis.strategies import (booleans, dictionaries, floats, integers, just, lists, recursive, sampled_from,
                                   text)

import tolvane
import tolvane_cli.settings as tolvane_settings
from test_check_formats import CLEAN
from tolvane_cli import main

# supplier-id (an error) on line 4, nad (a warning) on line 5; a # comment
# that only the lenient reading takes, as a dialect-hash-comment warning.
FAULTS = CLEAN.replace("supplier = 1;", "supplier = 0x1FFFF;").replace("NAD = 0x10;", "NAD = 0x80;")
HASHED = FAULTS.replace("node n {", "# an old comment\nnode n {")


@pytest.fixture
def project(tmp_path, monkeypatch):
    """A project folder, the current directory, with one faulty file; write(name, text) adds a file."""
    monkeypatch.chdir(tmp_path)
    (tmp_path / ".git").mkdir()  # the top of a repository: no settings from above it
    (tmp_path / "node.ncf").write_text(FAULTS)

    def write(name, text):
        path = tmp_path / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text(text)
        return path

    return write


def codes_reported(capsys, *argv):
    status = main(["check", *argv])
    out, err = capsys.readouterr()
    return status, [line.rsplit(" [", 1)[1][:-1] for line in out.splitlines() if " [" in line], err


@pytest.mark.parametrize(("settings_file", "settings", "argv", "codes"), [
    (None, "", [], ["supplier-id", "nad"]),
    ("pyproject.toml", '[tool.tolvane]\nselect = ["nad"]\n', [], ["nad"]),
    ("tolvane.toml", 'ignore = ["nad"]\n', [], ["supplier-id"]),
    # An option replaces the setting of its own name, and only that one.
    ("tolvane.toml", 'select = ["nad"]\n', ["--select", "supplier"], ["supplier-id"]),
    ("tolvane.toml", 'select = ["nad", "supplier"]\nignore = ["nad"]\n', ["--select", "nad"], []),
    ("tolvane.toml", 'ignore = ["nad"]\n', ["--ignore", "supplier"], ["nad"]),
    # A pyproject.toml without the table holds no settings: the search goes on upward.
    ("pyproject.toml", '[project]\nname = "tolvane-nodes"\n', [], ["supplier-id", "nad"]),
    ("tolvane.toml", 'select = ["nad"]\n', ["--isolated"], ["supplier-id", "nad"]),
])
def test_the_settings_choose_the_codes_and_options_override_them(project, capsys, settings_file, settings, argv,
                                                                  codes):
    if settings_file:
        project(settings_file, settings)
    assert codes_reported(capsys, *argv, "node.ncf")[1] == codes


def test_lenient_from_the_settings_and_no_lenient_over_it(project, capsys):
    project("node.ncf", HASHED)
    project("tolvane.toml", "lenient = true\n")
    assert "dialect-hash-comment" in codes_reported(capsys, "node.ncf")[1]
    assert codes_reported(capsys, "--no-lenient", "node.ncf")[1][0] == "syntax"


def test_the_nearest_settings_win_and_a_tolvane_toml_before_a_pyproject(project, capsys, monkeypatch, tmp_path):
    project("pyproject.toml", '[tool.tolvane]\nselect = ["supplier"]\n')
    assert codes_reported(capsys, "node.ncf")[1] == ["supplier-id"]
    project("tolvane.toml", 'select = ["nad"]\n')
    assert codes_reported(capsys, "node.ncf")[1] == ["nad"]
    project("sub/deeper/pyproject.toml", '[tool.tolvane]\nignore = ["nad", "supplier"]\n')
    monkeypatch.chdir(tmp_path / "sub" / "deeper")
    assert codes_reported(capsys, "../../node.ncf")[1] == []


def test_config_names_the_settings_file(project, capsys, tmp_path):
    elsewhere = project("elsewhere/custom.toml", 'select = ["nad"]\n')
    project("tolvane.toml", 'select = ["supplier"]\n')
    assert codes_reported(capsys, "--config", str(elsewhere), "node.ncf")[1] == ["nad"]
    explicit = project("other/pyproject.toml", '[project]\nname = "x"\n')  # no table: no settings
    assert codes_reported(capsys, "--config", str(explicit), "node.ncf")[1] == ["supplier-id", "nad"]


KEYS = "select, ignore, lenient, exclude, extend-include, per-file-ignores"


@pytest.mark.parametrize(("name", "text", "message"), [
    ("tolvane.toml", 'selct = ["nad"]\n', f"unknown key 'selct' (the keys: {KEYS})"),
    ("pyproject.toml", '[tool.tolvane]\nselct = ["nad"]\n', f"[tool.tolvane] unknown key 'selct' (the keys: {KEYS})"),
    ("tolvane.toml", 'select = "nad"\n', "select: expected a list of codes, not a string"),
    ("tolvane.toml", 'ignore = [1]\n', "ignore: expected a list of codes, not an array"),
    ("tolvane.toml", 'select = ["nadd"]\n', "select: unknown code 'nadd' (a code or the start of codes: syntax, "),
    ("tolvane.toml", 'select = [""]\n', "select: unknown code ''"),
    ("tolvane.toml", 'lenient = "yes"\n', "lenient: expected true or false, not a string"),
    ("tolvane.toml", 'exclude = "legacy"\n', "exclude: expected a list of glob patterns, not a string"),
    ("tolvane.toml", 'extend-include = ["/"]\n', "extend-include: '/' is not a glob pattern"),
    ("tolvane.toml", 'per-file-ignores = ["nad"]\n', "per-file-ignores: expected a table of glob patterns"),
    ("tolvane.toml", '[per-file-ignores]\n"*.ncf" = "nad"\n', "per-file-ignores: '*.ncf': expected a list of codes"),
    ("tolvane.toml", '[per-file-ignores]\n"*.ncf" = ["nope"]\n', "per-file-ignores: '*.ncf': unknown code 'nope'"),
    ("tolvane.toml", 'lenient = 2020-01-01\n', "lenient: expected true or false, not a date or time"),
    ("tolvane.toml", "select = [\n", "not valid TOML: "),
    ("pyproject.toml", "[tool]\ntolvane = 1\n", "tool.tolvane: expected a table, not an integer"),
])
def test_wrong_settings_are_an_error_naming_the_file_and_the_key(project, capsys, name, text, message):
    path = project(name, text)
    for command in (["check", "node.ncf"], ["show", "node.ncf"], ["fmt", "--check", "."]):
        assert main(command) == 2
        out, err = capsys.readouterr()
        assert (out, err.startswith(f"tolvane: {path}: {message}")) == ("", True), err


def test_config_and_isolated_exclude_each_other_and_a_missing_config_is_named(project, capsys, tmp_path):
    assert main(["check", "--config", "tolvane.toml", "--isolated", "node.ncf"]) == 2
    assert capsys.readouterr().err == "tolvane: --config and --isolated exclude each other\n"
    assert main(["check", "--config", "missing.toml", "node.ncf"]) == 2
    assert capsys.readouterr().err == "tolvane: cannot read the settings missing.toml: No such file or directory\n"


@pytest.mark.parametrize(("table", "codes"), [
    ('"node.ncf" = ["nad"]', ["supplier-id", "supplier-id"]),   # by name, wherever the file is
    ('"sub/*.ncf" = ["supplier"]', ["supplier-id", "nad", "nad"]),  # by path from the settings' folder
    ('"**/node.ncf" = ["nad", "supplier"]', []),
    ('"*.txt" = ["nad"]', ["supplier-id", "nad", "supplier-id", "nad"]),
])
def test_per_file_ignores_leave_codes_out_of_the_files_a_pattern_matches(project, capsys, table, codes):
    project("sub/node.ncf", FAULTS)
    project("tolvane.toml", f"[per-file-ignores]\n{table}\n")
    assert codes_reported(capsys, "node.ncf", "sub")[1] == codes


# Any value TOML can give, under any key: taken, or refused with a message
# that names the file and the key; never another exception.
toml_values = recursive(
    booleans() | integers() | floats(allow_nan=False) | text(max_size=8) | sampled_from(["nad", "syntax", "*.ncf", ""])
    | just(datetime.date(2020, 1, 1)),
    lambda inner: lists(inner, max_size=4) | dictionaries(text(max_size=6), inner, max_size=3),
    max_leaves=8,
)


@settings(max_examples=300, deadline=None)
@given(key=sampled_from([*tolvane_settings.KEYS, "selct", ""]), value=toml_values)
def test_any_value_under_any_key_is_taken_or_refused_by_name(key, value):
    codes = tuple(tolvane.rules())
    try:
        read = tolvane_settings._settings("/p/tolvane.toml", {key: value}, codes)
    except tolvane_settings.SettingsError as error:
        assert str(error).startswith(f"tolvane: /p/tolvane.toml: {key}: " if key in tolvane_settings.KEYS
                                     else f"tolvane: /p/tolvane.toml: unknown key {key!r}")
    else:
        attribute = tolvane_settings.KEYS[key][0]
        assert getattr(read, attribute) == (tuple(value) if isinstance(value, list) else
                                            tuple((k, tuple(v)) for k, v in value.items()) if isinstance(value, dict)
                                            else value)


@settings(max_examples=500, deadline=None)
@given(patterns=lists(text(alphabet="[]*?/!\\-a.", max_size=8), max_size=4), name=text(alphabet="[]*?/!\\-a.", max_size=6))
def test_any_glob_pattern_compiles_and_matches_without_raising(patterns, name):
    matcher = tolvane_settings.PathPatterns(patterns)
    assert matcher.matches(name, name) in (True, False)
    assert matcher.matches(name, None) == any(tolvane_settings.PathPatterns([p]).matches(name, None) for p in patterns)


def test_settings_above_the_top_of_the_repository_do_not_count(project, capsys, monkeypatch, tmp_path):
    project("outer/tolvane.toml", 'select = ["nad"]\n')
    project("outer/repo/node.ncf", FAULTS)
    (tmp_path / "outer" / "repo" / ".git").mkdir()
    monkeypatch.chdir(tmp_path / "outer" / "repo")
    assert codes_reported(capsys, "node.ncf")[1] == ["supplier-id", "nad"]
    monkeypatch.chdir(tmp_path / "outer")
    assert codes_reported(capsys, "repo/node.ncf")[1] == ["nad"]
