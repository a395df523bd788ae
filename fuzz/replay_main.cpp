// Runs the fuzz targets over files: every file named on the command line and
// every regular file below every directory named there (in a fixed order, so
// that a failure reproduces), through every target or the one named. Used to
// replay the corpus and the stored fuzz cases under the sanitizers with any
// compiler, without libFuzzer.
//
//   tolvane_fuzz_replay [--target NAME] PATH...
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "fuzz/fail.hpp"
#include "fuzz/targets.hpp"

namespace {

namespace fs = std::filesystem;

// The regular files a command-line argument stands for; false when the path
// is neither a regular file nor a directory.
bool collect_inputs(const fs::path& path, std::vector<fs::path>& inputs) {
    std::error_code error;
    if (fs::is_regular_file(path, error)) {
        inputs.push_back(path);
        return true;
    }
    if (!fs::is_directory(path, error)) {
        return false;
    }
    std::vector<fs::path> found;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(path, error)) {
        if (entry.is_regular_file(error)) {
            found.push_back(entry.path());
        }
    }
    if (error) {
        return false;
    }
    std::sort(found.begin(), found.end());
    inputs.insert(inputs.end(), found.begin(), found.end());
    return true;
}

bool read_file(const fs::path& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// The targets `name` stands for: all of them when it is empty.
std::span<const tolvane::fuzz::Target> chosen_targets(std::string_view name) {
    const auto& all = tolvane::fuzz::targets;
    if (name.empty()) {
        return all;
    }
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (all[i].name == name) {
            return std::span(all).subspan(i, 1);
        }
    }
    return {};
}

void run(const tolvane::fuzz::Target& target, std::string_view bytes) {
    try {
        target.run(bytes);
    } catch (const std::exception& error) {
        tolvane::fuzz::fail(std::string("an exception escaped the target: ") + error.what());
    }
}

}  // namespace

int main(int argc, char** argv) {
    int first_path = 1;
    std::string_view target_name;
    if (argc > 2 && std::string_view(argv[1]) == "--target") {
        target_name = argv[2];
        first_path = 3;
    }
    const std::span<const tolvane::fuzz::Target> chosen = chosen_targets(target_name);
    if (argc <= first_path || chosen.empty()) {
        std::fprintf(stderr, "usage: %s [--target NAME] PATH...\n", argv[0]);
        return 2;
    }
    std::vector<fs::path> inputs;
    for (int i = first_path; i < argc; ++i) {
        if (!collect_inputs(argv[i], inputs)) {
            std::fprintf(stderr, "replay: cannot read %s\n", argv[i]);
            return 2;
        }
    }
    std::string bytes;
    for (const fs::path& input : inputs) {
        if (!read_file(input, bytes)) {
            std::fprintf(stderr, "replay: cannot read %s\n", input.string().c_str());
            return 2;
        }
        // A buffer of exactly the input's size, as libFuzzer passes it, so
        // that AddressSanitizer sees a read of even one byte past the end.
        const auto exact = std::make_unique<char[]>(bytes.size());
        std::memcpy(exact.get(), bytes.data(), bytes.size());
        for (const tolvane::fuzz::Target& target : chosen) {
            // Named first, so that a crash shows which input caused it.
            std::fprintf(stderr, "replay: %s %s\n", std::string(target.name).c_str(), input.string().c_str());
            run(target, std::string_view(exact.get(), bytes.size()));
        }
    }
    std::printf("replayed %zu inputs through %zu targets\n", inputs.size(), chosen.size());
    return 0;
}
