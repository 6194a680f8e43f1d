// A requestState a client sends back opens only when it is exactly one this
// process sealed for that method and target, and only once; nothing else
// opens, and nothing crashes. The first byte picks what is tried.
#include <dravo-host/request_state.h>
#include <dravo-host/sha256.h>

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace dravo::host;
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (size == 0 || data[0] % 2 == 0) {
    // Text from outside: never a state, however it looks.
    if (OpenRequestState(text, "tools/call", "t")) std::abort();
    return 0;
  }
  // One of ours with a byte changed, or cut short, opens neither way.
  auto state = VMCPJsonValue::MakeObject();
  state["size"] = std::uint64_t(size);
  const std::string sealed = SealRequestState("tools/call", text, state);
  std::string changed = sealed;
  changed[data[size - 1] % changed.size()] ^= char(1 + data[0] % 127);
  if (OpenRequestState(changed, "tools/call", text) ||
      OpenRequestState(sealed.substr(0, sealed.size() - 1 - size % 3), "tools/call", text) ||
      OpenRequestState(sealed, "prompts/get", text))
    std::abort();
  const auto opened = OpenRequestState(sealed, "tools/call", text);
  if (!opened || !(*opened == state) || OpenRequestState(sealed, "tools/call", text)) std::abort();
  // The digest of the same bytes is the same, and one bit changes it.
  if (Sha256(text) != Sha256(std::string(text)) || Sha256(text) == Sha256(text + '\0'))
    std::abort();
  return 0;
}
