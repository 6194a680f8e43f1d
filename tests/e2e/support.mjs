// What the end-to-end files share: JSON-RPC messages, and a host serving HTTP.
import { spawn } from 'node:child_process';

export const rpc = (id, method, params) => ({ jsonrpc: '2.0', id, method, params });
export const initialize = (id, protocolVersion) =>
  rpc(id, 'initialize', { protocolVersion, capabilities: {}, clientInfo: { name: 'dravo-e2e', version: '1' } });

// Starts `dravo-host serve --http 0` and learns its URL from stderr.
export async function startHttpHost(host, args = [], onStderr = () => {}) {
  const child = spawn(host, ['serve', '--http', '0', ...args], { stdio: ['ignore', 'ignore', 'pipe'] });
  process.on('exit', () => child.kill());  // also when a test fails midway
  let text = '';
  const url = await new Promise((resolve, reject) => {
    child.stderr.on('data', (chunk) => {
      text += chunk;
      onStderr(String(chunk));
      const found = /serving MCP at (\S+)\n/.exec(text);
      if (found) resolve(found[1]);
    });
    child.on('exit', (code) => reject(new Error(`dravo-host exited with ${code}: ${text}`)));
  });
  child.unref();  // a forgotten host must not keep the tests from ending
  child.stderr.unref();
  return { url, stop: () => child.kill(), exited: () => child.exitCode ?? child.signalCode };
}
