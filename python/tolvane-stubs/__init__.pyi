# Type information for the extension module tolvane, shipped as a stub-only
# package because a single-file extension module cannot carry a py.typed
# marker. Every property is read-only; lists are new objects on every read.
# The docstrings of properties and functions are the module's own
# (tests/typing/test_stub_signatures.py compares them, the names and the
# types with the built module); those of the classes and of NcfParser's
# methods, which the module leaves without, are for editors' hovers.

import os
from _typeshed import structseq
from collections.abc import Buffer, Callable, Iterable, Mapping, Sequence
from typing import ClassVar, Final, SupportsIndex, SupportsInt, final

# Every class of the module is made by pybind11's own metaclass. It has no
# importable name, so it is declared here, privately, only to say that the
# classes do not have `type` as their metaclass.
class _pybind11_type(type): ...

class Diagnostic(metaclass=_pybind11_type):
    """One problem found in the text."""

    class Severity(metaclass=_pybind11_type):
        Error: ClassVar[Diagnostic.Severity]
        Warning: ClassVar[Diagnostic.Severity]
        Info: ClassVar[Diagnostic.Severity]
        __members__: ClassVar[dict[str, Diagnostic.Severity]]
        def __init__(self, value: SupportsInt | SupportsIndex) -> None: ...
        def __eq__(self, other: object, /) -> bool: ...
        def __ne__(self, other: object, /) -> bool: ...
        def __hash__(self) -> int: ...
        def __int__(self) -> int: ...
        def __index__(self) -> int: ...
        def __getstate__(self) -> int: ...
        def __setstate__(self, state: SupportsInt | SupportsIndex, /) -> None: ...
        @property
        def name(self) -> str: ...
        @property
        def value(self) -> int: ...

    # The members, exported into the class as well.
    Error: ClassVar[Diagnostic.Severity]
    Warning: ClassVar[Diagnostic.Severity]
    Info: ClassVar[Diagnostic.Severity]

    __match_args__ = ("severity", "file", "line", "column", "message", "code")
    @property
    def severity(self) -> Diagnostic.Severity:
        """how grave the problem is: Error, Warning or Info"""
    @property
    def file(self) -> str:
        """the file name the parser was given"""
    @property
    def line(self) -> int:
        """1-based line of the token at which the problem was found"""
    @property
    def column(self) -> int:
        """1-based column of that token, counted in bytes"""
    @property
    def message(self) -> str:
        """what is wrong, in one sentence"""
    @property
    def code(self) -> str:
        """a stable name for the kind of problem: "syntax" for everything the parser reports, the rule's code for the validator's"""

class NcfInitValue(metaclass=_pybind11_type):
    """The initial value of a signal: a scalar, or bytes written in braces."""

    __match_args__ = ("is_array", "scalar", "array_values")
    @property
    def is_array(self) -> bool:
        """True when the value is written as a list of bytes"""
    @property
    def scalar(self) -> int:
        """the value of the scalar form; 0 for a list"""
    @property
    def array_values(self) -> list[int]:
        """the bytes of the list form, in file order; empty for a scalar"""
    @property
    def line(self) -> int:
        """1-based line of the record's first token; 0 when the text did not provide the record"""
    @property
    def column(self) -> int:
        """1-based column of the record's first token, counted in bytes; 0 when the text did not provide it"""
    def position_of(self, name: str, index: int | None = None) -> tuple[int, int] | None:
        """(line, column) where the value of field `name` was read (for a list, its item `index`), where a sub-record begins, or where a statement keyword stood; None when the text did not provide it"""

class NcfBitrateDefinition(metaclass=_pybind11_type):
    """The bit rate of a node: automatic, a selection, or one fixed rate; in kbps as written."""

    __match_args__ = ("type", "min_br", "max_br", "rates", "fixed_rate")
    @property
    def type(self) -> str:
        """how the rate is given: "automatic", "select" or "fixed" (one rate)"""
    @property
    def min_br(self) -> float | None:
        """lowest rate of an automatic bit rate, in kbps"""
    @property
    def max_br(self) -> float | None:
        """highest rate of an automatic bit rate, in kbps"""
    @property
    def rates(self) -> list[float]:
        """the rates a select bit rate offers, in kbps, in file order"""
    @property
    def fixed_rate(self) -> float | None:
        """the one rate of a fixed bit rate, in kbps"""
    @property
    def line(self) -> int:
        """1-based line of the record's first token; 0 when the text did not provide the record"""
    @property
    def column(self) -> int:
        """1-based column of the record's first token, counted in bytes; 0 when the text did not provide it"""
    def position_of(self, name: str, index: int | None = None) -> tuple[int, int] | None:
        """(line, column) where the value of field `name` was read (for a list, its item `index`), where a sub-record begins, or where a statement keyword stood; None when the text did not provide it"""

