// main() of a fuzz target built without libFuzzer: replays the files and
// folders (recursively) named on the command line through the target's
// entry point. With "--mutate N" first, each file is also fed N random
// mutations of itself, a quick smoke run that is good under the sanitizers.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

std::vector<uint8_t> ReadAll(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Mutate(std::vector<uint8_t>& bytes, std::mt19937& random)
{
    const int edits = 1 + static_cast<int>(random() % 8);
    for (int e = 0; e < edits; ++e) {
        const size_t at = bytes.empty() ? 0 : random() % bytes.size();
        switch (bytes.empty() ? 3 : random() % 4) {
        case 0:
            bytes[at] = static_cast<uint8_t>(random());
            break;
        case 1:
            bytes[at] ^= static_cast<uint8_t>(1u << (random() % 8));
            break;
        case 2:
            bytes.erase(bytes.begin() + static_cast<long>(at));
            break;
        default:
            bytes.insert(bytes.begin() + static_cast<long>(at), static_cast<uint8_t>(random()));
            break;
        }
    }
}

void Replay(const std::filesystem::path& path, int mutations, std::mt19937& random)
{
    const std::vector<uint8_t> original = ReadAll(path);
    LLVMFuzzerTestOneInput(original.data(), original.size());
    for (int round = 0; round < mutations; ++round) {
        std::vector<uint8_t> bytes = original;
        Mutate(bytes, random);
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
}

} // namespace

int main(int argc, char** argv)
{
    int first = 1;
    int mutations = 0;
    if (argc > 2 && std::strcmp(argv[1], "--mutate") == 0) {
        mutations = std::atoi(argv[2]);
        first = 3;
    }
    if (first >= argc) {
        std::fprintf(stderr, "usage: %s [--mutate N] FILE-OR-FOLDER...\n", argv[0]);
        return 2;
    }
    std::mt19937 random(20240501u);
    int inputs = 0;
    for (int i = first; i < argc; ++i) {
        const std::filesystem::path path(argv[i]);
        if (std::filesystem::is_directory(path)) {
            for (const auto& entry : std::filesystem::recursive_directory_iterator(path))
                if (entry.is_regular_file()) {
                    Replay(entry.path(), mutations, random);
                    ++inputs;
                }
        } else if (std::filesystem::is_regular_file(path)) {
            Replay(path, mutations, random);
            ++inputs;
        }
    }
    std::printf("%d inputs replayed, %d mutations each.\n", inputs, mutations);
    return 0;
}
