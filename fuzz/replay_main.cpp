// Runs the fuzz target over files: every file named on the command line and
// every regular file below every directory named there (in a fixed order, so
// that a failure reproduces). Used to replay the corpus and the stored fuzz
// cases under the sanitizers with any compiler, without libFuzzer.
//
//   tolvane_fuzz_replay PATH...
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

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

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PATH...\n", argv[0]);
        return 2;
    }
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
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
        // Named first, so that a crash shows which input caused it.
        std::fprintf(stderr, "replay: %s\n", input.string().c_str());
        // A buffer of exactly the input's size, as libFuzzer passes it, so
        // that AddressSanitizer sees a read of even one byte past the end.
        const auto exact = std::make_unique<std::uint8_t[]>(bytes.size());
        std::memcpy(exact.get(), bytes.data(), bytes.size());
        LLVMFuzzerTestOneInput(exact.get(), bytes.size());
    }
    std::printf("replayed %zu inputs\n", inputs.size());
    return 0;
}
