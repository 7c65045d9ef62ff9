// Runs a fuzz entry point over saved inputs, so that builds without libFuzzer
// compile the entry points and replay their corpora as tests. Each argument
// is a file, or a directory whose files are all run in name order.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        std::cerr << "can not read " << path << std::endl;
        std::exit(1);
    }
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// The input goes in a buffer of exactly its size, so that the sanitizers see
// any read past its end.
void run(const fs::path& path)
{
    const std::string bytes = readFile(path);
    const auto input = std::make_unique<std::uint8_t[]>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), input.get());
    LLVMFuzzerTestOneInput(input.get(), bytes.size());
}

std::vector<fs::path> inputsIn(const fs::path& argument)
{
    if (!fs::is_directory(argument))
        return {argument};
    std::vector<fs::path> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(argument))
        if (entry.is_regular_file())
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace

int main(int argc, char* argv[])
{
    std::size_t count = 0;
    for (int i = 1; i < argc; ++i) {
        for (const fs::path& path : inputsIn(argv[i])) {
            run(path);
            ++count;
        }
    }
    std::cout << count << " inputs run" << std::endl;
    // No input at all means a wrong path, not a pass.
    return count > 0 ? 0 : 1;
}
