#pragma once
// SHA-256 of an update file, kept with each run so that two benches that
// wrote "the same file" can be told apart from two that only shared its name.
#include <cstddef>
#include <cstdint>
#include <string>

namespace zor {

class Sha256 {
  public:
    Sha256();
    void add(const void* data, size_t size);
    // The digest as 64 lowercase hex digits; the object is spent after it.
    std::string hex();
    // The 32 bytes of the digest; the object is spent after it.
    void finish(uint8_t digest[32]);

  private:
    void block(const uint8_t* p);

    uint32_t h_[8];
    uint8_t pending_[64];
    size_t pendingSize_ = 0;
    uint64_t total_ = 0;
};

// The digest of bytes, as hex.
std::string sha256Hex(const std::string& bytes);

// The digest of the file at path, as hex; empty when it cannot be read or
// is larger than maxBytes (an update file is a few hundred kilobytes).
std::string fileSha256Hex(const std::string& path, uint64_t maxBytes = uint64_t{64} << 20);

}  // namespace zor
