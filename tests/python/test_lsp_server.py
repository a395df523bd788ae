"""`tolvane lsp` as a process: the project's settings, the client's position
encoding, the exit, and a server that answers every request whatever edits
reach it."""

import asyncio
import random

import pytest

pytest.importorskip("pygls", reason="the language server is the optional extra lsp")
pytest_lsp = pytest.importorskip("pytest_lsp")

from lsprotocol import types  # noqa: E402

from conftest import EXAMPLES  # noqa: E402
from lsp_client import (  # noqa: E402
    at,
    change_document,
    close_document,
    document,
    initialize_params,
    open_document,
    server_config,
)

pytestmark = pytest.mark.asyncio(loop_scope="module")

DOOR = EXAMPLES / "door_module.ncf"


# ---------------------------------------------------------------------------
# Settings: those of the nearest tolvane.toml above each document
# ---------------------------------------------------------------------------


@pytest_lsp.fixture(scope="module", config=server_config())
async def client(lsp_client: pytest_lsp.LanguageClient):
    await lsp_client.initialize_session(initialize_params())
    yield
    await lsp_client.shutdown_session()


UNUSED_AND_OUT_OF_ORDER = DOOR.read_text().replace("lock_enc; }", "}", 1).replace(
    "    variant = 1;\n    bitrate", "    bitrate", 1).replace('conformance = "LIN2.2";', 'conformance = "LIN2.2";\n'
                                                              "    variant = 1;", 1)


@pytest.mark.parametrize("settings, codes", [
    ("", ["syntax", "not-checked"]),
    ("lenient = true\n", ["dialect-statement-order", "unused-encoding"]),
    ('lenient = true\nignore = ["unused"]\n', ["dialect-statement-order"]),
    ('lenient = true\nselect = ["unused"]\n', ["unused-encoding"]),
    ('lenient = true\n[per-file-ignores]\n"*.ncf" = ["dialect"]\n', ["unused-encoding"]),
])
async def test_each_document_is_read_with_the_settings_of_its_folder(client, tmp_path, settings, codes):
    folder = tmp_path / "project"
    (folder / "nodes").mkdir(parents=True)
    (folder / ".git").mkdir()
    (folder / "tolvane.toml").write_text(settings)
    path = folder / "nodes" / "door.ncf"
    diagnostics = await open_document(client, path.as_uri(), UNUSED_AND_OUT_OF_ORDER)
    assert sorted({d.code for d in diagnostics}) == sorted(codes)
    await close_document(client, path.as_uri())


async def test_wrong_settings_are_shown_once_and_the_document_still_read(client, tmp_path):
    (tmp_path / ".git").mkdir()
    (tmp_path / "tolvane.toml").write_text("colour = true\n")
    shown = len(client.messages)
    for name in ("a.ncf", "b.ncf"):
        diagnostics = await open_document(client, (tmp_path / name).as_uri(), UNUSED_AND_OUT_OF_ORDER)
        assert "syntax" in {d.code for d in diagnostics}
        await close_document(client, (tmp_path / name).as_uri())
    [message] = client.messages[shown:]
    assert message.type == types.MessageType.Error and "unknown key 'colour'" in message.message


# ---------------------------------------------------------------------------
# A client that counts columns in UTF-8 bytes
# ---------------------------------------------------------------------------


@pytest_lsp.fixture(scope="module", config=server_config("--isolated"))
async def utf8_client(lsp_client: pytest_lsp.LanguageClient):
    result = await lsp_client.initialize_session(initialize_params(position_encodings=[types.PositionEncodingKind.Utf8]))
    assert result.capabilities.position_encoding == types.PositionEncodingKind.Utf8
    yield
    await lsp_client.shutdown_session()


async def test_a_client_that_counts_bytes_gets_the_readers_columns(utf8_client):
    uri = DOOR.with_name("utf8.ncf").as_uri()
    text = DOOR.read_text().replace("    variant = 1;", "    /* é𝄞 */ variant = x;", 1)
    [fault] = [d for d in await open_document(utf8_client, uri, text) if d.code == "syntax"]
    line = text.splitlines()[fault.range.start.line]
    assert fault.range.start.character == len(line[:line.index("x;")].encode())
    # A hover asked at a byte column finds the word there.
    hover = await utf8_client.text_document_hover_async(types.HoverParams(
        text_document=document(uri), position=at(fault.range.start.line, fault.range.start.character - 4)))
    assert hover.contents.value.startswith("**variant**")
    await close_document(utf8_client, uri)


