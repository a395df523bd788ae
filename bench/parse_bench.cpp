// Throughput of the parser core over generated inputs, side by side with the
// lexing floor and the lexer alone, so that the parser's rate can be quoted as
// a fraction of the floor measured in the same run on the same bytes; and the
// time the validator and the writer take over the parsed tree, to quote
// against the parse.
//
//   tolvane_bench [--inputs=DIR] [benchmark flags]
//
// DIR holds <shape>-<size>.ncf for the shapes multi and single and the sizes
// 2K, 1M and 10M, as bench/gen_ncf.py writes them; the build generates them
// into bench/inputs of the build folder, which is the default. The variable
// TOLVANE_BENCH_INPUTS names another folder. Benchmarks are named
// <stage>/<shape>/<size>, so --benchmark_filter=/2K$ runs the small inputs
// only. The exit status is 1 when an input is missing or does not parse
// without a diagnostic: a figure for an input that the grammar rejects would
// time the error path, not the parser. Each input is also checked to give the
// lexing floor and the lexer the same lines and nearly the same tokens.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bench/lexing_floor.hpp"
#include "lexer/lexer.hpp"
#include "parser/ncf_parser.hpp"
#include "parser/source_text.hpp"
#include "validate/validator.hpp"
#include "writer/ncf_writer.hpp"

#ifndef TOLVANE_BENCH_INPUTS_DIR
#define TOLVANE_BENCH_INPUTS_DIR "bench/inputs"
#endif

namespace {

constexpr std::string_view shapes[] = {"multi", "single"};
constexpr std::string_view sizes[] = {"2K", "1M", "10M"};

std::string inputs_dir = TOLVANE_BENCH_INPUTS_DIR;
bool any_input_failed = false;

struct Input {
    std::string text;
    std::string error;  // why the input cannot be benchmarked, if it cannot
};

std::optional<std::string> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::size_t count_lexer_tokens(const std::string& text) {
    tolvane::Lexer lexer(text, "bench.ncf");
    std::size_t tokens = 0;
    while (lexer.next_token().kind != tolvane::TokenKind::EndOfInput) {
        ++tokens;
    }
    return tokens;
}

// The floor must do the lexer's job in outline, or its rate is no yardstick:
// the same lines, and the same tokens but for signed numbers, which it
// counts as two.
std::string check_floor(const std::string& path, const std::string& text) {
    const tolvane::bench::FloorCounts floor = tolvane::bench::scan_lexing_floor(text);
    const auto line_feeds = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    const std::size_t tokens = count_lexer_tokens(text);
    if (floor.lines != line_feeds || floor.tokens < tokens || floor.tokens > tokens + tokens / 50) {
        std::ostringstream message;
        message << path << ": the lexing floor counts " << floor.tokens << " tokens and " << floor.lines
                << " lines, the lexer " << tokens << " tokens, the text " << line_feeds << " line feeds";
        return message.str();
    }
    return "";
}

Input load_input(const std::string& name) {
    const std::string path = inputs_dir + "/" + name + ".ncf";
    std::optional<std::string> text = read_file(path);
    if (!text) {
        return {"", "cannot read " + path + " (generate it with bench/gen_ncf.py or set --inputs)"};
    }
    if (std::string problem = check_floor(path, *text); !problem.empty()) {
        return {"", problem};
    }
    tolvane::NcfParser parser(path, *text);
    parser.parse();
    if (const auto& diagnostics = parser.get_diagnostics(); !diagnostics.empty()) {
        const tolvane::Diagnostic& first = diagnostics.front();
        std::ostringstream message;
        message << path << ": " << diagnostics.size() << " diagnostics, the first at " << first.line << ":"
                << first.column << ": " << first.message;
        return {"", message.str()};
    }
    return {std::move(*text), ""};
}

// Each input is read and checked once, outside every timed region, and then
// shared by the stages that run over it.
const Input& input(const std::string& name) {
    static std::map<std::string, Input> loaded;
    auto found = loaded.find(name);
    if (found == loaded.end()) {
        found = loaded.emplace(name, load_input(name)).first;
    }
    return found->second;
}

// Returns the text, or nullptr after marking the benchmark as failed.
const std::string* text_or_skip(benchmark::State& state, const std::string& name) {
    const Input& loaded = input(name);
    if (!loaded.error.empty()) {
        any_input_failed = true;
        state.SkipWithError(loaded.error);
        return nullptr;
    }
    return &loaded.text;
}

void set_rates(benchmark::State& state, const std::string& text, std::size_t tokens) {
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
    state.counters["tokens"] = benchmark::Counter(static_cast<double>(tokens));
    state.counters["tokens/s"] =
        benchmark::Counter(static_cast<double>(tokens), benchmark::Counter::kIsIterationInvariantRate);
}

// (a) The lexing floor: classify every byte and count tokens.
void lexing_floor(benchmark::State& state, const std::string& name) {
    const std::string* text = text_or_skip(state, name);
    if (text == nullptr) {
        return;
    }
    tolvane::bench::FloorCounts counts;
    for (auto _ : state) {
        counts = tolvane::bench::scan_lexing_floor(*text);
        benchmark::DoNotOptimize(counts);
    }
    set_rates(state, *text, counts.tokens);
    state.counters["lines"] = benchmark::Counter(static_cast<double>(counts.lines));
}

// (b) The lexer alone: every token, with its kind, text and position.
void lexer_alone(benchmark::State& state, const std::string& name) {
    const std::string* text = text_or_skip(state, name);
    if (text == nullptr) {
        return;
    }
    std::size_t tokens = 0;
    for (auto _ : state) {
        tolvane::Lexer lexer(*text, "bench.ncf");
        tokens = 0;
        for (tolvane::Token token = lexer.next_token(); token.kind != tolvane::TokenKind::EndOfInput;
             token = lexer.next_token()) {
            benchmark::DoNotOptimize(token);
            ++tokens;
        }
    }
    set_rates(state, *text, tokens);
}

// (c) The full parse into records: the parser's construction over a view of
// the text (as the Python binding makes it for str and bytes, so that the two
// figures differ by the binding alone), parse(), and the destruction of the
// tree and of the parser.
void parse_with(benchmark::State& state, const std::string& name, tolvane::ParseOptions options) {
    const std::string* text = text_or_skip(state, name);
    if (text == nullptr) {
        return;
    }
    // The input outlives every parser; the owner only marks the view as borrowed.
    const auto owner = std::make_shared<const std::string*>(text);
    std::size_t nodes = 0;
    for (auto _ : state) {
        tolvane::NcfParser parser("bench.ncf", tolvane::SourceText(*text, owner), options);
        const tolvane::NcfFile file = parser.parse();
        nodes = file.nodes.size();
        benchmark::DoNotOptimize(nodes);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text->size()));
    state.counters["nodes"] = benchmark::Counter(static_cast<double>(nodes));
}

