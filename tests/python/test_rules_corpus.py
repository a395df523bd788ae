"""What the validator finds in real files written by other people, and in
the examples."""

import pytest

import tolvane
from conftest import CORPUS, EXAMPLES
from rules_cases import E, assert_findings

# Every finding of each real file, checked by hand against the file: frames
# of length 0, a diagnostic class of 0, a signal past its one-byte frame,
# overlapping signals, status signals the node does not publish. A file in a
# dialect the grammar does not read is not checked, and says so once.
REAL_FILES = {
    'John-Titor__LIN_Nodes__common__nodes.ncf': [
        (37, 6, 'Info', 'not-checked', "Node 'Generic' was not checked: it has syntax errors"),
    ],
    'John-Titor__LIN_Nodes__common__nodes@0dfd0ea9.ncf': [
    ],
    'PersonalTransport__EVMaster__ev_master.ncf': [
    ],
    'PersonalTransport__EnergyManagement__energy_management.ncf': [
    ],
    'PersonalTransport__LIN__examples__CEM.ncf': [
        (28, 22, 'Error', 'frame-length', "Frame 'Node_Status_Event' has length 0, expected 1..8"),
        (83, 26, 'Error', 'response-error', "Response error signal 'RSMerror' is not a signal of a frame that node 'CEM' publishes"),
    ],
    'PersonalTransport__LIN__examples__LSM.ncf': [
        (24, 22, 'Error', 'frame-length', "Frame 'Node_Status_Event' has length 0, expected 1..8"),
    ],
    'PersonalTransport__LIN__examples__RSM.ncf': [
        (15, 28, 'Error', 'diagnostic-class', 'Diagnostic class 0 is not 1, 2 or 3'),
        (26, 22, 'Error', 'frame-length', "Frame 'Node_Status_Event' has length 0, expected 1..8"),
    ],
    'PersonalTransport__LIN__examples__step_motor.ncf': [
    ],
    'PersonalTransport__LightingNode__lighting.ncf': [
        (37, 5, 'Error', 'signal-outside-frame', "Signal 'lighting_error_bit' (bits 10..10) does not fit frame 'lighting_error_frame' of 1 byte(s)"),
    ],
    'PersonalTransport__MotorController__motor_controller.ncf': [
    ],
    'PersonalTransport__MotorController__motor_controller@bldc.ncf': [
    ],
    'PersonalTransport__SpeedometerNode__Speedometer.nfc': [
        (22, 17, 'Error', 'signal-overlap', "Signal 'speedometer_error_bit' (bits 1..1) overlaps signal 'speedometer_fault_state' (bits 0..1) in frame 'speedometer_frame_0'"),
        (23, 17, 'Error', 'signal-overlap', "Signal 'vehicle_speed' (bits 0..9) overlaps signal 'speedometer_fault_state' (bits 0..1) in frame 'speedometer_frame_0'"),
        (23, 17, 'Error', 'signal-overlap', "Signal 'vehicle_speed' (bits 0..9) overlaps signal 'speedometer_error_bit' (bits 1..1) in frame 'speedometer_frame_0'"),
        (39, 26, 'Error', 'response-error', "Response error signal 'error_bit' is not a signal of a frame that node 'speedometer' publishes"),
        (40, 31, 'Error', 'fault-state-signal', "Fault state signal 'fault_state' is not a signal of a frame that node 'speedometer' publishes"),
    ],
    'PersonalTransport__SpeedometerNode__speedometer.ncf': [
    ],
    'Qliuxing__My_Repository_2__V1_20200822__files__code__mulan2_platform__products__Validation__LIN_SAE_FIXED_DNN__ldf__mlx_sae_10417-fixed-DNN.ncf': [
        (8, 6, 'Info', 'not-checked', "Node 'MLX' was not checked: it has syntax errors"),
    ],
    'Qliuxing__My_Repository_2__V1_20200822__files__code__mulan2_platform__products__Validation__LIN_SAE_SOFTWARE_DNN__ldf__mlx_sae_10417.ncf': [
        (8, 6, 'Info', 'not-checked', "Node 'MLX' was not checked: it has syntax errors"),
    ],
    'bfueldner__lin_tools__command__res__example_prettify_input.ncf': [
        (3, 6, 'Info', 'not-checked', "Node 'step_motor' was not checked: it has syntax errors"),
    ],
    'bfueldner__lin_tools__command__res__example_prettify_output.ncf': [
    ],
    'bfueldner__lin_tools__command__res__example_validate.ncf': [
    ],
    'bfueldner__lin_tools__parser__res__example.ncf': [
    ],
    'sebastianwilczek__CANoe-Configurations__LIN__LINSlaveConformanceTest__NCF__VectorSlave2_0.ncf': [
        (15, 6, 'Info', 'not-checked', "Node 'VectorSlave2_0' was not checked: it has syntax errors"),
    ],
    'sebastianwilczek__CANoe-Configurations__LIN__LINSlaveConformanceTest__NCF__VectorSlaveISO.ncf': [
        (15, 6, 'Info', 'not-checked', "Node 'VectorSlave_ISO' was not checked: it has syntax errors"),
    ],
    'sebastianwilczek__CANoe-Configurations__LIN__LINTestSAEJ2602__LINdb__J2602_VectorExample.ncf': [
        (15, 6, 'Info', 'not-checked', "Node 'VectorSlave1' was not checked: it has syntax errors"),
    ],
}


