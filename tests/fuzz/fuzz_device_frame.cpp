// The simulator's frame decoder on arbitrary line bytes: no body is empty or
// longer than MAX_BODY, every frame needs a flag to close it, and every body
// it decodes encodes to a frame that a fresh decoder takes back to the same
// body (and rejects with its check corrupted). The input itself, as a body,
// goes through the same round trip.
#include "fuzz_target.h"
#include "sim/device_frame.h"

using namespace zor::sim;

namespace {

// The last result of feeding wire to a fresh decoder; body gets its body.
FrameDecoder::Result decodeAlone(const std::vector<uint8_t>& wire, std::vector<uint8_t>& body) {
    FrameDecoder d;
    FrameDecoder::Result last = FrameDecoder::Result::None;
    int results = 0;
    for (uint8_t b : wire) {
        last = d.push(b);
        results += last != FrameDecoder::Result::None;
    }
    FUZZ_CHECK(results <= 1);
    body = d.body();
    return last;
}

void roundTrip(const std::vector<uint8_t>& body) {
    std::vector<uint8_t> back;
    FUZZ_CHECK(decodeAlone(encodeFrame(body), back) == FrameDecoder::Result::Frame);
    FUZZ_CHECK(back == body);
    FUZZ_CHECK(decodeAlone(encodeFrame(body, true), back) == FrameDecoder::Result::BadFrame);
}

}  // namespace

std::vector<FuzzInput> fuzzSeeds() {
    auto cat = [](std::initializer_list<FuzzInput> parts) {
        FuzzInput all;
        for (const FuzzInput& p : parts)
            all.insert(all.end(), p.begin(), p.end());
        return all;
    };
    const FuzzInput command = encodeFrame({0x01, 0x46, 'A', 0x00});
    FuzzInput shared = encodeFrame({0x01, 0x46, 'I', 0x00});
    shared.erase(shared.begin());  // shares its opening flag with the one before
    return {
        cat({{0x11, 0x22}, command, shared, encodeFrame({0x7E, 0x7D}, true)}),
        cat({{0x7E, 0x01, 0x46, 0x7D}, command, {0x7E, 0x7E, 0x01, 0x7E}}),
        encodeFrame(std::vector<uint8_t>(FrameDecoder::MAX_BODY + 1, 0x7D)),
    };
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FrameDecoder decoder;
    size_t flags = 0, results = 0;
    for (size_t i = 0; i < size; ++i) {
        flags += data[i] == FLAG;
        const FrameDecoder::Result r = decoder.push(data[i]);
        if (r == FrameDecoder::Result::None)
            continue;
        FUZZ_CHECK(data[i] == FLAG);
        ++results;
        if (r == FrameDecoder::Result::Frame) {
            FUZZ_CHECK(!decoder.body().empty() && decoder.body().size() <= FrameDecoder::MAX_BODY);
            roundTrip(decoder.body());
        }
    }
    FUZZ_CHECK(results < flags || results == 0);
    if (size > 0 && size <= FrameDecoder::MAX_BODY)
        roundTrip(std::vector<uint8_t>(data, data + size));
    return 0;
}