void full_parse(benchmark::State& state, const std::string& name) {
    parse_with(state, name, {});
}

// (c') The same parse read leniently: what the lenient reading costs on
// input in the standard syntax, where it takes the same path.
void lenient_parse(benchmark::State& state, const std::string& name) {
    parse_with(state, name, {.lenient = true});
}

// (c'') The same parse with recovery from faults: what the recovering
// reading costs on input without one, where it takes the same path.
void recovering_parse(benchmark::State& state, const std::string& name) {
    parse_with(state, name, {.recover = true});
}

// (d) Validation of the parsed tree against the LIN rules: the parse is done
// once, outside the timed region. The inputs break no rule, so this times
// the rules and not the wording of findings.
void validation(benchmark::State& state, const std::string& name) {
    const std::string* text = text_or_skip(state, name);
    if (text == nullptr) {
        return;
    }
    tolvane::NcfParser parser("bench.ncf", *text);
    const tolvane::NcfFile file = parser.parse();
    std::size_t findings = 0;
    for (auto _ : state) {
        const std::vector<tolvane::Diagnostic> found = tolvane::validate(file, parser.get_diagnostics());
        findings = found.size();
        benchmark::DoNotOptimize(findings);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text->size()));
    state.counters["findings"] = benchmark::Counter(static_cast<double>(findings));
}

// (e) The writer: the canonical text of the tree of one parse made before
// timing.
void writing(benchmark::State& state, const std::string& name) {
    const std::string* text = text_or_skip(state, name);
    if (text == nullptr) {
        return;
    }
    tolvane::NcfParser parser("bench.ncf", *text);
    const tolvane::NcfFile file = parser.parse();
    for (auto _ : state) {
        const std::string output = tolvane::write_ncf(file);
        benchmark::DoNotOptimize(output.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text->size()));
}

// The stages of one input are registered next to each other, so that a plain
// run times them under the same conditions; with repetitions, random
// interleaving (see BENCHMARKS.md) spreads the drift of a shared machine
// over all of them.
void register_benchmarks() {
    using Stage = void (*)(benchmark::State&, const std::string&);
    const std::pair<const char*, Stage> stages[] = {{"floor", lexing_floor},  {"lexer", lexer_alone},
                                                    {"parse", full_parse},    {"lenient", lenient_parse},
                                                    {"recover", recovering_parse}, {"validate", validation},
                                                    {"write", writing}};
    for (const std::string_view size : sizes) {
        for (const std::string_view shape : shapes) {
            const std::string name = std::string(shape) + "-" + std::string(size);
            for (const auto& [stage, function] : stages) {
                const std::string label =
                    std::string(stage) + "/" + std::string(shape) + "/" + std::string(size);
                benchmark::RegisterBenchmark(label, function, name)->Unit(benchmark::kMicrosecond);
            }
        }
    }
}

// Takes --inputs=DIR out of the arguments before Google Benchmark sees them.
void take_own_arguments(int& argc, char** argv) {
    if (const char* from_environment = std::getenv("TOLVANE_BENCH_INPUTS")) {
        inputs_dir = from_environment;
    }
    constexpr std::string_view flag = "--inputs=";
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument.starts_with(flag)) {
            inputs_dir = std::string(argument.substr(flag.size()));
        } else {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
}

}  // namespace

int main(int argc, char** argv) {
    take_own_arguments(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 2;
    }
    register_benchmarks();
    const std::size_t ran = benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (ran == 0) {
        std::cerr << "tolvane_bench: no benchmark matched the filter\n";
        return 1;
    }
    if (any_input_failed) {
        std::cerr << "tolvane_bench: some inputs were missing or did not parse cleanly\n";
        return 1;
    }
    return 0;
}
