// The peer of the host benchmark: a tools-only MCP server written with the
// official SDK whose list_nutritions answers a result object read once at
// start (the host's own answer), so only serving is compared.
// usage: node sdk_server.mjs RESULT.json
import fs from 'node:fs';
import { McpServer } from '@modelcontextprotocol/sdk/server/mcp.js';
import { StdioServerTransport } from '@modelcontextprotocol/sdk/server/stdio.js';

const answer = JSON.parse(fs.readFileSync(process.argv[2], 'utf8'));
const server = new McpServer({ name: 'sdk-peer', version: '1.0.0' });
server.registerTool('list_nutritions', { description: 'Lists the nutritions.' }, async () => answer);
await server.connect(new StdioServerTransport());
