"""Real node capability files written by other people (see SOURCES.tsv beside
them): each is parsed whole; the tree must hold what the file says."""

import json
import re
import subprocess
import sys

import pytest

import tolvane
from conftest import CORPUS

# Files that follow the grammar, with the name of their one node.
FOLLOWS_THE_GRAMMAR = {
    "PersonalTransport__EnergyManagement__energy_management.ncf": "energy_management",
    "PersonalTransport__LIN__examples__CEM.ncf": "CEM",
    "PersonalTransport__LIN__examples__LSM.ncf": "LSM",
    "PersonalTransport__LIN__examples__RSM.ncf": "RSM",
    "PersonalTransport__LIN__examples__step_motor.ncf": "step_motor",
    "PersonalTransport__LightingNode__lighting.ncf": "lighting",
    "PersonalTransport__MotorController__motor_controller.ncf": "motor_controller",
    "PersonalTransport__MotorController__motor_controller@bldc.ncf": "motor_controller",
    "PersonalTransport__SpeedometerNode__Speedometer.nfc": "speedometer",
    "PersonalTransport__SpeedometerNode__speedometer.ncf": "speedometer",
    "bfueldner__lin_tools__command__res__example_prettify_output.ncf": "step_motor",
    "bfueldner__lin_tools__command__res__example_validate.ncf": "step_motor",
    "bfueldner__lin_tools__parser__res__example.ncf": "step_motor",
}
QLIUXING = "Qliuxing__My_Repository_2__V1_20200822__files__code__mulan2_platform__products__Validation__"
SAMPLE_CONFIGURATIONS = "sebastianwilczek__CANoe-Configurations__LIN__"
# Files that the grammar does not accept whole: nodes read, number of
# diagnostics and the first diagnostic.
VENDOR_EXTENSIONS = {
    "John-Titor__LIN_Nodes__common__nodes.ncf": (1, 10, (54, 13, "Expected }, found 'frame_id'")),
    "John-Titor__LIN_Nodes__common__nodes@0dfd0ea9.ncf": (0, 1, (17, 1, "Unexpected token at top level: '#'")),
    "PersonalTransport__EVMaster__ev_master.ncf": (0, 1, (3, 1, "Unexpected token at top level: 'master'")),
    QLIUXING + "LIN_SAE_FIXED_DNN__ldf__mlx_sae_10417-fixed-DNN.ncf": (1, 13, (14, 24, "Expected kbps, found ';'")),
    QLIUXING + "LIN_SAE_SOFTWARE_DNN__ldf__mlx_sae_10417.ncf": (1, 13, (14, 24, "Expected kbps, found ';'")),
    "bfueldner__lin_tools__command__res__example_prettify_input.ncf": (
        1, 37, (5, 7, "Expected LIN_protocol_version, found 'sends_wake_up_signal'"),
    ),  # fmt: skip
    SAMPLE_CONFIGURATIONS + "LINSlaveConformanceTest__NCF__VectorSlave2_0.ncf": (1, 13, (21, 18, "Expected kbps, found ';'")),
    SAMPLE_CONFIGURATIONS + "LINSlaveConformanceTest__NCF__VectorSlaveISO.ncf": (
        1, 6, (89, 3, "Expected response_error, found 'error_response'"),
    ),  # fmt: skip
    SAMPLE_CONFIGURATIONS + "LINTestSAEJ2602__LINdb__J2602_VectorExample.ncf": (1, 19, (21, 18, "Expected kbps, found ';'")),
}

CHILD = """
import json, sys, tolvane
counts = {}
for path in sys.argv[1:]:
    parser = tolvane.NcfParser(path)
    counts[path.rsplit("/", 1)[-1]] = [len(parser.parse().nodes), len(parser.get_diagnostics())]
print(json.dumps(counts))
"""


def test_every_file_returns(corpus_files):
    # In a child process, so that a crash or a hang fails this test alone.
    child = subprocess.run(
        [sys.executable, "-c", CHILD, *map(str, corpus_files)], capture_output=True, text=True, timeout=120
    )
    assert child.returncode == 0, child.stderr
    expected = {name: [1, 0] for name in FOLLOWS_THE_GRAMMAR}
    expected |= {name: [nodes, count] for name, (nodes, count, _) in VENDOR_EXTENSIONS.items()}
    assert json.loads(child.stdout) == expected


