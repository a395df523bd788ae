"""tolvane ldf: the cluster's settings from a TOML file and options, where
the LDF and the diagnostics go, and the exit statuses."""

import os

import pytest

from conftest import CORPUS, DATA
from tolvane_cli import main

REAL_CLUSTER = [str(CORPUS / f"PersonalTransport__LIN__examples__{name}.ncf") for name in ("CEM", "LSM", "RSM")]


@pytest.fixture
def real_cluster(monkeypatch, tmp_path):
    if not CORPUS.is_dir():
        pytest.skip("the shared corpus is not beside the checkout")
    monkeypatch.chdir(CORPUS)  # the diagnostics name the files as given: bare names
    return [os.path.basename(path) for path in REAL_CLUSTER]


def write(tmp_path, name, text):
    path = tmp_path / name
    path.write_text(text)
    return str(path)


def test_the_real_cluster_with_its_settings_gives_the_golden_ldf(real_cluster, tmp_path, capsysbinary):
    cluster = write(tmp_path, "cluster.toml", '[cluster]\nmaster = "CEM"\n')
    assert main(["ldf", "--lenient", "--cluster", cluster, *real_cluster]) == 0
    out, err = capsysbinary.readouterr()
    assert out == (DATA / "cluster.ldf").read_bytes()
    assert err.decode().splitlines()[1] == (
        "PersonalTransport__LIN__examples__CEM.ncf:83:26: error: Response error signal 'RSMerror' is not a signal of "
        "a frame that node 'CEM' publishes [response-error]")


def test_options_override_the_file_and_output_goes_to_a_file(real_cluster, tmp_path, capsys):
    cluster = write(tmp_path, "cluster.toml",
                    '[cluster]\nmaster = "LSM"\ntime_base = 5.0\nchannel = "DB"\n[frame_ids]\nCEM_Frm1 = 0x01\n'
                    "[nads]\nLSM = 0x21\n")
    output = tmp_path / "out.ldf"
    output.write_text("old")
    os.chmod(output, 0o640)
    assert main(["ldf", "--lenient", "--cluster", cluster, "--master", "CEM", "--time-base", "10", "-o",
                 str(output), *real_cluster]) == 0
    text = output.read_text(encoding="latin-1")
    assert "  Master: CEM, 10 ms, 0.1 ms;\n" in text and 'Channel_name = "DB";' in text
    assert "  CEM_Frm1: 0x01, CEM, 1 {" in text and "    configured_NAD = 0x21;\n    initial_NAD = 0x01;" in text
    assert os.stat(output).st_mode & 0o777 == 0o640
    assert sorted(os.listdir(tmp_path)) == ["cluster.toml", "out.ldf"]  # nothing left beside it
    assert capsys.readouterr().out == ""


def test_errors_that_stop_the_ldf_write_nothing_and_exit_1(real_cluster, tmp_path, capsys):
    output = tmp_path / "out.ldf"
    assert main(["ldf", "--master", "CEM", "-o", str(output), *real_cluster]) == 1  # strictly read: frames of length 0
    out, err = capsys.readouterr()
    assert out == "" and not output.exists()
    assert err.splitlines()[-1] == "tolvane: no LDF written: the errors above stop it"
    assert "[frame-length]" in err


@pytest.mark.parametrize(("toml", "message"), [
    ('[cluster]\nmaster = 1\n', "[cluster] master: expected a string, not an integer"),
    ('[cluster]\nmastr = "CEM"\n', "[cluster] unknown key 'mastr' (the keys: master, time_base, jitter, bitrate,"),
    ('[cluster]\ntime_base = "5"\n', "[cluster] time_base: expected a number, not a string"),
    ('[cluster]\nbitrate = true\n', "[cluster] bitrate: expected a number, not a boolean"),
    ('[clusters]\nmaster = "CEM"\n', "unknown table [clusters] (the tables: [cluster], [frame_ids], [nads])"),
    ('cluster = 1\n', "cluster: expected a table, not an integer"),
    ('[frame_ids]\nCEM_Frm1 = "0x01"\n', "[frame_ids] CEM_Frm1: expected an integer, not a string"),
    ('[nads]\nLSM = 1.5\n', "[nads] LSM: expected an integer, not a float"),
    ('[nads]\nLSM = 0x10000000000000000000\n', "settings['nads']['LSM']: 75557863725914323419136 is out of range"),
    ('[cluster\n', "not valid TOML: "),
])
def test_a_wrong_cluster_file_is_an_error_naming_it_and_the_key(real_cluster, tmp_path, capsys, toml, message):
    cluster = write(tmp_path, "cluster.toml", toml)
    assert main(["ldf", "--cluster", cluster, *real_cluster]) == 2
    out, err = capsys.readouterr()
    assert out == "" and err.startswith(f"tolvane: {cluster}: {message}"), err


def test_no_master_anywhere_is_the_settings_error(real_cluster, capsys):
    assert main(["ldf", "--lenient", *real_cluster]) == 1
    assert "<options>:0:0: error: The cluster names no master (the setting master, or --master) [cluster-settings]" in \
        capsys.readouterr().err


def test_unreadable_inputs_exit_2(tmp_path, capsys):
    missing = str(tmp_path / "missing.toml")
    assert main(["ldf", "--cluster", missing, "x.ncf"]) == 2
    assert capsys.readouterr().err == f"tolvane: cannot read {missing}: No such file or directory\n"
    assert main(["ldf", "--master", "M", str(tmp_path / "missing.ncf")]) == 2
    assert "cannot read" in capsys.readouterr().err
