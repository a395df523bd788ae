"""A complete file that holds every kind of record, shared by the tests of the
module's API and of the text representations."""

import tolvane

# Two nodes: Door uses every statement of the language, Seat only the
# mandatory ones, so that every optional field is both present and absent.
FULL = b"""node_capability_file;
LIN_language_version = "2.1";
node Door {
  general {
    LIN_protocol_version = "2.1"; supplier = 0x1E; function = -2; variant = 0;
    bitrate = automatic min 1 kbps max 20.0 kbps;
    sends_wake_up_signal = yes; volt_range = 9, 16.5; temp_range = -40, 85; conformance = "LIN2.1";
  }
  diagnostic { NAD = 1, 2, 3; diagnostic_class = 2; P2_min = 50 ms; ST_min = 0 ms;
    N_As_timeout = 1000 ms; N_Cr_timeout = 1000 ms; support_sid { 0xB0, 0xB2 }; max_message_length = 64; }
  frames {
    publish Status { length = 4; min_period = 10 ms; max_period = 100 ms; event_triggered_frame = Events;
      signals {
        Speed { size = 16; offset = 8; init_value = -1; SpeedEnc; }
        Mirror { size = 16; init_value = { 1, 2, 255 }; offset = 16; }
      }
    }
    subscribe Control { length = 2; }
  }
  encoding {
    SpeedEnc {
      logical_value, 0, "it's off";
      logical_value, 1;
      physical_value, 0, 254, 0.5, -40, "km/h";
      bcd_value;
      ascii_value;
    }
  }
  status_management { response_error = Speed; fault_state_signals = Speed, Mirror; }
  free_text { "Door module" }
}
node Seat {
  general { LIN_protocol_version = "2.0"; supplier = 7; function = 8; variant = 9;
    bitrate = select { 10 kbps, 19.2 kbps }; }
  diagnostic { NAD = 5 to 6; }
  frames { }
  status_management { response_error = Err; }
}
"""


# Every record class in registration order, with its fields in declaration
# order and the return annotation of each field's getter.
FIELDS = {
    name: [tuple(field.split(": ")) for field in fields.split(", ")]
    for name, fields in {
        "Diagnostic": "severity: tolvane.Diagnostic.Severity, file: str, line: int, column: int, message: str, "
        "code: str",
        "NcfInitValue": "is_array: bool, scalar: int, array_values: list[int]",
        "NcfBitrateDefinition": "type: str, min_br: float | None, max_br: float | None, rates: list[float], "
        "fixed_rate: float | None",
        "NcfGeneralDef": "protocol_version: str, supplier_id: int, function_id: int, variant_id: int, "
        "bitrate: tolvane.NcfBitrateDefinition, sends_wake_up_signal: bool | None, volt_from: float | None, "
        "volt_to: float | None, temp_from: float | None, temp_to: float | None, conformance: str | None",
        "NcfDiagnosticDef": "nad_lhs: int, nad_rhs: int | None, nad_list: list[int], diagnostic_class: int | None, "
        "p2_min: float | None, st_min: float | None, n_as_timeout: float | None, n_cr_timeout: float | None, "
        "support_sids: list[int], max_message_length: int | None",
        "NcfSignalProperties": "init_value: tolvane.NcfInitValue, size: int, offset: int, encoding_name: str | None",
        "NcfSignalDef": "name: str, properties: tolvane.NcfSignalProperties",
        "NcfFrameProperties": "length: int, min_period: int | None, max_period: int | None, "
        "event_triggered_frame: str | None",
        "NcfSingleFrame": "kind: str, name: str, properties: tolvane.NcfFrameProperties, "
        "signals: list[tolvane.NcfSignalDef]",
        "NcfLogicalValue": "signal_value: int, text_info: str | None",
        "NcfPhysicalRange": "min_value: int, max_value: int, scale: float, offset_val: float, text_info: str | None",
        "NcfEncodingValue": "type: str, logical_value: tolvane.NcfLogicalValue | None, "
        "physical_range: tolvane.NcfPhysicalRange | None",
        "NcfEncodingEntry": "name: str, values: list[tolvane.NcfEncodingValue]",
        "NcfStatusManagement": "response_error: str, fault_state_signals: list[str]",
        "NcfNodeDef": "name: str, general: tolvane.NcfGeneralDef, diagnostic: tolvane.NcfDiagnosticDef, "
        "frames: list[tolvane.NcfSingleFrame], encodings: list[tolvane.NcfEncodingEntry], "
        "status: tolvane.NcfStatusManagement, free_text: str | None",
        "NcfFile": "filename: str, language_version: str, nodes: list[tolvane.NcfNodeDef]",
    }.items()
}


def field_names(class_name):
    return [field for field, _ in FIELDS[class_name]]


def parse_full():
    """Parses FULL; returns the parser and the NcfFile."""
    parser = tolvane.NcfParser("full.ncf", FULL)
    return parser, parser.parse()


def one_record_of_each_class():
    """A dict from class name to one live record of that class, all from one
    parse of FULL, plus a Diagnostic from a broken input."""
    _, ncf = parse_full()
    door = ncf.nodes[0]
    status_frame = door.frames[0]
    speed = status_frame.signals[0]
    encoding = door.encodings[0]
    broken = tolvane.NcfParser("broken.ncf", "node_capability_file")
    broken.parse()
    return {
        "Diagnostic": broken.get_diagnostics()[0],
        "NcfInitValue": speed.properties.init_value,
        "NcfBitrateDefinition": door.general.bitrate,
        "NcfGeneralDef": door.general,
        "NcfDiagnosticDef": door.diagnostic,
        "NcfSignalProperties": speed.properties,
        "NcfSignalDef": speed,
        "NcfFrameProperties": status_frame.properties,
        "NcfSingleFrame": status_frame,
        "NcfLogicalValue": encoding.values[0].logical_value,
        "NcfPhysicalRange": encoding.values[2].physical_range,
        "NcfEncodingValue": encoding.values[0],
        "NcfEncodingEntry": encoding,
        "NcfStatusManagement": door.status,
        "NcfNodeDef": door,
        "NcfFile": ncf,
    }


def all_records(record):
    """Every record in the tree below `record`, `record` included, depth first."""
    found = [record]
    for name, attribute in vars(type(record)).items():
        if not isinstance(attribute, property) or name == "severity":
            continue
        value = getattr(record, name)
        values = value if isinstance(value, list) else [value]
        for element in values:
            if type(element).__module__ == "tolvane":
                found.extend(all_records(element))
    return found
