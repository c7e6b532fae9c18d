// The driver of the corpus replay: runs a fuzz target's entry point once
// over each input named on the command line (files, or folders whose files
// are taken in name order), so that ctest replays every committed corpus
// without clang or libFuzzer. An empty or missing corpus fails: a target
// must come with its seeds.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace fs = std::filesystem;

namespace {

std::vector<fs::path> inputsOf(int argc, char** argv) {
    std::vector<fs::path> out;
    for (int i = 1; i < argc; ++i) {
        std::error_code ec;
        if (fs::is_directory(argv[i], ec)) {
            std::vector<fs::path> files;
            for (auto& e : fs::directory_iterator(argv[i], ec))
                if (e.is_regular_file()) files.push_back(e.path());
            std::sort(files.begin(), files.end());
            out.insert(out.end(), files.begin(), files.end());
        } else if (fs::is_regular_file(argv[i], ec)) {
            out.emplace_back(argv[i]);
        }
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
    auto inputs = inputsOf(argc, argv);
    if (inputs.empty()) {
        std::fprintf(stderr, "no inputs: name a corpus folder or files\n");
        return 2;
    }
    for (auto& path : inputs) {
        std::ifstream in(path, std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        // A buffer of exactly the input's size, so that a read past its end
        // is seen by AddressSanitizer as it would be under libFuzzer.
        std::unique_ptr<uint8_t[]> copy(new uint8_t[bytes.size()]);
        std::copy(bytes.begin(), bytes.end(), copy.get());
        LLVMFuzzerTestOneInput(copy.get(), bytes.size());
    }
    std::printf("replayed %zu inputs\n", inputs.size());
    return 0;
}
