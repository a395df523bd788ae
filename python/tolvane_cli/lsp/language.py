"""The words of the language as an editor offers them: every keyword with one
line on what it means (hover), and which statements each section holds
(completion). The highlighting grammar under editors/ lists the same
keywords; a test holds the three together with the reader's own list."""

from __future__ import annotations

# Every keyword, in the reader's order, with what it means.
KEYWORDS: dict[str, str] = {
    "node_capability_file": "Opens a node capability file: the first statement of every NCF.",
    "LIN_language_version": "The version of the NCF language the file is written in, as a string (\"2.2\").",
    "node": "A slave node: `node NAME { general ... diagnostic ... frames ... encoding ... status_management ... }`.",
    "general": "The node's protocol version, supplier, function and variant IDs, bit rate and operating ranges.",
    "LIN_protocol_version": "The LIN protocol version the node implements, as a string (\"2.2\").",
    "supplier": "The supplier ID, 16 bits, assigned by the LIN consortium.",
    "function": "The function ID, 16 bits, chosen by the supplier.",
    "variant": "The variant ID, 8 bits.",
    "bitrate": "The bit rates the node supports: `automatic [min R kbps] [max R kbps]`, `select { R kbps, ... }` "
               "or one rate `R kbps`.",
    "automatic": "The node adapts to any bit rate between `min` and `max`.",
    "min": "The lowest rate of an automatic bit rate.",
    "max": "The highest rate of an automatic bit rate.",
    "select": "The node takes one of the listed bit rates.",
    "kbps": "Kilobits per second: the unit of every bit rate.",
    "sends_wake_up_signal": "Whether the node can wake the cluster: \"yes\" or \"no\".",
    "yes": "The node sends a wake-up signal.",
    "no": "The node does not send a wake-up signal.",
    "volt_range": "The supply voltage range the node works in, in volts: `volt_range = LOW, HIGH;`.",
    "temp_range": "The temperature range the node works in, in degrees Celsius: `temp_range = LOW, HIGH;`.",
    "conformance": "The conformance test the node has passed, as a string.",
    "diagnostic": "The node's addresses (NAD), diagnostic class, timing and diagnostic services.",
    "NAD": "The node addresses the node can be configured with: one, a list, or a range `A to B`.",
    "to": "The last NAD of a range.",
    "diagnostic_class": "The diagnostic class, 1 to 3.",
    "P2_min": "The shortest time between a master request and the slave's response, in ms.",
    "ST_min": "The shortest time between two frames of a segmented response, in ms.",
    "N_As_timeout": "The transport layer's timeout for sending a frame, in ms (default 1000).",
    "N_Cr_timeout": "The transport layer's timeout for receiving the next frame, in ms (default 1000).",
    "support_sid": "The diagnostic service IDs the node supports: `support_sid { 0xB0, 0xB2, ... };`.",
    "max_message_length": "The longest diagnostic message, in bytes.",
    "ms": "Milliseconds: the unit of times and periods.",
    "frames": "The frames the node publishes or subscribes to.",
    "publish": "A frame the node sends.",
    "subscribe": "A frame the node receives.",
    "length": "The number of data bytes of the frame, 1 to 8.",
    "min_period": "The shortest time between two sendings of the frame, in ms.",
    "max_period": "The longest time between two sendings of the frame, in ms.",
    "event_triggered_frame": "The event-triggered frame that carries this frame.",
    "signals": "The signals of the frame: `NAME { size = ...; init_value = ...; offset = ...; [ENCODING;] }`.",
    "size": "The signal's size in bits: 1 to 16 for a scalar, 8 to 64 in whole bytes for a byte array.",
    "init_value": "The signal's value until it is first written: a number, or `{ b0, b1, ... }` for a byte array.",
    "offset": "The frame bit at which the signal begins (its least significant bit).",
    "encoding": "The encodings of the node's signals: what their raw values mean.",
    "logical_value": "A raw value and its meaning: `logical_value, RAW, \"text\";`.",
    "physical_value": "A range of raw values and their physical value: "
                      "`physical_value, MIN, MAX, SCALE, OFFSET, \"unit\";` (value = raw × SCALE + OFFSET).",
    "bcd_value": "The raw value is binary-coded decimal.",
    "ascii_value": "The raw value is ASCII text.",
    "status_management": "The signals that report the node's status: `response_error` and `fault_state_signals`.",
    "response_error": "The published 1-bit signal that reports a response error.",
    "fault_state_signals": "The published signals that report the node's faults.",
    "free_text": "Free text about the node, as a string.",
}

# The statements each section opens with, in the order files write them. A
# section is named by the keyword that opens it; "" is the file's top level,
# "frame", "signal" and "encoding entry" the blocks that a name opens.
SECTION_STATEMENTS: dict[str, tuple[str, ...]] = {
    "": ("node_capability_file", "LIN_language_version", "node"),
    "node": ("general", "diagnostic", "frames", "encoding", "status_management", "free_text"),
    "general": ("LIN_protocol_version", "supplier", "function", "variant", "bitrate", "sends_wake_up_signal",
                "volt_range", "temp_range", "conformance"),
    "diagnostic": ("NAD", "diagnostic_class", "P2_min", "ST_min", "N_As_timeout", "N_Cr_timeout", "support_sid",
                   "max_message_length"),
    "frames": ("publish", "subscribe"),
    "frame": ("length", "min_period", "max_period", "event_triggered_frame", "signals"),
    "signals": (),
    "signal": ("size", "init_value", "offset"),
    "encoding": (),
    "encoding entry": ("logical_value", "physical_value", "bcd_value", "ascii_value"),
    "status_management": ("response_error", "fault_state_signals"),
}

# Blocks opened by a name rather than a keyword, by the section they stand in.
NAMED_BLOCKS = {"frames": "frame", "signals": "signal", "encoding": "encoding entry"}
