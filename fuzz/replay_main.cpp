// SPDX-License-Identifier: GPL-3.0-or-later
//
// Replays fuzz inputs without libFuzzer: every file under the folders (or the files) given on
// the command line goes once through LLVMFuzzerTestOneInput. A folder that does not exist is
// skipped, so a corpus folder may be added later; finding no input at all fails.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

std::vector<std::filesystem::path> inputsUnder(const std::filesystem::path &root)
{
    namespace fs = std::filesystem;
    std::vector<fs::path> files;
    std::error_code error;
    if (fs::is_regular_file(root, error)) {
        files.push_back(root);
    } else if (fs::is_directory(root, error)) {
        for (const fs::directory_entry &entry : fs::recursive_directory_iterator(root, error)) {
            // Notes kept beside the inputs, and hidden files, are not inputs.
            const std::string name = entry.path().filename().string();
            if (entry.is_regular_file() && entry.path().extension() != ".md" && name[0] != '.')
                files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace

int main(int argc, char **argv)
{
    size_t replayed = 0;
    for (int i = 1; i < argc; ++i) {
        for (const std::filesystem::path &file : inputsUnder(argv[i])) {
            std::ifstream stream(file, std::ios::binary);
            const std::vector<char> bytes((std::istreambuf_iterator<char>(stream)),
                                          std::istreambuf_iterator<char>());
            if (!stream.eof() && stream.fail()) {
                std::fprintf(stderr, "cannot read %s\n", file.c_str());
                return 1;
            }
            // A copy of exactly the input's size, as libFuzzer passes it.
            const std::vector<uint8_t> input(bytes.begin(), bytes.end());
            std::fprintf(stderr, "%s\n", file.c_str());
            LLVMFuzzerTestOneInput(input.empty() ? nullptr : input.data(), input.size());
            ++replayed;
        }
    }
    std::printf("replayed %zu inputs\n", replayed);
    return replayed > 0 ? 0 : 1;
}