class NcfGeneralDef(metaclass=_pybind11_type):
    """The `general` section of a node: protocol, identity, bit rate and operating ranges."""

    __match_args__ = ("protocol_version", "supplier_id", "function_id", "variant_id", "bitrate", "sends_wake_up_signal", "volt_from", "volt_to", "temp_from", "temp_to", "conformance")
    @property
    def protocol_version(self) -> str:
        """the LIN protocol version the node implements (`LIN_protocol_version`)"""
    @property
    def supplier_id(self) -> int:
        """the supplier ID (`supplier`)"""
    @property
    def function_id(self) -> int:
        """the function ID (`function`)"""
    @property
    def variant_id(self) -> int:
        """the variant ID (`variant`)"""
    @property
    def bitrate(self) -> NcfBitrateDefinition:
        """the bit rates the node supports (`bitrate`)"""
    @property
    def sends_wake_up_signal(self) -> bool | None:
        """whether the node can send a wake-up signal"""
    @property
    def volt_from(self) -> float | None:
        """lowest supply voltage, in V (`volt_range`)"""
    @property
    def volt_to(self) -> float | None:
        """highest supply voltage, in V (`volt_range`)"""
    @property
    def temp_from(self) -> float | None:
        """lowest operating temperature, in degrees Celsius (`temp_range`)"""
    @property
    def temp_to(self) -> float | None:
        """highest operating temperature, in degrees Celsius (`temp_range`)"""
    @property
    def conformance(self) -> str | None:
        """the conformance statement (`conformance`)"""
    @property
    def line(self) -> int:
        """1-based line of the record's first token; 0 when the text did not provide the record"""
    @property
    def column(self) -> int:
        """1-based column of the record's first token, counted in bytes; 0 when the text did not provide it"""
    def position_of(self, name: str, index: int | None = None) -> tuple[int, int] | None:
        """(line, column) where the value of field `name` was read (for a list, its item `index`), where a sub-record begins, or where a statement keyword stood; None when the text did not provide it"""

class NcfDiagnosticDef(metaclass=_pybind11_type):
    """The `diagnostic` section of a node: its address, diagnostic class, timing and services."""

    __match_args__ = ("nad_lhs", "nad_rhs", "nad_list", "diagnostic_class", "p2_min", "st_min", "n_as_timeout", "n_cr_timeout", "support_sids", "max_message_length")
    @property
    def nad_lhs(self) -> int:
        """the node address (NAD), or the first of a range or list"""
    @property
    def nad_rhs(self) -> int | None:
        """the last NAD of a range (`NAD = a to b`)"""
    @property
    def nad_list(self) -> list[int]:
        """the second and later NADs of a list (`NAD = a, b, c`)"""
    @property
    def diagnostic_class(self) -> int | None:
        """the diagnostic class, 1 to 3 (`diagnostic_class`)"""
    @property
    def p2_min(self) -> float | None:
        """`P2_min`, in ms"""
    @property
    def st_min(self) -> float | None:
        """`ST_min`, in ms"""
    @property
    def n_as_timeout(self) -> float | None:
        """`N_As_timeout`, in ms"""
    @property
    def n_cr_timeout(self) -> float | None:
        """`N_Cr_timeout`, in ms"""
    @property
    def support_sids(self) -> list[int]:
        """the diagnostic service IDs the node supports (`support_sid`), in file order"""
    @property
    def max_message_length(self) -> int | None:
        """the longest diagnostic message, in bytes (`max_message_length`)"""
    @property
    def line(self) -> int:
        """1-based line of the record's first token; 0 when the text did not provide the record"""
    @property
    def column(self) -> int:
        """1-based column of the record's first token, counted in bytes; 0 when the text did not provide it"""
    def position_of(self, name: str, index: int | None = None) -> tuple[int, int] | None:
        """(line, column) where the value of field `name` was read (for a list, its item `index`), where a sub-record begins, or where a statement keyword stood; None when the text did not provide it"""

