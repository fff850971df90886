// Replays fuzz inputs without the fuzzing engine: every file named on the
// command line, or found in a directory named there, goes through the
// target's LLVMFuzzerTestOneInput once. A broken invariant aborts.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz_check.h"

namespace fs = std::filesystem;

static void replay(const fs::path &p)
{
    std::ifstream f(p, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(f)), {});
    LLVMFuzzerTestOneInput(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size());
}

int main(int argc, char **argv)
{
    int count = 0;
    for (int i = 1; i < argc; i++) {
        std::vector<fs::path> files;
        if (fs::is_directory(argv[i])) {
            for (const auto &e : fs::directory_iterator(argv[i]))
                if (e.is_regular_file())
                    files.push_back(e.path());
            std::sort(files.begin(), files.end());
        } else {
            files.push_back(argv[i]);
        }
        for (const fs::path &p : files) {
            replay(p);
            count++;
        }
    }
    std::printf("%d inputs replayed\n", count);
    return count > 0 ? 0 : 1;
}
