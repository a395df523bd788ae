"""The language server: pygls speaks the protocol, `Document` and `features`
answer. Each open document is read again on every change (reading a large
file takes a few milliseconds); requests use the reading of the text they
are about.

A request never fails because of the text: a fault in answering is logged to
the client and answered with nothing, so that an editor keeps working while
the file is broken, which is most of the time it is being written.
"""

from __future__ import annotations

import functools
import os
import sys
import traceback

from lsprotocol import types
from pygls.lsp.server import LanguageServer
from pygls.uris import to_fs_path

import tolvane
from tolvane_cli.check import CodeFilter, PerFileIgnores
from tolvane_cli.lsp import features
from tolvane_cli.lsp.document import Document, Options
from tolvane_cli.settings import Settings, find_settings
from tolvane_cli.shared import EXIT_CLEAN, EXIT_DIAGNOSTICS, UsageError

TYPE_CHECKING = False
if TYPE_CHECKING:
    from collections.abc import Callable
    from typing import Any, TypeVar

    Result = TypeVar("Result")


class ServerOptions:
    """What the command line says: --lenient (None: the settings'), --config, --isolated."""

    __slots__ = ("lenient", "config", "isolated")

    def __init__(self, lenient: bool | None = None, config: str | None = None, isolated: bool = False) -> None:
        self.lenient = lenient
        self.config = config
        self.isolated = isolated


class NcfLanguageServer(LanguageServer):
    def __init__(self, options: ServerOptions) -> None:
        super().__init__("tolvane", tolvane.__version__, text_document_sync_kind=types.TextDocumentSyncKind.Incremental)
        self.options = options
        self.readings: dict[str, Document] = {}
        self.settings_problems: set[str] = set()  # reported once each

    # -- reading -----------------------------------------------------------

    def reading(self, uri: str) -> Document:
        """The reading of the document's current text, made when the text changed."""
        source = self.workspace.get_text_document(uri).source
        document = self.readings.get(uri)
        if document is None or document.source != source:
            path = to_fs_path(uri)
            document = Document(path or uri, source, self.document_options(path))
            self.readings[uri] = document
        return document

    def document_options(self, path: str | None) -> Options:
        settings = self.settings_for(path)
        lenient = settings.lenient if self.options.lenient is None else self.options.lenient
        codes = CodeFilter(settings.select, settings.ignore)
        also_ignored = PerFileIgnores(settings).codes_for(path) if path is not None else ()
        return Options(lenient=lenient, keeps=lambda code: codes.keeps(code, also_ignored))

    def settings_for(self, path: str | None) -> Settings:
        start = os.path.dirname(path) if path is not None else None
        try:
            return find_settings(self.options.config, isolated=self.options.isolated,
                                 codes=tuple(tolvane.rules()), start=start)
        except UsageError as error:
            message = str(error)
            if message not in self.settings_problems:
                self.settings_problems.add(message)
                self.window_show_message(types.ShowMessageParams(type=types.MessageType.Error, message=message))
            return Settings(os.getcwd())

    def place(self, uri: str) -> features.Place:
        encoding = self.workspace.position_encoding or types.PositionEncodingKind.Utf16
        return features.Place(self.reading(uri), uri, str(getattr(encoding, "value", encoding)))

    def publish(self, uri: str) -> None:
        place = self.place(uri)
        self.text_document_publish_diagnostics(types.PublishDiagnosticsParams(
            uri=uri, diagnostics=features.diagnostics(place),
            version=self.workspace.get_text_document(uri).version))

    def log_fault(self, what: str) -> None:
        self.window_log_message(types.LogMessageParams(
            type=types.MessageType.Error, message=f"tolvane: {what} failed:\n{traceback.format_exc()}"))


def guarded(default: Callable[[], Any]) -> Callable[[Callable[..., Result]], Callable[..., Result]]:
    """Answers a request with `default()` (and logs the fault) where
    answering it raised."""

    def decorate(handler: Callable[..., Result]) -> Callable[..., Result]:
        @functools.wraps(handler)
        def answer(server: NcfLanguageServer, params: Any) -> Result:
            try:
                return handler(server, params)
            except Exception:
                server.log_fault(handler.__name__)
                return default()  # type: ignore[no-any-return]

        return answer

    return decorate


