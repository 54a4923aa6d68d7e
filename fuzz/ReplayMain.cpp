// The normal build's stand-in for libFuzzer: feeds every file named on the command line, or
// found in a folder named there, once to the target, in name order. A failed check aborts.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pbData, std::size_t nSize);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* pnArgc, char*** pppArgv);

int main(int argc, char** argv) {
    if (LLVMFuzzerInitialize) {
        LLVMFuzzerInitialize(&argc, &argv);
    }
    std::vector<std::filesystem::path> listFiles;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path path(argv[i]);
        if (std::filesystem::is_directory(path)) {
            for (const auto& entry : std::filesystem::directory_iterator(path)) {
                if (entry.is_regular_file()) {
                    listFiles.push_back(entry.path());
                }
            }
        } else if (std::filesystem::is_regular_file(path)) {
            listFiles.push_back(path);
        } else {
            std::fprintf(stderr, "%s: no such file or folder\n", argv[i]);
            return 2;
        }
    }
    std::sort(listFiles.begin(), listFiles.end());
    for (const std::filesystem::path& path : listFiles) {
        std::ifstream file(path, std::ios::binary);
        const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                              std::istreambuf_iterator<char>());
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
    std::printf("%zu inputs replayed\n", listFiles.size());
    return 0;
}
