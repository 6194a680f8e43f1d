#include <dravo-host/stdio_transport.h>

#include <istream>
#include <memory>
#include <string>
#include <vector>

namespace dravo::host {

void ServeLines(McpServer& server, std::istream& in, Peer::Send send) {
  const auto peer = std::make_shared<Peer>(std::move(send));
  const std::size_t limit = server.options().maxLineBytes;
  // Reads in slices so that an endless line cannot take all memory.
  std::vector<char> slice(64 * 1024);
  std::string line;
  bool tooLong = false;
  while (!server.stopping()) {
    in.getline(slice.data(), std::streamsize(slice.size()));
    const auto count = std::size_t(in.gcount());
    if (count == 0 && in.fail()) break;  // end of input
    const bool sliceFull = in.fail() && !in.eof();
    const bool endOfLine = !in.fail() && !in.eof();  // the newline was read
    if (!tooLong) line.append(slice.data(), count - (endOfLine ? 1 : 0));
    if (line.size() > limit) {
      tooLong = true;
      line.clear();
    }
    if (sliceFull) {
      in.clear();
      continue;
    }
    if (tooLong) {
      const std::string error =
          ErrorLine(nullptr, {kInvalidRequest, "Message too large: the limit is " +
                                                   std::to_string(limit) + " bytes per line."});
      peer->send(error, {"null", true});
    } else {
      server.handleLine(line, peer);
    }
    line.clear();
    tooLong = false;
    if (!endOfLine) break;
  }
  // The client is gone with its input: its calls are still answered, its
  // tasks (which only it could collect) stop.
  server.cancelTasks();
  server.drain();
}

}  // namespace dravo::host
