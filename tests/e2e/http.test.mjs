// HTTP only: what the transport refuses, and many sessions at once.
// Environment: DRAVO_HOST_PREFIX (an install tree), DRAVO_NUTRITIONS (JSON).
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { startHttpHost } from './http_host.mjs';

const prefix = process.env.DRAVO_HOST_PREFIX;
const nutritions = process.env.DRAVO_NUTRITIONS;
assert.ok(prefix && nutritions, 'set DRAVO_HOST_PREFIX and DRAVO_NUTRITIONS');
const host = path.join(prefix, 'bin', 'dravo-host');
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'dravo-http-'));
const token = 'e2e-secret-token';
const servers = {};

// The documented catalogue plus a converter quick enough for the load case.
function catalogue() {
  const file = path.join(work, 'nutritions.json');
  const json = JSON.parse(fs.readFileSync(nutritions, 'utf8'));
  json.nutritions.push({
    name: 'Brief Converter', description: 'Converts in a moment.', input_extensions: ['brief'],
    output_extensions: ['txt'], genres: ['demo'], predicted_outputs: ['{stem}.txt'],
    conversion: { write: 'all', delay_ms: 30, content: 'done\n' },
  });
  fs.writeFileSync(file, JSON.stringify(json));
  return file;
}

async function post(url, message, headers = {}) {
  const response = await fetch(url, {
    method: 'POST',
    headers: { 'content-type': 'application/json', accept: 'application/json, text/event-stream', ...headers },
    body: typeof message === 'string' ? message : JSON.stringify(message),
  });
  const text = await response.text();
  return { status: response.status, headers: response.headers, body: text ? JSON.parse(text) : null };
}

// A fresh session: its id, with initialize answered and acknowledged.
async function session(url, headers = {}) {
  const init = await post(url, {
    jsonrpc: '2.0', id: 0, method: 'initialize',
    params: { protocolVersion: '2025-06-18', capabilities: {}, clientInfo: { name: 'e2e', version: '1' } },
  }, headers);
  assert.equal(init.status, 200, JSON.stringify(init.body));
  const id = init.headers.get('mcp-session-id');
  assert.match(id, /^[0-9a-f]{32}$/);
  const ack = await post(url, { jsonrpc: '2.0', method: 'notifications/initialized' },
    { 'mcp-session-id': id, ...headers });
  assert.equal(ack.status, 202);
  return id;
}

before(async () => {
  const tokenFile = path.join(work, 'token');
  fs.writeFileSync(tokenFile, `${token}\n`);
  const file = catalogue();
  servers.open = await startHttpHost(host, ['--nutritions', file, '--workers', '2']);
  servers.token = await startHttpHost(host, ['--token-file', tokenFile, '--allow-origin', 'https://app.example']);
});

after(() => {
  for (const server of Object.values(servers)) server.stop();
  fs.rmSync(work, { recursive: true, force: true });
});

test('the transport refuses what it must and serves what it may', async () => {
  const ping = { jsonrpc: '2.0', id: 7, method: 'ping' };
  const open = await session(servers.open.url);
  const ended = await session(servers.open.url);
  const bearer = { authorization: `Bearer ${token}` };
  const tokened = await session(servers.token.url, bearer);
  const deleted = await fetch(servers.open.url, { method: 'DELETE', headers: { 'mcp-session-id': ended } });
  assert.equal(deleted.status, 204);
  for (const [what, server, headers, status, message = ping] of [
    ['a localhost origin', 'open', { 'mcp-session-id': open, origin: 'http://localhost:6274' }, 200],
    ['a foreign origin', 'open', { 'mcp-session-id': open, origin: 'http://evil.example' }, 403],
    ['no session', 'open', {}, 400],
    ['an unknown session', 'open', { 'mcp-session-id': 'f'.repeat(32) }, 404],
    ['an ended session', 'open', { 'mcp-session-id': ended }, 404],
    ['a supported protocol version', 'open', { 'mcp-session-id': open, 'mcp-protocol-version': '2025-03-26' }, 200],
    ['an unsupported protocol version', 'open', { 'mcp-session-id': open, 'mcp-protocol-version': '1999-01-01' }, 400],
    ['a body over the line limit', 'open', { 'mcp-session-id': open }, 413, 'x'.repeat((16 << 20) + 1)],
    ['a notification', 'open', { 'mcp-session-id': open }, 202, { jsonrpc: '2.0', method: 'notifications/x' }],
    ['a batch', 'open', { 'mcp-session-id': open }, 400, [ping]],
    ['no token', 'token', { 'mcp-session-id': tokened }, 401],
    ['a wrong token', 'token', { 'mcp-session-id': tokened, authorization: `Bearer ${token}x` }, 401],
    ['the token', 'token', { 'mcp-session-id': tokened, ...bearer }, 200],
    ['an allowed origin', 'token', { 'mcp-session-id': tokened, ...bearer, origin: 'https://app.example' }, 200],
  ]) {
    const answer = await post(servers[server].url, message, headers);
    assert.equal(answer.status, status, what);
    if (status === 200) assert.deepEqual(answer.body, { jsonrpc: '2.0', id: 7, result: {} }, what);
    if (status === 401) assert.match(answer.headers.get('www-authenticate'), /^Bearer /, what);
  }
  const get = await fetch(servers.open.url, { headers: { 'mcp-session-id': open, accept: 'text/event-stream' } });
  assert.equal(get.status, 405);
});