class NcfSignalProperties(metaclass=_pybind11_type):
    """The properties of one signal: initial value, size, offset and encoding."""

    __match_args__ = ("init_value", "size", "offset", "encoding_name")
    @property
    def init_value(self) -> NcfInitValue:
        """the signal's initial value (`init_value`)"""
    @property
    def size(self) -> int:
        """the signal's size in bits (`size`)"""
    @property
    def offset(self) -> int:
        """the frame bit at which the signal begins (`offset`)"""
    @property
    def encoding_name(self) -> str | None:
        """the name of the encoding the signal uses, as written (not looked up)"""
    @property
    def line(self) -> int:
        """1-based line of the record's first token; 0 when the text did not provide the record"""
    @property
    def column(self) -> int:
        """1-based column of the record's first token, counted in bytes; 0 when the text did not provide it"""
    def position_of(self, name: str, index: int | None = None) -> tuple[int, int] | None:
        """(line, column) where the value of field `name` was read (for a list, its item `index`), where a sub-record begins, or where a statement keyword stood; None when the text did not provide it"""

class NcfSignalDef(metaclass=_pybind11_type):
    """One signal of a frame."""

    __match_args__ = ("name", "properties")
    @property
    def name(self) -> str:
        """the signal's name"""
    @property
    def properties(self) -> NcfSignalProperties:
        """its size, initial value, offset and encoding"""
    @property
    def line(self) -> int:
        """1-based line of the record's first token; 0 when the text did not provide the record"""
    @property
    def column(self) -> int:
        """1-based column of the record's first token, counted in bytes; 0 when the text did not provide it"""
    def position_of(self, name: str, index: int | None = None) -> tuple[int, int] | None:
        """(line, column) where the value of field `name` was read (for a list, its item `index`), where a sub-record begins, or where a statement keyword stood; None when the text did not provide it"""

class NcfFrameProperties(metaclass=_pybind11_type):
    """The properties of one frame: length, periods and event-triggered frame."""

    __match_args__ = ("length", "min_period", "max_period", "event_triggered_frame")
    @property
    def length(self) -> int:
        """the number of data bytes (`length`)"""
    @property
    def min_period(self) -> int | None:
        """the shortest period, in ms (`min_period`)"""
    @property
    def max_period(self) -> int | None:
        """the longest period, in ms (`max_period`)"""
    @property
    def event_triggered_frame(self) -> str | None:
        """the name of the event-triggered frame that carries this one, as written"""
    @property
    def line(self) -> int:
        """1-based line of the record's first token; 0 when the text did not provide the record"""
    @property
    def column(self) -> int:
        """1-based column of the record's first token, counted in bytes; 0 when the text did not provide it"""
    def position_of(self, name: str, index: int | None = None) -> tuple[int, int] | None:
        """(line, column) where the value of field `name` was read (for a list, its item `index`), where a sub-record begins, or where a statement keyword stood; None when the text did not provide it"""

class NcfSingleFrame(metaclass=_pybind11_type):
    """One frame that the node publishes or subscribes to."""

    __match_args__ = ("kind", "name", "properties", "signals")
    @property
    def kind(self) -> str:
        """"publish" or "subscribe": whether the node sends or receives the frame"""
    @property
    def name(self) -> str:
        """the frame's name"""
    @property
    def properties(self) -> NcfFrameProperties:
        """its length, periods and event-triggered frame"""
    @property
    def signals(self) -> list[NcfSignalDef]:
        """its signals, in file order"""
    @property
    def line(self) -> int:
        """1-based line of the record's first token; 0 when the text did not provide the record"""
    @property
    def column(self) -> int:
        """1-based column of the record's first token, counted in bytes; 0 when the text did not provide it"""
    def position_of(self, name: str, index: int | None = None) -> tuple[int, int] | None:
        """(line, column) where the value of field `name` was read (for a list, its item `index`), where a sub-record begins, or where a statement keyword stood; None when the text did not provide it"""