def parse_corpus_file(name):
    path = CORPUS / name
    if not path.is_file():
        pytest.skip(f"{name} is not in the shared corpus")
    parser = tolvane.NcfParser(str(path))
    ncf = parser.parse()
    return ncf, [(d.line, d.column, d.message) for d in parser.get_diagnostics()]


@pytest.mark.parametrize("name", [*FOLLOWS_THE_GRAMMAR, *VENDOR_EXTENSIONS])
def test_first_diagnostic(name):
    ncf, diagnostics = parse_corpus_file(name)
    if name in FOLLOWS_THE_GRAMMAR:
        assert (diagnostics, ncf.filename, ncf.language_version) == ([], str(CORPUS / name), "2.2")
        assert [node.name for node in ncf.nodes] == [FOLLOWS_THE_GRAMMAR[name]]
    else:
        nodes, count, first = VENDOR_EXTENSIONS[name]
        assert (len(ncf.nodes), len(diagnostics), diagnostics[0]) == (nodes, count, first)


def dig(record, path):
    """Follows a path such as 'frames[1].signals[0].name' from a record."""
    for name, index in re.findall(r"(\w+)(?:\[(\d+)\])?", path):
        record = getattr(record, name)
        if index:
            record = record[int(index)]
    return record


CEM, LSM, RSM = (f"PersonalTransport__LIN__examples__{name}.ncf" for name in ("CEM", "LSM", "RSM"))
STEP_MOTOR = "PersonalTransport__LIN__examples__step_motor.ncf"
MOTOR, MOTOR_BLDC = (f"PersonalTransport__MotorController__motor_controller{tag}.ncf" for tag in ("", "@bldc"))
SPEEDOMETER = "PersonalTransport__SpeedometerNode__speedometer.ncf"
LIGHTING = "PersonalTransport__LightingNode__lighting.ncf"
PRETTIFIED = "bfueldner__lin_tools__command__res__example_prettify_output.ncf"
VALIDATE = "bfueldner__lin_tools__command__res__example_validate.ncf"
TOOLKIT_EXAMPLE = "bfueldner__lin_tools__parser__res__example.ncf"
ISO = SAMPLE_CONFIGURATIONS + "LINSlaveConformanceTest__NCF__VectorSlaveISO.ncf"
JOHN_TITOR = "John-Titor__LIN_Nodes__common__nodes.ncf"
J2602 = QLIUXING + "LIN_SAE_FIXED_DNN__ldf__mlx_sae_10417-fixed-DNN.ncf"


@pytest.mark.parametrize(
    "name, path, value",
    [
        (CEM, "frames[0].properties.event_triggered_frame", "Node_Status_Event"),
        (CEM, "encodings[2].values[1].physical_range.text_info", "lux"),
        (LSM, "diagnostic.nad_rhs", 16),
        (LSM, "status.fault_state_signals", ["IntTest"]),
        (RSM, "diagnostic.support_sids", [0xB2, 0xB7]),
        (STEP_MOTOR, "frames[0].signals[3].properties.init_value.array_values", [0x22, 0x11]),
        (STEP_MOTOR, "free_text", "step_motor signal values outside 0 - 199 are ignored"),
        (MOTOR, "frames[0].signals[3].properties.offset", 36),
        (MOTOR_BLDC, "frames[1].signals[0].properties.init_value.array_values", [0, 0, 0, 0]),
        (LIGHTING, "encodings[0].values[3].logical_value.text_info", "HAZARDS"),
        (SPEEDOMETER, "encodings[0].values[0].physical_range.scale", 0.059499),
        ("PersonalTransport__SpeedometerNode__Speedometer.nfc", "status.response_error", "error_bit"),
        ("PersonalTransport__EnergyManagement__energy_management.ncf", "general.sends_wake_up_signal", True),
        (PRETTIFIED, "general.bitrate.rates", [4.8, 9.6, 19.2]),
        (VALIDATE, "diagnostic.nad_list", [1, 3, 2]),
        (TOOLKIT_EXAMPLE, "frames[1].properties.max_period", 100),
        # What the files with vendor extensions still yield.
        (JOHN_TITOR, "diagnostic.support_sids", [0x22, 0x2E, 0xB2]),
        (J2602, "general.bitrate.fixed_rate", 10417.0),
        (ISO, "frames[1].signals[0].properties.init_value.array_values", [5, 4, 3, 2, 1]),
        (ISO, "status.response_error", "error_response"),
    ],
)
def test_the_tree_holds_what_the_file_says(name, path, value):
    ncf, _ = parse_corpus_file(name)
    assert dig(ncf.nodes[0], path) == value