test('a request that asks for progress is answered on an event stream', async () => {
  const id = await session(servers.open.url);
  const response = await fetch(servers.open.url, {
    method: 'POST',
    headers: { 'content-type': 'application/json', accept: 'application/json, text/event-stream', 'mcp-session-id': id },
    body: JSON.stringify({ jsonrpc: '2.0', id: 'p', method: 'ping', params: { _meta: { progressToken: 1 } } }),
  });
  assert.equal(response.headers.get('content-type'), 'text/event-stream');
  assert.equal(await response.text(), 'event: message\ndata: {"jsonrpc":"2.0","id":"p","result":{}}\n\n');
});

// Eight sessions at once, each with its own ids: every request is answered
// once, in its own session, with the answer its own arguments call for.
test('load: 8 sessions × 500 mixed calls, each answered once in its own session', async () => {
  const names = ['Point Cloud Tiler', 'Partial Mesh Writer', 'Failing Converter', 'Slow Converter'];
  const out = fs.mkdtempSync(path.join(work, 'out-'));
  const call = (i, name, args) => ({ jsonrpc: '2.0', id: i, method: 'tools/call', params: { name, arguments: args } });
  const requestFor = (s, i) => {
    if (i % 250 === 249)
      return call(i, 'run_nutrition', { name: 'Brief Converter', files: [path.join(work, `s${s}-${i}.brief`)], output_path: out, preview: false });
    if (i % 3 === 0) return call(i, 'list_nutritions', { filter: names[i % 4].split(' ')[0] });
    if (i % 3 === 1) return call(i, 'describe_nutrition', { name: names[i % 4] });
    return call(i, 'run_nutrition', { name: 'Point Cloud Tiler', files: [path.join(work, `s${s}-${i}.las`)] });
  };
  const check = (s, i, answer) => {
    assert.equal(answer.id, i);
    const result = answer.result.structuredContent;
    assert.equal(result.success, true, JSON.stringify(answer));
    if (i % 250 === 249) assert.deepEqual(result.output_files, [`s${s}-${i}.txt`]);
    else if (i % 3 === 0) assert.ok(result.nutritions.some((n) => n.name === names[i % 4]));
    else if (i % 3 === 1) assert.equal(result.name, names[i % 4]);
    else assert.deepEqual(result.predicted_output, ['index.json', `s${s}-${i}_tiles.vtu`]);
  };
  const sessions = await Promise.all([...Array(8).keys()].map(() => session(servers.open.url)));
  const answered = await Promise.all(sessions.map(async (id, s) => {
    const seen = new Set();
    let next = 0;
    const lane = async () => {
      for (let i = next++; i < 500; i = next++) {
        const answer = await post(servers.open.url, requestFor(s, i), { 'mcp-session-id': id });
        assert.equal(answer.status, 200);
        check(s, i, answer.body);
        assert.ok(!seen.has(i), `${i} answered twice`);
        seen.add(i);
      }
    };
    await Promise.all([lane(), lane(), lane(), lane()]);
    return seen.size;
  }));
  assert.deepEqual(answered, Array(8).fill(500));
});
