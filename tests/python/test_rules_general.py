"""The general section: supplier, function and variant ids, bit rates,
voltage and temperature ranges."""

import pytest

from rules_cases import GENERAL, E, W, assert_findings, node_file


def with_statement(old, new):
    assert old in GENERAL
    return node_file(general=GENERAL.replace(old, new))


def supplier(value):
    return with_statement("supplier = 0x0042;", f"supplier = »{value};")


def function(value):
    return with_statement("function = 0x0010;", f"function = »{value};")


def variant(value):
    return with_statement("variant = 1;", f"variant = »{value};")


def bitrate(text):
    return with_statement("bitrate = 19.2 kbps;", f"bitrate = {text};")


@pytest.mark.parametrize(("text", "expected"), [
    (supplier("0x0000"), []),
    (supplier("0x7FFE"), []),
    (supplier("0x7FFF"), [W("supplier-id", "Supplier ID 0x7FFF is the wildcard")]),
    (supplier("0x8000"), [W("supplier-id", "Supplier ID 0x8000 is above 0x7FFF")]),
    (supplier("0xFFFF"), [W("supplier-id", "Supplier ID 0xFFFF is above 0x7FFF")]),
    (supplier("0x10000"), [E("supplier-id", "Supplier ID 0x10000 does not fit 16 bits")]),
    (supplier("0x1FFFF"), [E("supplier-id", "Supplier ID 0x1FFFF does not fit 16 bits")]),
    (supplier("-1"), [E("supplier-id", "Supplier ID -1 does not fit 16 bits")]),
    (supplier("0x2A"), []),
    (function("0x0000"), []),
    (function("0xFFFE"), []),
    (function("0xFFFF"), [W("function-id", "Function ID 0xFFFF is the wildcard")]),
    (function("0x10000"), [E("function-id", "Function ID 0x10000 does not fit 16 bits")]),
    (function("-2"), [E("function-id", "Function ID -2 does not fit 16 bits")]),
    (function("0x7"), []),
    (variant("0"), []),
    (variant("255"), []),
    (variant("256"), [E("variant-id", "Variant ID 256 does not fit 8 bits")]),
    (variant("300"), [E("variant-id", "Variant ID 300 does not fit 8 bits")]),
    (variant("0x1FF"), [E("variant-id", "Variant ID 511 does not fit 8 bits")]),
    (variant("-1"), [E("variant-id", "Variant ID -1 does not fit 8 bits")]),
], ids=lambda value: "" if isinstance(value, list) else None)
def test_identity(text, expected):
    assert_findings(text, expected)


@pytest.mark.parametrize(("text", "expected"), [
    (bitrate("1 kbps"), []),
    (bitrate("1.0 kbps"), []),
    (bitrate("20 kbps"), []),
    (bitrate("»0.999 kbps"), [E("bitrate-range", "Bit rate 0.999 kbps is outside 1..20 kbps")]),
    (bitrate("»20.001 kbps"), [E("bitrate-range", "Bit rate 20.001 kbps is outside 1..20 kbps")]),
    (bitrate("»0 kbps"), [E("bitrate-range", "Bit rate 0 kbps is outside 1..20 kbps")]),
    (bitrate("»-19.2 kbps"), [E("bitrate-range", "Bit rate -19.2 kbps is outside 1..20 kbps")]),
    (bitrate("»19200 kbps"), [E("bitrate-range",
                                "Bit rate 19200 kbps is outside 1..20 kbps; did you mean 19.2 kbps?")]),
    (bitrate("»10417 kbps"), [E("bitrate-range",
                                "Bit rate 10417 kbps is outside 1..20 kbps; did you mean 10.417 kbps?")]),
    (bitrate("»1000 kbps"), [E("bitrate-range", "Bit rate 1000 kbps is outside 1..20 kbps; did you mean 1 kbps?")]),
    (bitrate("»999 kbps"), [E("bitrate-range", "Bit rate 999 kbps is outside 1..20 kbps")]),
    (bitrate("»20001 kbps"), [E("bitrate-range", "Bit rate 20001 kbps is outside 1..20 kbps")]),
    (bitrate("»100000 kbps"), [E("bitrate-range", "Bit rate 1e+05 kbps is outside 1..20 kbps")]),
    (bitrate("automatic min 1 kbps max 20 kbps"), []),
    (bitrate("automatic min 9.6 kbps max 9.6 kbps"), []),
    (bitrate("automatic min »0.5 kbps max »25 kbps"), [
        E("bitrate-range", "Bit rate 0.5 kbps is outside 1..20 kbps"),
        E("bitrate-range", "Bit rate 25 kbps is outside 1..20 kbps")]),
    (bitrate("automatic min »19.2 kbps max 9.6 kbps"), [
        E("bitrate-order", "Bit rate minimum 19.2 kbps is above maximum 9.6 kbps")]),
    (bitrate("automatic max »21 kbps"), [E("bitrate-range", "Bit rate 21 kbps is outside 1..20 kbps")]),
    (bitrate("select { 19.2 kbps, 9.6 kbps, 4.8 kbps }"), []),
    (bitrate("select { 19.2 kbps, »30 kbps }"), [E("bitrate-range", "Bit rate 30 kbps is outside 1..20 kbps")]),
    (bitrate("select { 9.6 kbps, »9.6 kbps }"), [W("bitrate-duplicate", "Bit rate 9.6 kbps is listed twice")]),
    (bitrate("select { 9.6 kbps, 19.2 kbps, »9.6 kbps, »9.6 kbps }"), [
        W("bitrate-duplicate", "Bit rate 9.6 kbps is listed twice"),
        W("bitrate-duplicate", "Bit rate 9.6 kbps is listed twice")]),
    # A wrong rate listed twice is wrong once, and repeated once.
    (bitrate("select { »25 kbps, »25 kbps }"), [
        E("bitrate-range", "Bit rate 25 kbps is outside 1..20 kbps"),
        W("bitrate-duplicate", "Bit rate 25 kbps is listed twice")]),
    (bitrate("select { 19.2 kbps, »19.20 kbps }"), [W("bitrate-duplicate", "Bit rate 19.2 kbps is listed twice")]),
], ids=lambda value: "" if isinstance(value, list) else None)
def test_bit_rates(text, expected):
    assert_findings(text, expected)


def ranges(volt="9.0, 16.0", temp="-40, 85"):
    return with_statement('sends_wake_up_signal = "no";',
                          f'sends_wake_up_signal = "no";\n        volt_range = {volt};\n        temp_range = {temp};')


@pytest.mark.parametrize(("text", "expected"), [
    (ranges(), []),
    (ranges(volt="12, 12", temp="0, 0"), []),
    (ranges(volt="-0.0, 0"), []),
    (ranges(volt="16.5, 9").replace("volt_range", "»volt_range"),
     [W("voltage-range", "Voltage range 16.5..9 V is reversed")]),
    (ranges(volt="12.000001, 12").replace("volt_range", "»volt_range"),
     [W("voltage-range", "Voltage range 12.000001..12 V is reversed")]),
    (ranges(temp="85, -40").replace("temp_range", "»temp_range"),
     [W("temperature-range", "Temperature range 85..-40 is reversed")]),
])
def test_operating_ranges(text, expected):
    assert_findings(text, expected)