class NcfLogicalValue(metaclass=_pybind11_type):
    """A logical value line of an encoding: one raw value and its meaning."""

    __match_args__ = ("signal_value", "text_info")
    @property
    def signal_value(self) -> int:
        """the raw value"""
    @property
    def text_info(self) -> str | None:
        """what the raw value means"""
    @property
    def line(self) -> int:
        """1-based line of the record's first token; 0 when the text did not provide the record"""
    @property
    def column(self) -> int:
        """1-based column of the record's first token, counted in bytes; 0 when the text did not provide it"""
    def position_of(self, name: str, index: int | None = None) -> tuple[int, int] | None:
        """(line, column) where the value of field `name` was read (for a list, its item `index`), where a sub-record begins, or where a statement keyword stood; None when the text did not provide it"""

class NcfPhysicalRange(metaclass=_pybind11_type):
    """A physical range line of an encoding: physical = raw * scale + offset_val for raw in [min_value, max_value]."""

    __match_args__ = ("min_value", "max_value", "scale", "offset_val", "text_info")
    @property
    def min_value(self) -> int:
        """the lowest raw value of the range"""
    @property
    def max_value(self) -> int:
        """the highest raw value of the range"""
    @property
    def scale(self) -> float:
        """the factor from raw to physical value"""
    @property
    def offset_val(self) -> float:
        """the offset added after scaling"""
    @property
    def text_info(self) -> str | None:
        """the unit or a description"""
    @property
    def line(self) -> int:
        """1-based line of the record's first token; 0 when the text did not provide the record"""
    @property
    def column(self) -> int:
        """1-based column of the record's first token, counted in bytes; 0 when the text did not provide it"""
    def position_of(self, name: str, index: int | None = None) -> tuple[int, int] | None:
        """(line, column) where the value of field `name` was read (for a list, its item `index`), where a sub-record begins, or where a statement keyword stood; None when the text did not provide it"""

class NcfEncodingValue(metaclass=_pybind11_type):
    """One value line of an encoding."""

    __match_args__ = ("type", "logical_value", "physical_range")
    @property
    def type(self) -> str:
        """the kind of value line: "logical", "physical", "bcd" or "ascii" (from its keyword)"""
    @property
    def logical_value(self) -> NcfLogicalValue | None:
        """the line's raw value and text, for a logical value line"""
    @property
    def physical_range(self) -> NcfPhysicalRange | None:
        """the line's range, scale and offset, for a physical line"""
    @property
    def line(self) -> int:
        """1-based line of the record's first token; 0 when the text did not provide the record"""
    @property
    def column(self) -> int:
        """1-based column of the record's first token, counted in bytes; 0 when the text did not provide it"""
    def position_of(self, name: str, index: int | None = None) -> tuple[int, int] | None:
        """(line, column) where the value of field `name` was read (for a list, its item `index`), where a sub-record begins, or where a statement keyword stood; None when the text did not provide it"""

class NcfEncodingEntry(metaclass=_pybind11_type):
    """One named encoding of the `encoding` section."""

    __match_args__ = ("name", "values")
    @property
    def name(self) -> str:
        """the encoding's name"""
    @property
    def values(self) -> list[NcfEncodingValue]:
        """its value lines, in file order"""
    @property
    def line(self) -> int:
        """1-based line of the record's first token; 0 when the text did not provide the record"""
    @property
    def column(self) -> int:
        """1-based column of the record's first token, counted in bytes; 0 when the text did not provide it"""
    def position_of(self, name: str, index: int | None = None) -> tuple[int, int] | None:
        """(line, column) where the value of field `name` was read (for a list, its item `index`), where a sub-record begins, or where a statement keyword stood; None when the text did not provide it"""

class NcfStatusManagement(metaclass=_pybind11_type):
    """The `status_management` section of a node."""

    __match_args__ = ("response_error", "fault_state_signals")
    @property
    def response_error(self) -> str:
        """the name of the signal that reports a response error, as written"""
    @property
    def fault_state_signals(self) -> list[str]:
        """the names of the fault-state signals, as written, in file order"""
    @property
    def line(self) -> int:
        """1-based line of the record's first token; 0 when the text did not provide the record"""
    @property
    def column(self) -> int:
        """1-based column of the record's first token, counted in bytes; 0 when the text did not provide it"""
    def position_of(self, name: str, index: int | None = None) -> tuple[int, int] | None:
        """(line, column) where the value of field `name` was read (for a list, its item `index`), where a sub-record begins, or where a statement keyword stood; None when the text did not provide it"""

