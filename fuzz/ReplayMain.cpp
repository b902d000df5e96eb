// Runs a fuzz target over files instead of under libFuzzer: every file named,
// and every file inside a folder named, is passed once to
// LLVMFuzzerTestOneInput. The ordinary build links each target with this, so
// the seed corpus is replayed by ctest with any compiler; a property that no
// longer holds aborts the run just as it would under the fuzzer.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

bool readWhole(const std::filesystem::path& path, std::vector<uint8_t>& bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE-OR-FOLDER...\n", argv[0]);
        return 2;
    }
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);

    std::vector<std::filesystem::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path named(argv[i]);
        std::error_code error;
        if (std::filesystem::is_directory(named, error)) {
            for (const auto& entry : std::filesystem::directory_iterator(named, error))
                if (entry.is_regular_file())
                    inputs.push_back(entry.path());
        } else if (std::filesystem::is_regular_file(named, error)) {
            inputs.push_back(named);
        }
        if (error) {
            std::fprintf(stderr, "%s: %s\n", argv[i], error.message().c_str());
            return 2;
        }
    }
    if (inputs.empty()) {
        // A corpus that went missing must not pass as a corpus that ran clean.
        std::fprintf(stderr, "no input files found\n");
        return 2;
    }
    std::sort(inputs.begin(), inputs.end());

    std::vector<uint8_t> bytes;
    for (const auto& path : inputs) {
        if (!readWhole(path, bytes)) {
            std::fprintf(stderr, "%s: cannot be read\n", path.string().c_str());
            return 2;
        }
        // Copied into a buffer of exactly its size, so reading past the end is
        // caught by a sanitizer build as it is under the fuzzer.
        // An empty input still gets a valid pointer, as libFuzzer gives it.
        std::vector<uint8_t> exact(bytes.begin(), bytes.end());
        static uint8_t none = 0;
        LLVMFuzzerTestOneInput(exact.empty() ? &none : exact.data(), exact.size());
    }
    std::printf("%zu inputs ran\n", inputs.size());
    return 0;
}