def test_every_real_file_is_pinned(corpus_files):
    assert sorted(REAL_FILES) == sorted(path.name for path in corpus_files)


@pytest.mark.parametrize("name", sorted(REAL_FILES))
def test_real_files(name):
    if not CORPUS.is_dir():
        pytest.skip("the shared corpus is not beside the checkout")
    parser = tolvane.NcfParser(str(CORPUS / name))
    ncf_file = parser.parse()
    found = tolvane.validate(ncf_file, parser.get_diagnostics())
    assert [(d.line, d.column, d.severity.name, d.code, d.message) for d in found] == REAL_FILES[name]
    assert {d.file for d in found} <= {str(CORPUS / name)}


@pytest.mark.parametrize("name", ["door_module.ncf", "broken.ncf"])
def test_the_examples_have_no_semantic_faults(name):
    _, diagnostics = tolvane.check(str(EXAMPLES / name))
    assert {d.code for d in diagnostics} <= {"syntax", "not-checked"}


ELEVEN_FAULTS = """\
node_capability_file;
LIN_language_version = "2.2";
node door {
    general {
        LIN_protocol_version = "2.2";
        supplier = »0x1FFFF;
        function = 0x0001;
        variant = »300;
        bitrate = automatic min »19.2 kbps max 9.6 kbps;
        sends_wake_up_signal = "no";
    }
    diagnostic {
        NAD = »0;
        diagnostic_class = 2;
    }
    frames {
        publish status {
            length = »9;
            signals {
                wide { init_value = 0; size = »70; offset = 0; }
                late { init_value = 0; size = 8; offset = 72; »Mode; }
                error_bit { init_value = 0; size = 1; offset = 70; }
            }
        }
        publish »status {
            length = 1;
            signals {
                dup { init_value = 0; size = 1; offset = 0; }
                »dup { init_value = 0; size = 1; offset = 1; }
            }
        }
    }
    status_management {
        response_error = »missing_error;
    }
}
"""


def test_a_node_with_eleven_faults_gets_each_at_its_own_place():
    assert_findings(ELEVEN_FAULTS.replace("late {", "»late {"), [
        E("supplier-id", "Supplier ID 0x1FFFF does not fit 16 bits"),
        E("variant-id", "Variant ID 300 does not fit 8 bits"),
        E("bitrate-order", "Bit rate minimum 19.2 kbps is above maximum 9.6 kbps"),
        E("nad", "NAD 0x00 is reserved (go-to-sleep)"),
        E("frame-length", "Frame 'status' has length 9, expected 1..8"),
        E("signal-size", "Scalar signal 'wide' has size 70, expected 1..16"),
        E("signal-outside-frame", "Signal 'late' (bits 72..79) does not fit frame 'status' of 9 byte(s)"),
        E("unknown-encoding", "Signal 'late' refers to encoding 'Mode', which node 'door' does not define"),
        E("duplicate-frame", "Frame 'status' is defined twice in node 'door'"),
        E("duplicate-signal", "Signal 'dup' is defined twice in frame 'status'"),
        E("response-error", "Response error signal 'missing_error' is not a signal of a frame that node 'door' "
          "publishes"),
    ])