def build_server(options: ServerOptions) -> NcfLanguageServer:
    server = NcfLanguageServer(options)

    @server.feature(types.TEXT_DOCUMENT_DID_OPEN)
    @guarded(lambda: None)
    def did_open(server: NcfLanguageServer, params: types.DidOpenTextDocumentParams) -> None:
        server.publish(params.text_document.uri)

    @server.feature(types.TEXT_DOCUMENT_DID_CHANGE)
    @guarded(lambda: None)
    def did_change(server: NcfLanguageServer, params: types.DidChangeTextDocumentParams) -> None:
        server.publish(params.text_document.uri)

    @server.feature(types.TEXT_DOCUMENT_DID_SAVE)
    @guarded(lambda: None)
    def did_save(server: NcfLanguageServer, params: types.DidSaveTextDocumentParams) -> None:
        # The settings may have changed since: read the document again with them.
        server.readings.pop(params.text_document.uri, None)
        server.settings_problems.clear()
        server.publish(params.text_document.uri)

    @server.feature(types.TEXT_DOCUMENT_DID_CLOSE)
    @guarded(lambda: None)
    def did_close(server: NcfLanguageServer, params: types.DidCloseTextDocumentParams) -> None:
        server.readings.pop(params.text_document.uri, None)
        server.text_document_publish_diagnostics(
            types.PublishDiagnosticsParams(uri=params.text_document.uri, diagnostics=[]))

    @server.feature(types.TEXT_DOCUMENT_DOCUMENT_SYMBOL)
    @guarded(list)
    def document_symbols(server: NcfLanguageServer,
                         params: types.DocumentSymbolParams) -> list[types.DocumentSymbol]:
        return features.document_symbols(server.place(params.text_document.uri))

    @server.feature(types.TEXT_DOCUMENT_HOVER)
    @guarded(lambda: None)
    def hover(server: NcfLanguageServer, params: types.HoverParams) -> types.Hover | None:
        return features.hover(server.place(params.text_document.uri), params.position)

    @server.feature(types.TEXT_DOCUMENT_DEFINITION)
    @guarded(list)
    def definition(server: NcfLanguageServer, params: types.DefinitionParams) -> list[types.Location]:
        return features.definition(server.place(params.text_document.uri), params.position)

    @server.feature(types.TEXT_DOCUMENT_REFERENCES)
    @guarded(list)
    def references(server: NcfLanguageServer, params: types.ReferenceParams) -> list[types.Location]:
        return features.references(server.place(params.text_document.uri), params.position,
                                   params.context.include_declaration)

    @server.feature(types.TEXT_DOCUMENT_COMPLETION, types.CompletionOptions(trigger_characters=["=", ","]))
    @guarded(list)
    def completion(server: NcfLanguageServer, params: types.CompletionParams) -> list[types.CompletionItem]:
        return features.completion(server.place(params.text_document.uri), params.position)

    @server.feature(types.TEXT_DOCUMENT_FORMATTING)
    @guarded(list)
    def formatting(server: NcfLanguageServer, params: types.DocumentFormattingParams) -> list[types.TextEdit]:
        return features.formatting(server.place(params.text_document.uri))

    @server.feature(types.TEXT_DOCUMENT_CODE_ACTION,
                    types.CodeActionOptions(code_action_kinds=[types.CodeActionKind.QuickFix]))
    @guarded(list)
    def code_actions(server: NcfLanguageServer, params: types.CodeActionParams) -> list[types.CodeAction]:
        return features.code_actions(server.place(params.text_document.uri), params.range)

    return server


def serve(options: ServerOptions) -> int:
    """Serves over standard input and output until the client's exit."""
    server = build_server(options)
    server.start_io()
    if sys.stdout.closed:  # pygls closes it at exit; what the command line flushes after goes nowhere
        sys.stdout = open(os.devnull, "w")
    # The protocol's exit status: 0 when shutdown came before exit, 1 otherwise.
    return EXIT_CLEAN if server.protocol._shutdown else EXIT_DIAGNOSTICS
