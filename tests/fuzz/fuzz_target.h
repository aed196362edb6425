#pragma once
// Shared by the fuzz targets: each defines LLVMFuzzerTestOneInput and
// fuzzSeeds(), well-formed inputs that mutations start from. A target aborts
// (FUZZ_CHECK) when an invariant breaks, so libFuzzer and the replay driver
// both report it as a crash.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using FuzzInput = std::vector<uint8_t>;

std::vector<FuzzInput> fuzzSeeds();

#define FUZZ_CHECK(cond)                                                                      \
    do {                                                                                      \
        if (!(cond)) {                                                                        \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                                     \
        }                                                                                     \
    } while (0)

namespace zor::fuzz {

// Text targets take their input as lines (or arguments) split at sep; empty
// pieces are kept.
inline std::vector<std::string> splitInput(const uint8_t* data, size_t size, char sep = '\n') {
    std::vector<std::string> pieces(1);
    for (size_t i = 0; i < size; ++i) {
        if (static_cast<char>(data[i]) == sep)
            pieces.emplace_back();
        else
            pieces.back() += static_cast<char>(data[i]);
    }
    return pieces;
}

inline FuzzInput joinInput(std::initializer_list<std::string> pieces, char sep = '\n') {
    FuzzInput all;
    bool first = true;
    for (const std::string& p : pieces) {
        if (!first)
            all.push_back(static_cast<uint8_t>(sep));
        first = false;
        all.insert(all.end(), p.begin(), p.end());
    }
    return all;
}

}  // namespace zor::fuzz
