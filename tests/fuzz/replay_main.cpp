// Replay driver for the fuzz targets when they are built without libFuzzer:
// runs the files named on the command line, or (with no arguments) every seed
// and a fixed series of mutations of them plus random inputs, so that CI
// exercises each target for a moment under the sanitizers.
//   <target>_replay                 built-in series
//   <target>_replay FILE...         replay crash or corpus files
//   <target>_replay --write-seeds DIR
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

void run(const FuzzInput& in) {
    LLVMFuzzerTestOneInput(in.data(), in.size());
}

FuzzInput mutate(FuzzInput in, std::mt19937& rng) {
    const int edits = 1 + static_cast<int>(rng() % 4);
    for (int e = 0; e < edits; ++e) {
        const size_t at = in.empty() ? 0 : rng() % in.size();
        switch (rng() % 5) {
            case 0:  // flip a bit
                if (!in.empty())
                    in[at] ^= static_cast<uint8_t>(1u << (rng() % 8));
                break;
            case 1:  // set a byte
                if (!in.empty())
                    in[at] = static_cast<uint8_t>(rng());
                break;
            case 2:  // cut the tail
                in.resize(at);
                break;
            case 3:  // insert bytes
                in.insert(in.begin() + static_cast<long>(at), 1 + rng() % 8,
                          static_cast<uint8_t>(rng()));
                break;
            default:  // repeat a chunk
                if (!in.empty()) {
                    const size_t len = 1 + rng() % std::min<size_t>(in.size() - at, 64);
                    FuzzInput chunk(in.begin() + static_cast<long>(at),
                                    in.begin() + static_cast<long>(at + len));
                    in.insert(in.begin() + static_cast<long>(at), chunk.begin(), chunk.end());
                }
                break;
        }
    }
    return in;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<FuzzInput> seeds = fuzzSeeds();
    if (argc == 3 && std::string(argv[1]) == "--write-seeds") {
        for (size_t i = 0; i < seeds.size(); ++i) {
            std::ofstream out(std::string(argv[2]) + "/seed-" + std::to_string(i),
                              std::ios::binary);
            out.write(reinterpret_cast<const char*>(seeds[i].data()),
                      static_cast<std::streamsize>(seeds[i].size()));
        }
        return 0;
    }
    if (argc > 1) {
        for (int i = 1; i < argc; ++i) {
            std::ifstream in(argv[i], std::ios::binary);
            run(FuzzInput(std::istreambuf_iterator<char>(in), {}));
        }
        return 0;
    }
    std::mt19937 rng(20261207);
    for (const FuzzInput& seed : seeds) {
        run(seed);
        for (int m = 0; m < 300; ++m)
            run(mutate(seed, rng));
    }
    for (int r = 0; r < 300; ++r) {
        FuzzInput in(rng() % 2048);
        for (uint8_t& b : in)
            b = static_cast<uint8_t>(rng());
        run(in);
    }
    std::printf("replayed %zu seeds with mutations\n", seeds.size());
    return 0;
}
