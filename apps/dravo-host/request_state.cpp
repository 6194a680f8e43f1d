#include <dravo-host/request_state.h>
#include <dravo-host/sha256.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <random>

namespace dravo::host {

namespace {

// States handed out and not yet back, at most.
constexpr std::size_t kMaxOpenStates = 100'000;

constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

std::string Base64Url(std::string_view bytes) {
  std::string out;
  std::uint32_t bits = 0;
  int held = 0;
  for (unsigned char c : bytes) {
    bits = (bits << 8) | c;
    held += 8;
    while (held >= 6) out.push_back(kDigits[(bits >> (held -= 6)) & 63]);
  }
  if (held > 0) out.push_back(kDigits[(bits << (6 - held)) & 63]);
  return out;
}

std::optional<std::string> FromBase64Url(std::string_view text) {
  std::string out;
  std::uint32_t bits = 0;
  int held = 0;
  for (char c : text) {
    const char* at = std::find(kDigits, kDigits + 64, c);
    if (at == kDigits + 64) return std::nullopt;
    bits = (bits << 6) | std::uint32_t(at - kDigits);
    held += 6;
    if (held >= 8) out.push_back(char((bits >> (held -= 8)) & 0xff));
  }
  // One text per byte string: left-over bits must be zero, so that no
  // second spelling of a sealed state exists.
  if (held >= 6 || (bits & ((1u << held) - 1)) != 0) return std::nullopt;
  return out;
}

std::string RandomBytes(std::size_t count) {
  std::random_device device;
  std::string bytes(count, '\0');
  for (auto& b : bytes) b = char(device() & 0xff);
  return bytes;
}

struct Keys {
  const std::string secret = RandomBytes(32);
  std::mutex mutex;
  std::uint64_t issued = 0;
  std::map<std::uint64_t, std::int64_t> open;  // nonce to expiry, until used
};

Keys& ProcessKeys() {
  static Keys keys;
  return keys;
}

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::string Mac(std::string_view payload) {
  const Digest mac = HmacSha256(ProcessKeys().secret, payload);
  return {reinterpret_cast<const char*>(mac.data()), mac.size()};
}

// The target as bytes may be any text; its digest is what the state names.
std::string TargetDigest(std::string_view target) {
  const Digest digest = Sha256(target);
  return Base64Url({reinterpret_cast<const char*>(digest.data()), digest.size()});
}

bool SameBytes(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  unsigned char difference = 0;  // looks at every byte, so timing says nothing
  for (std::size_t i = 0; i < a.size(); ++i) difference |= (a[i] ^ b[i]);
  return difference == 0;
}

// Marks the nonce used; false when it was not open. Drops expired ones.
bool Redeem(std::uint64_t nonce, std::int64_t now) {
  auto& keys = ProcessKeys();
  std::lock_guard lock(keys.mutex);
  std::erase_if(keys.open, [now](const auto& entry) { return entry.second < now; });
  return keys.open.erase(nonce) == 1;
}

}  // namespace

std::string SealRequestState(std::string_view method, std::string_view target,
                             const VMCPJsonValue& state, std::chrono::milliseconds lifetime) {
  auto& keys = ProcessKeys();
  const std::int64_t expiry = NowMs() + lifetime.count();
  std::uint64_t nonce;
  {
    std::lock_guard lock(keys.mutex);
    nonce = ++keys.issued;
    keys.open[nonce] = expiry;
    // A client that never comes back must not grow the table without end:
    // past the bound the oldest state is forgotten (and refused if it returns).
    if (keys.open.size() > kMaxOpenStates) keys.open.erase(keys.open.begin());
  }
  VMCPJsonValue payload = VMCPJsonValue::MakeObject();
  payload["m"] = std::string(method);
  payload["t"] = TargetDigest(target);
  payload["x"] = expiry;
  payload["k"] = nonce;
  payload["s"] = state;
  const std::string text = payload.dump();
  return Base64Url(text) + "." + Base64Url(Mac(text));
}

std::optional<VMCPJsonValue> OpenRequestState(std::string_view sealed, std::string_view method,
                                              std::string_view target) {
  if (sealed.size() > kMaxRequestStateBytes) return std::nullopt;
  const std::size_t dot = sealed.find('.');
  if (dot == std::string_view::npos) return std::nullopt;
  const auto text = FromBase64Url(sealed.substr(0, dot));
  const auto mac = FromBase64Url(sealed.substr(dot + 1));
  if (!text || !mac || !SameBytes(*mac, Mac(*text))) return std::nullopt;
  VMCPJsonValue payload;
  try {
    payload = VMCPJsonValue::Parse(*text);
  } catch (const std::exception&) {
    return std::nullopt;  // signed by us, so never; but a parser failure is no crash
  }
  const std::int64_t now = NowMs();
  if (payload["m"].asString() != method || payload["t"].asString() != TargetDigest(target) ||
      payload["x"].asInt() < now || !Redeem(std::uint64_t(payload["k"].asInt()), now))
    return std::nullopt;
  return payload["s"];
}

}  // namespace dravo::host
