#pragma once
// Shared by the fuzz targets: each defines LLVMFuzzerTestOneInput and
// fuzzSeeds(), well-formed inputs that mutations start from. A target aborts
// (FUZZ_CHECK) when an invariant breaks, so libFuzzer and the replay driver
// both report it as a crash.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/ui_sink.h"

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

// Boxes, beeps and cursors go nowhere.
class SilentUi : public UiSink {
  public:
    void messageBox(const std::string&, const std::string&, BoxIcon) override { ++boxes; }
    int boxes = 0;
};

}  // namespace zor::fuzz