class NcfNodeDef(metaclass=_pybind11_type):
    """One node of the file."""

    __match_args__ = ("name", "general", "diagnostic", "frames", "encodings", "status", "free_text")
    @property
    def name(self) -> str:
        """the node's name"""
    @property
    def general(self) -> NcfGeneralDef:
        """the `general` section"""
    @property
    def diagnostic(self) -> NcfDiagnosticDef:
        """the `diagnostic` section"""
    @property
    def frames(self) -> list[NcfSingleFrame]:
        """the frames of the `frames` section, in file order"""
    @property
    def encodings(self) -> list[NcfEncodingEntry]:
        """the encodings of the `encoding` section; empty without one"""
    @property
    def status(self) -> NcfStatusManagement:
        """the `status_management` section"""
    @property
    def free_text(self) -> str | None:
        """the text of the `free_text` section"""
    @property
    def line(self) -> int:
        """1-based line of the record's first token; 0 when the text did not provide the record"""
    @property
    def column(self) -> int:
        """1-based column of the record's first token, counted in bytes; 0 when the text did not provide it"""
    def position_of(self, name: str, index: int | None = None) -> tuple[int, int] | None:
        """(line, column) where the value of field `name` was read (for a list, its item `index`), where a sub-record begins, or where a statement keyword stood; None when the text did not provide it"""

class NcfFile(metaclass=_pybind11_type):
    """A whole node capability file, as parse() returns it."""

    __match_args__ = ("filename", "language_version", "nodes")
    @property
    def filename(self) -> str:
        """the file name the parser was given"""
    @property
    def language_version(self) -> str:
        """the LIN language version of the file (`LIN_language_version`)"""
    @property
    def nodes(self) -> list[NcfNodeDef]:
        """the nodes, in file order"""
    @property
    def line(self) -> int:
        """1-based line of the record's first token; 0 when the text did not provide the record"""
    @property
    def column(self) -> int:
        """1-based column of the record's first token, counted in bytes; 0 when the text did not provide it"""
    def position_of(self, name: str, index: int | None = None) -> tuple[int, int] | None:
        """(line, column) where the value of field `name` was read (for a list, its item `index`), where a sub-record begins, or where a statement keyword stood; None when the text did not provide it"""

class NcfParser(metaclass=_pybind11_type):
    """Reads one NCF text: parse() gives the tree, get_diagnostics() every problem found on the way."""

    def __init__(
        self,
        filename: str | bytes | bytearray | os.PathLike[str] | os.PathLike[bytes] = "",
        content: str | bytes | bytearray = "",
        *,
        lenient: bool = False,
        recover: bool = False,
    ) -> None: ...
    def parse(self) -> NcfFile:
        """Parses from where the previous call stopped and returns a new, independent tree."""
    def set_trace(self, arg0: bool, /) -> None:
        """With True, parse() writes a line to C's stdout for each grammar rule it enters and leaves."""
    def get_diagnostics(self) -> list[Diagnostic]:
        """Copies of the diagnostics of the latest parse(), in the order found."""
    def get_comments(self) -> list[Comment]:
        """Every comment of the text (with lenient=True, "#" lines too), in its order; the text is read again for them the first time they are asked for."""

# A record's fields as plain values: what to_dict() returns.
type _Plain = None | bool | int | float | str | list[_Plain] | dict[str, _Plain]
type _Record = (
    Diagnostic | NcfInitValue | NcfBitrateDefinition | NcfGeneralDef | NcfDiagnosticDef | NcfSignalProperties
    | NcfSignalDef | NcfFrameProperties | NcfSingleFrame | NcfLogicalValue | NcfPhysicalRange | NcfEncodingValue
    | NcfEncodingEntry | NcfStatusManagement | NcfNodeDef | NcfFile
)

def to_dict(record: _Record, *, positions: bool = False) -> dict[str, _Plain]:
    """The record and everything below it as plain dicts and lists: keys in field order, None for what is absent, severities by name; with positions=True each record read from text also has 'line' and 'column'"""

def validate(ncf_file: NcfFile, diagnostics: Sequence[Diagnostic] = ()) -> list[Diagnostic]:
    """The problems the LIN rules find in a parsed file, as a new list of Diagnostic ordered by line and column. 'diagnostics' are the parser's for that file: a node in which one of them (of severity Error) lies is not checked, and one Info diagnostic with code 'not-checked' says so."""

