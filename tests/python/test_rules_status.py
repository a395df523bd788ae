"""The status management section, and node names across the file."""

import pytest

from rules_cases import (
    FRAMES, GENERAL, E, W, assert_findings, frames_of, node, node_file, published, signal)

SUBSCRIBED = "        subscribe command {\n            length = 1;\n            signals {\n" + signal(
    "request", 1, 0) + "            }\n        }\n"


def status(text, protocol="2.2", frames=FRAMES):
    general = GENERAL.replace('LIN_protocol_version = "2.2"', f'LIN_protocol_version = "{protocol}"')
    frames = frames.removesuffix("    }\n") + SUBSCRIBED + "    }\n"  # also a frame the node receives
    return node_file(general=general, frames=frames,
                     status=f"    status_management {{\n        {text}\n    }}\n")


def wide_error_bit(size, init="0"):
    return FRAMES.replace("error_bit { init_value = 0; size = 1;", f"error_bit {{ init_value = {init}; size = {size};")


@pytest.mark.parametrize(("text", "expected"), [
    (status("response_error = error_bit;"), []),
    (status("response_error = »missing;"), [E(
        "response-error", "Response error signal 'missing' is not a signal of a frame that node 'door' publishes")]),
    # A signal the node only receives does not count.
    (status("response_error = »request;"), [E(
        "response-error", "Response error signal 'request' is not a signal of a frame that node 'door' publishes")]),
    (status("response_error = »position;"), [
        W("response-error-size", "Response error signal 'position' has size 8, expected 1")]),
    (status("response_error = error_bit;", "J2602_1_1.0", wide_error_bit(3)), []),
    (status("response_error = »error_bit;", "J2602_1_1.0"), [
        W("response-error-size", "Response error signal 'error_bit' has size 1, expected 3")]),
    (status("response_error = »error_bit;", "2.1", wide_error_bit(2)), [
        W("response-error-size", "Response error signal 'error_bit' has size 2, expected 1")]),
], ids=lambda value: "" if isinstance(value, list) else None)
def test_response_error(text, expected):
    assert_findings(text, expected)


@pytest.mark.parametrize(("names", "expected"), [
    ("error_bit, position", []),
    ("position, »missing", [E(
        "fault-state-signal", "Fault state signal 'missing' is not a signal of a frame that node 'door' publishes")]),
    ("»request", [E(
        "fault-state-signal", "Fault state signal 'request' is not a signal of a frame that node 'door' publishes")]),
    ("position, error_bit, »position", [W("fault-state-signal", "Fault state signal 'position' is listed twice")]),
    ("»missing, »missing", [
        E("fault-state-signal",
          "Fault state signal 'missing' is not a signal of a frame that node 'door' publishes"),
        W("fault-state-signal", "Fault state signal 'missing' is listed twice")]),
], ids=lambda value: "" if isinstance(value, list) else None)
def test_fault_state_signals(names, expected):
    assert_findings(status(f"response_error = error_bit;\n        fault_state_signals = {names};"), expected)


def test_a_node_name_defined_twice():
    text = node_file(node("door"), node("window"), node("»door"), node("»door"))
    assert_findings(text, [E("duplicate-node", "Node 'door' is defined twice")] * 2)


def test_signals_are_looked_up_in_their_own_node():
    window = node("window", frames=frames_of(published("window_status", signal("window_error", 1, 0))),
                  encoding="").replace("response_error = error_bit", "response_error = »window_error")
    door = node("door").replace("response_error = error_bit", "response_error = »window_error")
    assert_findings(node_file(door, window.replace("»", "")), [E(
        "response-error", "Response error signal 'window_error' is not a signal of a frame that node 'door' publishes")])
