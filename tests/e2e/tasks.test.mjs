// Tasks from the outside, over stdio and HTTP, as a 2026-07-28 client that
// takes them sends its requests: a LAS conversion of a few million points
// outlives the budget and becomes a task that ends as the synchronous call
// ends; tasks/cancel leaves no file behind; over HTTP every request comes on
// a connection of its own, so the task is collected on another connection
// than the one that started it; a client without the capability gets its
// result as before.
// Environment: DRAVO_HOST_PREFIX (an install tree), DRAVO_SAMPLES.
import { test, before } from 'node:test';
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import readline from 'node:readline';
import { rpc, startHttpHost, writeLargeLas } from './support.mjs';

const { DRAVO_HOST_PREFIX: prefix, DRAVO_SAMPLES: samples } = process.env;
assert.ok(prefix && samples, 'set DRAVO_HOST_PREFIX and DRAVO_SAMPLES');
const host = path.join(prefix, 'bin', 'dravo-host');
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'dravo-tasks-'));
const serveArgs = ['--task-budget', '200'];
const tasksExtension = 'io.modelcontextprotocol/tasks';

const envelope = (tasks) => ({
  'io.modelcontextprotocol/protocolVersion': '2026-07-28',
  'io.modelcontextprotocol/clientCapabilities': tasks ? { extensions: { [tasksExtension]: {} } } : {},
});

// Each request on a new connection; answers the whole JSON-RPC message.
function overHttp(url) {
  let id = 0;
  return (method, params, tasks = true) => new Promise((resolve, reject) => {
    const body = JSON.stringify(rpc(++id, method, { ...params, _meta: envelope(tasks) }));
    const name = params.name ?? params.taskId;
    const request = http.request(url, {
      method: 'POST', agent: false,
      headers: { 'Content-Type': 'application/json', Accept: 'application/json, text/event-stream',
        'MCP-Protocol-Version': '2026-07-28', 'Mcp-Method': method,
        ...(name ? { 'Mcp-Name': name } : {}) },
    }, (response) => {
      let text = '';
      response.on('data', (chunk) => { text += chunk; });
      response.on('end', () => resolve(JSON.parse(text)));
    });
    request.on('error', reject);
    request.end(body);
  });
}

// One host process; lines matched to requests by id.
function overStdio() {
  const child = spawn(host, serveArgs, { stdio: ['pipe', 'pipe', 'inherit'] });
  process.on('exit', () => child.kill());
  const waiting = new Map();
  readline.createInterface({ input: child.stdout }).on('line', (line) => {
    const message = JSON.parse(line);
    waiting.get(message.id)?.(message);
  });
  let id = 0;
  const send = (method, params, tasks = true) => new Promise((resolve) => {
    waiting.set(++id, resolve);
    child.stdin.write(JSON.stringify(rpc(id, method, { ...params, _meta: envelope(tasks) })) + '\n');
  });
  send.close = () => child.stdin.end();
  return send;
}

const conversion = (output) => ({
  name: 'run_nutrition',
  arguments: { name: 'LAS to PLY/XYZ', files: [path.join(work, 'large.las')], output_path: output,
    preview: false, arguments: 'OutputFormat=xyz' },
});

async function settle(send, taskId) {
  for (;;) {
    const { result } = await send('tasks/get', { taskId });
    if (['completed', 'failed', 'cancelled'].includes(result.status)) return result;
    await new Promise((resolve) => setTimeout(resolve, result.pollIntervalMs));
  }
}

before(() => writeLargeLas(path.join(samples, 'las_format0.las'), path.join(work, 'large.las'), 3_000_000));

for (const transport of ['stdio', 'http']) {
  test(`${transport}: a long conversion becomes a task that ends as the call would`, async () => {
    const server = transport === 'http' ? await startHttpHost(host, serveArgs) : null;
    const send = server ? overHttp(server.url) : overStdio();
    const folder = (name) => {
      const dir = path.join(work, `${transport}-${name}`);
      fs.mkdirSync(dir);
      return dir;
    };
    try {
      const plain = await send('tools/call', conversion(folder('plain')), false);
      assert.equal(plain.result.resultType, 'complete', JSON.stringify(plain));
      assert.ok(!('taskId' in plain.result));

      const created = (await send('tools/call', conversion(folder('task')))).result;
      assert.equal(created.resultType, 'task', JSON.stringify(created));
      assert.equal(created.status, 'working');
      const done = await settle(send, created.taskId);
      assert.equal(done.status, 'completed', JSON.stringify(done));
      const swap = (text) => text.replaceAll(`${transport}-task`, `${transport}-plain`);
      assert.deepEqual(JSON.parse(swap(JSON.stringify(done.result.structuredContent))),
        plain.result.structuredContent);
      assert.ok(fs.readFileSync(path.join(work, `${transport}-task`, 'large.xyz'))
        .equals(fs.readFileSync(path.join(work, `${transport}-plain`, 'large.xyz'))));

      const stopped = folder('cancelled');
      const running = (await send('tools/call', conversion(stopped))).result;
      assert.equal(running.resultType, 'task');
      assert.equal((await send('tasks/cancel', { taskId: running.taskId })).result.resultType, 'complete');
      assert.equal((await settle(send, running.taskId)).status, 'cancelled');
      assert.deepEqual(fs.readdirSync(stopped), []);
    } finally {
      if (server) server.stop(); else send.close();
    }
  });
}