def check(
    filename: str | bytes | bytearray | os.PathLike[str] | os.PathLike[bytes],
    content: str | bytes | bytearray | None = None,
    *,
    lenient: bool = False,
    recover: bool = False,
) -> tuple[NcfFile, list[Diagnostic]]:
    """Parses and validates in one call: returns the tree and every diagnostic, the parser's and the validator's, ordered by line and column. Reads the file 'filename' when 'content' is None; otherwise parses 'content' (even when it is empty) and reports 'filename'. lenient=True reads as NcfParser(..., lenient=True) does, recover=True as NcfParser(..., recover=True) does. RuntimeError when the file cannot be opened."""

def check_files(
    filenames: Iterable[str | bytes | os.PathLike[str] | os.PathLike[bytes]],
    *,
    lenient: bool = False,
    recover: bool = False,
    syntax_only: bool = False,
    jobs: int | None = None,
) -> list[list[Diagnostic] | OSError]:
    """Reads, parses and validates each named file (str, bytes or os.PathLike) on a pool of 'jobs' threads (default: one per CPU), with the interpreter lock released. Returns one item per file, in the order given: its diagnostics as check() orders them (the parser's alone with syntax_only=True), or, for a file that cannot be read, the OSError that reading it gives (returned, not raised). lenient=True and recover=True read as NcfParser(..., lenient=True, recover=True) does."""

def rules() -> dict[str, str]:
    """Every code a diagnostic can carry, mapped to what it checks: the parser's first ('syntax', then the lenient reading's 'dialect-...' warnings), then the validator's in the order of their sections, 'not-checked' last."""

def dumps(obj: NcfFile | dict[str, _Plain]) -> bytes:
    """The canonical NCF text of an NcfFile or of its to_dict() form, as bytes (string literals hold ISO 8859-1 bytes, as the reader expects). ValueError naming the field's path for what cannot be written so that it reads back the same, or for a missing key or a value of the wrong type."""

def dump(obj: NcfFile | dict[str, _Plain], path: str | bytes | os.PathLike[str] | os.PathLike[bytes]) -> None:
    """Writes dumps(obj) to the file 'path' (str, bytes or os.PathLike) through a new file beside it that replaces it, keeping its permissions: an interrupted write leaves the old file whole."""

class CodecError(ValueError):
    """A frame or a value the codec cannot use; the message names the frame and the signal."""

def pack(
    frame: NcfSingleFrame, values: Mapping[str, int | bytes | Sequence[int]] | None = None, *, unused_bits: int = 0
) -> bytes:
    """The data bytes of a frame from the raw values of its signals: an int for a scalar, bytes or a sequence of ints for a byte array; a signal not in 'values' takes its initial value, bits no signal uses are 'unused_bits'. CodecError for an unusable frame or a value that does not fit."""

def unpack(frame: NcfSingleFrame, data: Buffer) -> dict[str, int | bytes]:
    """The raw value of every signal of a frame from its data bytes, in the frame's order: an int for a scalar, bytes for a byte array. CodecError for an unusable frame or data of another length."""

def protected_id(frame_id: int) -> int:
    """The protected identifier of a frame identifier 0..0x3F: the identifier with its parity bits P0 (bit 6) and P1 (bit 7)."""

def checksum(data: Buffer, protected_id: int | None = None) -> int:
    """The LIN checksum of data bytes: classic without a protected identifier, enhanced (the identifier counted first) with one."""

@final
class DecodedSignal(
    structseq[int | bytes | float | str | None], tuple[int | bytes, int | float | str | bytes, str | None, str]
):
    """One signal's decoded value: raw, value, unit, kind."""

    __match_args__: Final = ("raw", "value", "unit", "kind")
    @property
    def raw(self) -> int | bytes:
        """the raw value: an int for a scalar, bytes for a byte array"""
    @property
    def value(self) -> int | float | str | bytes:
        """what the raw value means: a float (physical), a str (logical text or ASCII), an int (BCD number, or the raw value when no line covers it), bytes (a byte array no line covers)"""
    @property
    def unit(self) -> str | None:
        """the physical line's text (its unit), or None"""
    @property
    def kind(self) -> str:
        """which kind of value line matched: 'physical', 'logical', 'bcd', 'ascii', or 'raw'"""

