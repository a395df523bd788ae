"""At most 20 findings of one rule in a frame, an encoding or the rest of a
node; then one finding, at the first one left out, that counts them all."""

import pytest

from rules_cases import encodings_of, findings, frames_of, node_file, published, signal

LIMIT = 20


def covered(lines):
    """An encoding whose `lines` logical values all are raw value 0, used by a signal."""
    values = " ".join(f'logical_value, 0, "v{i}";' for i in range(lines))
    frames = frames_of(published("status", signal("error_bit") + signal("s", 8, 8, encoding="enc")))
    return node_file(frames=frames, encoding=encodings_of(f"enc {{ {values} }}"))


def duplicated(warnings, errors):
    """Frame g repeats `warnings` names of frame f (warnings), then one of its own `errors` times (errors)."""
    names = [f"n{i}" for i in range(warnings)]
    first = published("f", signal("error_bit") + "".join(signal(name, 1, 1) for name in names), length=1)
    second = published("g", "".join(signal(name, 1, 0) for name in names) + signal("x", 1, 1) * (errors + 1),
                       length=1)
    return node_file(frames=frames_of(first, second))


def nad_list(count):
    return node_file(diagnostic="    diagnostic { NAD = " + ", ".join(["0x10"] * count) + "; diagnostic_class = 2;"
                                " support_sid { 0xB2, 0xB7 }; }\n")


@pytest.mark.parametrize(("text", "code", "shown", "summary"), [
    # n lines on one value: each line but the first shares it with those before it, worded once there.
    (covered(LIMIT + 2), "encoding-overlap", LIMIT, ("Warning", "1 more encoding-overlap findings in encoding "
                                                     "'enc' are not reported (at most 20 per rule and encoding)")),
    (covered(30), "encoding-overlap", LIMIT, ("Warning", "9 more encoding-overlap findings in encoding 'enc' are "
                                              "not reported (at most 20 per rule and encoding)")),
    (covered(LIMIT), "encoding-overlap", LIMIT - 1, None),
    # Warnings shown, an error left out: the count is an error, as the whole report would fail.
    (duplicated(LIMIT, 1), "duplicate-signal", LIMIT, ("Error", "1 more duplicate-signal findings in frame 'g' are "
                                                       "not reported (at most 20 per rule and frame)")),
    (duplicated(LIMIT + 4, 0), "duplicate-signal", LIMIT, ("Warning", "4 more duplicate-signal findings in frame 'g' "
                                                           "are not reported (at most 20 per rule and frame)")),
    (duplicated(LIMIT - 1, 1), "duplicate-signal", LIMIT, None),
    # Outside frames and encodings, the node is the group.
    (nad_list(LIMIT + 3), "nad-duplicate", LIMIT, ("Warning", "2 more nad-duplicate findings in node 'door' are not "
                                                   "reported (at most 20 per rule and node)")),
])
def test_a_rule_reports_twenty_findings_in_a_group_then_counts_the_rest(text, code, shown, summary):
    found = [finding for finding in findings(text) if finding[3] == code]
    assert len(found) == shown + (summary is not None)
    if summary is not None:
        first_left_out = found[shown]
        assert (first_left_out[2], first_left_out[4]) == summary
        assert first_left_out[:2] >= found[shown - 1][:2]  # in its place among them


def test_the_limit_counts_each_frame_on_its_own():
    def outside_one_byte(prefix):
        return "".join(signal(f"{prefix}{i}", 1, 40) for i in range(LIMIT + 1))

    text = node_file(frames=frames_of(published("f", signal("error_bit") + outside_one_byte("s"), length=1),
                                      published("g", outside_one_byte("t"), length=1)))
    outside = [finding[4] for finding in findings(text) if finding[3] == "signal-outside-frame"]
    assert len(outside) == 2 * (LIMIT + 1)
    assert [message.split(" are ")[0] for message in outside if "more" in message] == [
        "1 more signal-outside-frame findings in frame 'f'", "1 more signal-outside-frame findings in frame 'g'"]
