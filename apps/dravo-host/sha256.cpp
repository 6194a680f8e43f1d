#include <dravo-host/sha256.h>

#include <string>

namespace dravo::host {

namespace {

constexpr std::uint32_t kRounds[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr std::uint32_t Rotr(std::uint32_t x, int n) {
  return (x >> n) | (x << (32 - n));
}

void Compress(std::uint32_t state[8], const std::uint8_t* block) {
  std::uint32_t w[64];
  for (int i = 0; i < 16; ++i)
    w[i] = std::uint32_t(block[4 * i]) << 24 | std::uint32_t(block[4 * i + 1]) << 16 |
           std::uint32_t(block[4 * i + 2]) << 8 | block[4 * i + 3];
  for (int i = 16; i < 64; ++i) {
    const auto s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
    const auto s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
    w[i] = w[i - 16] + s0 + w[i - 7] + s1;
  }
  std::uint32_t v[8];
  for (int i = 0; i < 8; ++i) v[i] = state[i];
  for (int i = 0; i < 64; ++i) {
    const auto s1 = Rotr(v[4], 6) ^ Rotr(v[4], 11) ^ Rotr(v[4], 25);
    const auto choice = (v[4] & v[5]) ^ (~v[4] & v[6]);
    const auto t1 = v[7] + s1 + choice + kRounds[i] + w[i];
    const auto s0 = Rotr(v[0], 2) ^ Rotr(v[0], 13) ^ Rotr(v[0], 22);
    const auto majority = (v[0] & v[1]) ^ (v[0] & v[2]) ^ (v[1] & v[2]);
    for (int j = 7; j > 0; --j) v[j] = v[j - 1];
    v[4] += t1;
    v[0] = t1 + s0 + majority;
  }
  for (int i = 0; i < 8; ++i) state[i] += v[i];
}

}  // namespace

Digest Sha256(std::string_view data) {
  std::uint32_t state[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                            0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  const std::size_t tail = data.size() % 64;  // below 64, as the compiler can see
  const std::size_t whole = data.size() - tail;
  for (std::size_t i = 0; i < whole; i += 64)
    Compress(state, reinterpret_cast<const std::uint8_t*>(data.data() + i));
  // The tail, the 0x80 marker and the bit length fill one or two last blocks.
  std::uint8_t last[128] = {};
  for (std::size_t i = 0; i < tail; ++i) last[i] = std::uint8_t(data[whole + i]);
  last[tail] = 0x80;
  const std::size_t blocks = tail < 56 ? 1 : 2;
  const std::uint64_t bits = std::uint64_t(data.size()) * 8;
  for (int i = 0; i < 8; ++i) last[blocks * 64 - 1 - i] = std::uint8_t(bits >> (8 * i));
  for (std::size_t b = 0; b < blocks; ++b) Compress(state, last + 64 * b);
  Digest digest;
  for (int i = 0; i < 32; ++i) digest[i] = std::uint8_t(state[i / 4] >> (24 - 8 * (i % 4)));
  return digest;
}

Digest HmacSha256(std::string_view key, std::string_view message) {
  std::string block(64, '\0');
  if (key.size() > 64) {
    const Digest hashed = Sha256(key);
    block.replace(0, hashed.size(), reinterpret_cast<const char*>(hashed.data()), hashed.size());
  } else {
    block.replace(0, key.size(), key);
  }
  std::string inner = block, outer = block;
  for (auto& c : inner) c = char(c ^ 0x36);
  for (auto& c : outer) c = char(c ^ 0x5c);
  inner.append(message);
  const Digest innerDigest = Sha256(inner);
  outer.append(reinterpret_cast<const char*>(innerDigest.data()), innerDigest.size());
  return Sha256(outer);
}

}  // namespace dravo::host
