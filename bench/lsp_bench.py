#!/usr/bin/env python3
"""How fast `tolvane lsp` answers, as its client sees it: the time from
sending a change to receiving the diagnostics of the changed text, and the
time of each request, on the largest file of the corpus (about 24 KB) and
on a generated document of about 10 000 lines.

    PYTHONPATH=BUILD:python python3.14 bench/lsp_bench.py [--changes N]
    PYTHONPATH=BUILD:python python3.14 bench/lsp_bench.py --smoke

Client and server run on one core (the first this process may use), so the
figures hold the client's own work too: they are the upper bound of the
server's. Each change inserts or deletes one character in a comment or a
value; the figures are the median, the 95th percentile and the largest.
Needs the extra lsp (pygls). --smoke sends a few changes and requests to a
small document and exits non-zero when one goes unanswered; its figures
mean nothing.
"""

import argparse
import asyncio
import os
import pathlib
import statistics
import sys
import time

from lsprotocol import types
from pygls.lsp.client import BaseLanguageClient

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
from gen_ncf import generate  # noqa: E402

TOP = pathlib.Path(__file__).resolve().parents[1]
CORPUS_FILE = TOP.parent / "shared" / "corpus" / "real" / "John-Titor__LIN_Nodes__common__nodes.ncf"


class Client(BaseLanguageClient):
    def __init__(self) -> None:
        super().__init__("lsp-bench", "1")
        self.published: asyncio.Queue[float] = asyncio.Queue()

        @self.feature(types.TEXT_DOCUMENT_PUBLISH_DIAGNOSTICS)
        def diagnostics(params: types.PublishDiagnosticsParams) -> None:
            self.published.put_nowait(time.perf_counter())


async def started() -> Client:
    client = Client()
    await client.start_io(sys.executable, "-m", "tolvane_cli", "lsp", "--isolated")
    await client.initialize_async(types.InitializeParams(capabilities=types.ClientCapabilities()))
    client.initialized(types.InitializedParams())
    return client


def edit_places(text: str, count: int) -> list[types.Position]:
    """Where the changes go: just after a digit, spread over the text."""
    lines = text.split("\n")
    places = [types.Position(line=number, character=column + 1) for number, line in enumerate(lines)
              for column in [next((i for i, c in enumerate(line) if c.isdigit()), -1)] if column >= 0]
    step = max(1, len(places) // count)
    return (places[::step] * (count // max(1, len(places[::step])) + 1))[:count]


async def diagnostics_latency(client: Client, uri: str, text: str, changes: int) -> list[float]:
    client.text_document_did_open(types.DidOpenTextDocumentParams(
        text_document=types.TextDocumentItem(uri=uri, language_id="ncf", version=1, text=text)))
    await asyncio.wait_for(client.published.get(), 60)
    times = []
    for version, place in enumerate(edit_places(text, changes), 2):
        # Every other change puts a digit in; the next one takes it out again.
        if version % 2 == 0:
            change = types.TextDocumentContentChangePartial(range=types.Range(start=place, end=place), text="7")
        else:
            after = types.Position(line=place.line, character=place.character + 1)
            change = types.TextDocumentContentChangePartial(range=types.Range(start=place, end=after), text="")
        sent = time.perf_counter()
        client.text_document_did_change(types.DidChangeTextDocumentParams(
            text_document=types.VersionedTextDocumentIdentifier(uri=uri, version=version), content_changes=[change]))
        received = await asyncio.wait_for(client.published.get(), 60)
        times.append(received - sent)
    return times


async def request_times(client: Client, uri: str, text: str) -> dict[str, float]:
    """The time of each request, on a text just changed (so that nothing is kept from before)."""
    identifier = types.TextDocumentIdentifier(uri=uri)
    middle = types.Position(line=text.count("\n") // 2, character=10)
    requests = {
        "document symbols": lambda: client.text_document_document_symbol_async(
            types.DocumentSymbolParams(text_document=identifier)),
        "hover": lambda: client.text_document_hover_async(types.HoverParams(text_document=identifier,
                                                                             position=middle)),
        "completion": lambda: client.text_document_completion_async(
            types.CompletionParams(text_document=identifier, position=middle)),
        "references": lambda: client.text_document_references_async(types.ReferenceParams(
            text_document=identifier, position=middle, context=types.ReferenceContext(include_declaration=True))),
        "formatting": lambda: client.text_document_formatting_async(types.DocumentFormattingParams(
            text_document=identifier, options=types.FormattingOptions(tab_size=4, insert_spaces=True))),
    }
    times = {}
    for version, (name, request) in enumerate(requests.items(), 10_000):
        client.text_document_did_change(types.DidChangeTextDocumentParams(
            text_document=types.VersionedTextDocumentIdentifier(uri=uri, version=version),
            content_changes=[types.TextDocumentContentChangeWholeDocument(text=text)]))
        await asyncio.wait_for(client.published.get(), 60)
        started_at = time.perf_counter()
        await asyncio.wait_for(request(), 60)
        times[name] = time.perf_counter() - started_at
    return times


def summary(times: list[float]) -> str:
    ordered = sorted(times)
    p95 = ordered[min(len(ordered) - 1, int(0.95 * len(ordered)))]
    return (f"median {statistics.median(ordered) * 1e3:6.1f} ms, p95 {p95 * 1e3:6.1f} ms, "
            f"max {ordered[-1] * 1e3:6.1f} ms over {len(ordered)} changes")


async def run(arguments: argparse.Namespace) -> int:
    documents = {}
    if arguments.smoke:
        documents["door_module.ncf"] = (TOP / "examples" / "door_module.ncf").read_text()
    else:
        documents[CORPUS_FILE.name] = CORPUS_FILE.read_bytes().decode("latin-1")
        generated = generate("multi", 410 * 1024).text
        documents[f"generated, {generated.count(chr(10))} lines"] = generated
    client = await started()
    try:
        for name, text in documents.items():
            uri = (TOP / "build" / f"lsp-bench-{len(text)}.ncf").as_uri()
            latency = await diagnostics_latency(client, uri, text, 4 if arguments.smoke else arguments.changes)
            print(f"{name} ({len(text) // 1024} KB, {text.count(chr(10))} lines)")
            print(f"  diagnostics after a change: {summary(latency)}")
            for request, seconds in (await request_times(client, uri, text)).items():
                print(f"  {request:<18} {seconds * 1e3:7.1f} ms")
    finally:
        await client.shutdown_async(None)
        client.exit(None)
        await client.stop()
    return 0


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--changes", type=int, default=200, help="changes per document (default 200)")
    parser.add_argument("--smoke", action="store_true", help="a few changes to a small document")
    arguments = parser.parse_args()
    if hasattr(os, "sched_setaffinity"):
        os.sched_setaffinity(0, {min(os.sched_getaffinity(0))})  # the server started below inherits it
    return asyncio.run(run(arguments))


if __name__ == "__main__":
    sys.exit(main())
