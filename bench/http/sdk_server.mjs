// The comparison server: the official SDK's Streamable HTTP transport with
// sessions and JSON answers, answering tools/call with a fixed result object.
// usage: node sdk_server.mjs RESULT.json  (prints its URL on stderr)
import http from 'node:http';
import fs from 'node:fs';
import { randomUUID } from 'node:crypto';
import { Server } from '@modelcontextprotocol/sdk/server/index.js';
import { StreamableHTTPServerTransport } from '@modelcontextprotocol/sdk/server/streamableHttp.js';
import { CallToolRequestSchema, ListToolsRequestSchema } from '@modelcontextprotocol/sdk/types.js';

const [resultFile] = process.argv.slice(2);
const result = JSON.parse(fs.readFileSync(resultFile, 'utf8'));
const answer = { content: [{ type: 'text', text: JSON.stringify(result) }], structuredContent: result, isError: false };
const transports = new Map();

function newSession() {
  const server = new Server({ name: 'sdk-bench', version: '1.0.0' }, { capabilities: { tools: {} } });
  server.setRequestHandler(ListToolsRequestSchema, async () => ({
    tools: [{ name: 'list_nutritions', description: 'Lists nutritions.', inputSchema: { type: 'object', properties: {} } }],
  }));
  server.setRequestHandler(CallToolRequestSchema, async () => answer);
  const transport = new StreamableHTTPServerTransport({
    sessionIdGenerator: randomUUID,
    enableJsonResponse: true,
    onsessioninitialized: (id) => transports.set(id, transport),
  });
  server.connect(transport);
  return transport;
}

const web = http.createServer((req, res) => {
  const id = req.headers['mcp-session-id'];
  const transport = id ? transports.get(id) : newSession();
  if (!transport) {
    res.writeHead(404).end();
    return;
  }
  transport.handleRequest(req, res);
});
web.listen(0, '127.0.0.1', () => console.error(`serving MCP at http://127.0.0.1:${web.address().port}/mcp`));
