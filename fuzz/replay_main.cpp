// Runs a fuzz target over inputs without libFuzzer: every argument is a file
// or a folder whose files (in name order, not descending) are each given to
// LLVMFuzzerTestOneInput once. Exits 1 when an argument names nothing
// readable or a folder holds no file; a failing input aborts the program,
// after its name was printed.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz_support.h"

namespace {

bool run_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::fprintf(stderr, "%s\n", path.c_str());
    // A copy of its own, exactly as long as the input, as libFuzzer gives it.
    std::vector<uint8_t> data(bytes.begin(), bytes.end());
    LLVMFuzzerTestOneInput(data.empty() ? nullptr : data.data(), data.size());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int inputs = 0;
    for (int i = 1; i < argc; ++i) {
        std::filesystem::path arg = argv[i];
        std::error_code error;
        if (std::filesystem::is_directory(arg, error)) {
            std::vector<std::filesystem::path> files;
            for (const auto& entry : std::filesystem::directory_iterator(arg, error)) {
                if (entry.is_regular_file()) files.push_back(entry.path());
            }
            std::sort(files.begin(), files.end());
            if (files.empty()) {
                std::fprintf(stderr, "%s: no input in the folder\n", argv[i]);
                return 1;
            }
            for (const auto& file : files) {
                if (!run_file(file)) return 1;
                ++inputs;
            }
        } else if (run_file(arg)) {
            ++inputs;
        } else {
            std::fprintf(stderr, "%s: cannot be read\n", argv[i]);
            return 1;
        }
    }
    std::printf("%d inputs replayed\n", inputs);
    return 0;
}