def encode(
    node: NcfNodeDef,
    frame: NcfSingleFrame | str,
    values: Mapping[str, int | float | str | bytes | Sequence[int]] | None = None,
    *,
    unused_bits: int = 0,
) -> bytes:
    """The data bytes of a frame of 'node' (a record or a frame's name) from the values of its signals, through the node's encodings: a number (a physical value, a BCD number, or a raw value), a logical text, ASCII text or bytes for a byte array; a signal not in 'values' takes its initial value. CodecError for an unusable frame, an undefined encoding, or a value no line takes."""

def decode(node: NcfNodeDef, frame: NcfSingleFrame | str, data: Buffer) -> dict[str, DecodedSignal]:
    """Every signal of a frame of 'node' (a record or a frame's name) decoded from its data bytes through the node's encodings, in the frame's order, as DecodedSignal(raw, value, unit, kind). Never fails on the bytes of a usable frame; CodecError for an unusable frame, an undefined encoding, or data of another length."""

# For the command line (`tolvane json`), not part of the API.
def _write_json_document(
    write: Callable[[bytes], object],
    ncf_file: NcfFile,
    diagnostics: Sequence[Diagnostic],
    *,
    positions: bool = False,
) -> None:
    """Writes the JSON text of {'ncf_file': to_dict(ncf_file), 'diagnostics': [...]} exactly as json.dumps(..., indent=2) writes it, without the final newline, by calling write() with ASCII bytes a chunk at a time."""

__version__: str

def ldf(
    files: Iterable[NcfFile | tuple[NcfFile, Sequence[Diagnostic]] | str | bytes | os.PathLike[str] | os.PathLike[bytes]],
    settings: Mapping[str, object] | None = None,
    *,
    lenient: bool = False,
) -> tuple[bytes | None, list[Diagnostic]]:
    """The LIN description file (LDF) of the cluster of the nodes of 'files' (each an NcfFile, an (NcfFile, diagnostics) pair or a file name, read with lenient=lenient), and every diagnostic: each file's own, then the cluster's. 'settings' holds what only the cluster knows: master (required), time_base and jitter (ms), bitrate (kbps), protocol_version, language_version, channel, frame_ids and nads (dicts of names to int), source (the name diagnostics about the settings report). The text is bytes (string literals in ISO 8859-1), None when an error stops it."""

class Comment(metaclass=_pybind11_type):
    """A comment of the text, as NcfParser.get_comments() gives it."""

    __match_args__ = ("text", "line", "column")
    @property
    def text(self) -> str:
        """the comment as the text holds it: "//" to the end of its line, "/*" through "*/", or a lenient "#" line"""
    @property
    def line(self) -> int:
        """the line where it begins"""
    @property
    def column(self) -> int:
        """the column where it begins"""

def format_text(content: str | bytes | bytearray, *, lenient: bool = False) -> bytes:
    """The canonical NCF text of 'content' (str or bytes), as dumps() writes the tree read from it, with every comment of the text in place. ValueError when the text has syntax errors (read leniently with lenient=True) or its tree cannot be written."""

def draw_frame(node: NcfNodeDef, frame: NcfSingleFrame | str, *, ascii: bool = False) -> str:
    """A frame of 'node' (a record or a frame's name) drawn as text, as tolvane dump draws it: one row per data byte, bit 7 at the left, each bit marked with its signal's mark (> before a signal's first bit, ! where signals overlap, # for an event-triggered frame's identifier byte, a dot where no signal is), then one line per signal and the value lines of the encodings they use. Box-drawing characters, or ASCII with ascii=True. CodecError when the node has no frame of that name."""

def generate_c(
    node: NcfNodeDef, prefix: str | None = None, *, floating_point: bool = True, unused_bits: int = 0, source: str = ""
) -> tuple[str, str, str, str]:
    """C99 code for the frames of 'node', as (header name, header, source name, source): for each frame its length, a struct of its signals' raw values, and pack, unpack and init functions that agree with pack() and unpack(); for each scalar signal is_in_range, and with a physical encoding decode and encode (floating_point=False leaves those out); for each logical value a #define. Every name begins with 'prefix' (default: the node's name). 'source' is the file named in the first comment. CodecError for a frame the codec refuses, ValueError for two names that become one C name."""
