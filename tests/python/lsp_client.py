"""Driving `tolvane lsp` as an editor does, for the language server's tests:
the server runs as a child process and is spoken to over its standard input
and output by pytest-lsp's client."""

import asyncio
import os
import sys

from lsprotocol import types
from pytest_lsp import ClientServerConfig, client_capabilities

from conftest import module_path


def server_config(*options, cwd_env=None):
    return ClientServerConfig(
        server_command=[sys.executable, "-m", "tolvane_cli", "lsp", *options],
        server_env={**os.environ, "PYTHONPATH": module_path(), **(cwd_env or {})},
    )


def initialize_params(position_encodings=None):
    capabilities = client_capabilities("visual-studio-code")
    if position_encodings is not None:
        capabilities.general = types.GeneralClientCapabilities(position_encodings=position_encodings)
    return types.InitializeParams(capabilities=capabilities)


def document(uri):
    return types.TextDocumentIdentifier(uri=uri)


def at(line, character):
    return types.Position(line=line, character=character)


async def published(client, uri, send):
    """Runs `send` and returns the diagnostics the server then publishes for `uri`."""
    client.diagnostics.pop(uri, None)
    send()
    while uri not in client.diagnostics:
        await asyncio.wait_for(client.wait_for_notification(types.TEXT_DOCUMENT_PUBLISH_DIAGNOSTICS), 60)
    return client.diagnostics[uri]


async def open_document(client, uri, text, version=1):
    """Opens `uri` with `text` and returns the diagnostics the server publishes for it."""
    return await published(client, uri, lambda: client.text_document_did_open(types.DidOpenTextDocumentParams(
        text_document=types.TextDocumentItem(uri=uri, language_id="ncf", version=version, text=text))))


async def change_document(client, uri, version, changes):
    """Sends `changes`, (range or None, text) pairs where None replaces the
    whole text, and returns the diagnostics published after them."""
    events = [types.TextDocumentContentChangeWholeDocument(text=text) if where is None
              else types.TextDocumentContentChangePartial(range=where, text=text) for where, text in changes]
    return await published(client, uri, lambda: client.text_document_did_change(types.DidChangeTextDocumentParams(
        text_document=types.VersionedTextDocumentIdentifier(uri=uri, version=version), content_changes=events)))


async def close_document(client, uri):
    """Closes `uri` and returns the diagnostics published then (none, to clear the editor's)."""
    return await published(client, uri, lambda: client.text_document_did_close(
        types.DidCloseTextDocumentParams(text_document=document(uri))))


def apply_edits(text, edits):
    """`text` with the protocol's text edits applied (ASCII text: columns are characters)."""
    lines = text.split("\n")

    def offset(position):
        return sum(len(line) + 1 for line in lines[:position.line]) + position.character

    for edit in sorted(edits, key=lambda edit: offset(edit.range.start), reverse=True):
        text = text[:offset(edit.range.start)] + edit.new_text + text[offset(edit.range.end):]
    return text
