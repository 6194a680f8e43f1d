// What the end-to-end files share: JSON-RPC messages, and a host serving HTTP.
import { spawn } from 'node:child_process';
import fs from 'node:fs';

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

// A LAS of `count` points: a sample LAS 1.2's header and its records over and over.
export function writeLargeLas(sampleFile, target, count) {
  const sample = fs.readFileSync(sampleFile);
  const offset = sample.readUInt32LE(96), length = sample.readUInt16LE(105);
  const records = sample.subarray(offset, offset + sample.readUInt32LE(107) * length);
  const header = Buffer.from(sample.subarray(0, offset));
  header.writeUInt32LE(count, 107);  // the legacy point count, which LAS 1.2 reads
  const block = Buffer.concat(Array(16).fill(records));
  const fd = fs.openSync(target, 'w');
  fs.writeSync(fd, header);
  for (let left = count * length; left > 0; left -= block.length)
    fs.writeSync(fd, block, 0, Math.min(left, block.length));
  fs.closeSync(fd);
}
