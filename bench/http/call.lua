-- wrk: tools/call list_nutritions in the session of MCP_SESSION, each request
-- with an id of its own; answers other than 200 are counted.
local threads = 0
function setup(thread)
  threads = threads + 1
  thread:set("prefix", "t" .. threads .. "-")
end

wrk.method = "POST"
wrk.headers["Content-Type"] = "application/json"
wrk.headers["Accept"] = "application/json, text/event-stream"
wrk.headers["Mcp-Session-Id"] = os.getenv("MCP_SESSION")
wrk.headers["MCP-Protocol-Version"] = "2025-06-18"

local count = 0
function request()
  count = count + 1
  return wrk.format(nil, nil, nil, '{"jsonrpc":"2.0","id":"' .. prefix .. count ..
    '","method":"tools/call","params":{"name":"list_nutritions","arguments":{}}}')
end
