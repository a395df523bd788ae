// Throughput of the parser core over inputs held in memory.
#include <benchmark/benchmark.h>

#include <string>

#include "parser/ncf_parser.hpp"

namespace {

const std::string small_file = R"(node_capability_file;
LIN_language_version = "2.1";
node door {
  general { LIN_protocol_version = "2.1"; supplier = 0x1E; function = 1; variant = 0; bitrate = 19.2 kbps; }
  diagnostic { NAD = 1; }
  frames { publish door_status { length = 2; signals { open { size = 1; init_value = 0; offset = 0; } } } }
  status_management { response_error = open; }
}
)";

void parse_small_file(benchmark::State& state) {
    for (auto _ : state) {
        tolvane::NcfParser parser("door.ncf", small_file);
        benchmark::DoNotOptimize(parser.parse());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(small_file.size()));
}
BENCHMARK(parse_small_file);

}  // namespace
