// JSON text that parses serialises to text that parses to the same value;
// written twice in one pass, its escaped copy is that text quoted, however
// it is cut into pieces on the way.
#include <qarn/mcp/json_value.h>

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using Qarn::mcp::VMCPJsonValue;
  VMCPJsonValue value;
  try {
    value = VMCPJsonValue::Parse(std::string_view(reinterpret_cast<const char*>(data), size));
  } catch (const Qarn::mcp::VMCPJsonParseError&) {
    return 0;
  }
  const std::string text = value.dump();
  const VMCPJsonValue again = VMCPJsonValue::Parse(text);
  if (!(again == value) || again.dump() != text) std::abort();
  std::string plain, escaped, spilled, quoted;
  value.dumpTo(
      plain, escaped,
      [&](std::string& piece) {
        spilled += piece;
        piece.clear();
      },
      size % 512);
  VMCPJsonValue::QuoteTo(text, quoted);
  if (plain != text || '"' + spilled + escaped + '"' != quoted) std::abort();
  return 0;
}