# ---------------------------------------------------------------------------
# Random edits: every request still answers
# ---------------------------------------------------------------------------

# What editing a file goes through: half-typed strings and comments, stray
# braces, text pasted from elsewhere, and lone surrogates (which JSON can
# carry, though no UTF-8 text holds them).
FRAGMENTS = ['"', "/*", "*/", "//", "{", "}", ";", "=", "\n", "node", "signals {", "0x", "-", "1e999", "é", "𝄞",
             "\ud800", "\x00", "\t", "#", "logical_value, 1, ", "event_triggered_frame = ", "frames {"]


def random_edit(rng, lines):
    """A range of the current text (as lines) and the text to put there."""
    line = rng.randrange(len(lines))
    start = rng.randrange(len(lines[line]) + 1)
    if rng.random() < 0.3:  # a deletion, possibly across lines
        end_line = min(len(lines) - 1, line + rng.randrange(3))
        end = rng.randrange(len(lines[end_line]) + 1) if end_line > line else rng.randrange(start, len(lines[line]) + 1)
        return (line, start, end_line, end), ""
    return (line, start, line, start), "".join(rng.choice(FRAGMENTS) for _ in range(rng.randrange(1, 4)))


def applied(lines, where, new_text):
    line, start, end_line, end = where
    text = lines[line][:start] + new_text + lines[end_line][end:]
    return lines[:line] + text.split("\n") + lines[end_line + 1:]


def utf16_length(text):
    return len(text.encode("utf-16-le", "surrogatepass")) // 2


async def every_request_answers(client, uri, rng, lines):
    line = rng.randrange(len(lines))
    position = at(line, rng.randrange(utf16_length(lines[line]) + 1))
    identifier = document(uri)
    requests = [
        client.text_document_hover_async(types.HoverParams(text_document=identifier, position=position)),
        client.text_document_definition_async(types.DefinitionParams(text_document=identifier, position=position)),
        client.text_document_references_async(types.ReferenceParams(
            text_document=identifier, position=position, context=types.ReferenceContext(include_declaration=True))),
        client.text_document_completion_async(types.CompletionParams(text_document=identifier, position=position)),
        client.text_document_document_symbol_async(types.DocumentSymbolParams(text_document=identifier)),
        client.text_document_formatting_async(types.DocumentFormattingParams(
            text_document=identifier, options=types.FormattingOptions(tab_size=4, insert_spaces=True))),
        client.text_document_code_action_async(types.CodeActionParams(
            text_document=identifier, range=types.Range(start=at(0, 0), end=at(len(lines), 0)),
            context=types.CodeActionContext(diagnostics=[]))),
    ]
    await asyncio.wait_for(asyncio.gather(*requests), 60)  # an error response would raise here


@pytest.mark.parametrize("seed", range(6))
async def test_random_edits_never_stop_the_server(utf8_client, seed):
    # The UTF-16 columns below are sent to a server that counts UTF-8
    # bytes: positions inside characters and past line ends must be taken too.
    client, rng = utf8_client, random.Random(seed)
    uri = DOOR.with_name(f"random-{seed}.ncf").as_uri()
    lines = DOOR.read_text().split("\n")
    await open_document(client, uri, "\n".join(lines))
    for version in range(2, 62):
        where, new_text = random_edit(rng, lines)
        line, start, end_line, end = where
        change = types.Range(start=at(line, utf16_length(lines[line][:start])),
                             end=at(end_line, utf16_length(lines[end_line][:end])))
        await change_document(client, uri, version, [(change, new_text)])
        lines = applied(lines, where, new_text)
        await every_request_answers(client, uri, rng, lines)
    assert not [message for message in client.log_messages if "failed" in message.message]
    await close_document(client, uri)


# ---------------------------------------------------------------------------
# The exit
# ---------------------------------------------------------------------------


@pytest.mark.parametrize("shutdown_first, status", [(True, 0), (False, 1)])
async def test_exit_status_says_whether_shutdown_came_first(shutdown_first, status):
    client = await server_config("--isolated").start()
    await client.initialize_session(initialize_params())
    if shutdown_first:
        await client.shutdown_async(None)
    client.exit(None)
    assert await asyncio.wait_for(client._server.wait(), 60) == status
    await client.stop()
