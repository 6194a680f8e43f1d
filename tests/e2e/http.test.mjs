// HTTP only: what the transport refuses, and many sessions at once (the
// official conformance scenarios run in conformance.test.mjs).
// Environment: DRAVO_HOST_PREFIX (an install tree), DRAVO_NUTRITIONS (JSON).
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { once } from 'node:events';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import { setTimeout as sleep } from 'node:timers/promises';
import { initialize, rpc, startHttpHost } from './support.mjs';

const { DRAVO_HOST_PREFIX: prefix, DRAVO_NUTRITIONS: nutritions } = process.env;
assert.ok(prefix && nutritions, 'set DRAVO_HOST_PREFIX and DRAVO_NUTRITIONS');
const host = path.join(prefix, 'bin', 'dravo-host');
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'dravo-http-'));
const token = 'e2e-secret-token';
const servers = {};

// The answer's status, headers and text, and the text as JSON when it is.
async function post(url, message, headers = {}) {
  const response = await fetch(url, {
    method: 'POST',
    headers: { 'content-type': 'application/json', accept: 'application/json, text/event-stream', ...headers },
    body: typeof message === 'string' ? message : JSON.stringify(message),
  });
  const text = await response.text();
  const isJson = response.headers.get('content-type') === 'application/json';
  return { status: response.status, headers: response.headers, text, body: isJson ? JSON.parse(text) : null };
}

// A fresh session: its id, with initialize answered and acknowledged.
async function session(url, headers = {}) {
  const init = await post(url, initialize(0, '2025-06-18'), headers);
  assert.equal(init.status, 200, init.text);
  const id = init.headers.get('mcp-session-id');
  assert.match(id, /^[0-9a-f]{32}$/);
  await post(url, rpc(undefined, 'notifications/initialized'), { 'mcp-session-id': id, ...headers });
  return id;
}

before(async () => {
  const tokenFile = path.join(work, 'token');
  fs.writeFileSync(tokenFile, `${token}\n`);
  // The documented catalogue plus a converter quick enough for the load case.
  const catalogue = JSON.parse(fs.readFileSync(nutritions, 'utf8'));
  catalogue.nutritions.push({
    name: 'Brief Converter', description: 'Converts in a moment.', input_extensions: ['brief'],
    output_extensions: ['txt'], genres: ['demo'], predicted_outputs: ['{stem}.txt'],
    conversion: { write: 'all', delay_ms: 30, content: 'done\n' },
  });
  fs.writeFileSync(path.join(work, 'nutritions.json'), JSON.stringify(catalogue));
  servers.open = await startHttpHost(host, ['--nutritions', path.join(work, 'nutritions.json'), '--workers', '2']);
  servers.token = await startHttpHost(host,
    ['--token-file', tokenFile, '--allow-origin', 'https://app.example', '--max-sessions', '1']);
  servers.tight = await startHttpHost(host, ['--session-idle', '50', '--connection-idle', '50']);
});

after(() => {
  for (const server of Object.values(servers)) server.stop();
  fs.rmSync(work, { recursive: true, force: true });
});

test('the transport refuses what it must and serves what it may', async () => {
  const ping = rpc(7, 'ping');
  const open = await session(servers.open.url);
  const ended = await session(servers.open.url);
  const bearer = { authorization: `Bearer ${token}` };
  const tokened = await session(servers.token.url, bearer);
  const deleted = await fetch(servers.open.url, { method: 'DELETE', headers: { 'mcp-session-id': ended } });
  assert.equal(deleted.status, 204);
  const expired = await session(servers.tight.url);
  await sleep(100);
  for (const [what, server, headers, status, message = ping] of [
    ['a localhost origin', 'open', { 'mcp-session-id': open, origin: 'http://localhost:6274' }, 200],
    ['a foreign origin', 'open', { 'mcp-session-id': open, origin: 'http://evil.example' }, 403],
    ['no session', 'open', {}, 400],
    ['an unknown session', 'open', { 'mcp-session-id': 'f'.repeat(32) }, 404],
    ['an ended session', 'open', { 'mcp-session-id': ended }, 404],
    ['an expired session', 'tight', { 'mcp-session-id': expired }, 404],
    ['a supported protocol version', 'open', { 'mcp-session-id': open, 'mcp-protocol-version': '2025-03-26' }, 200],
    ['an unsupported protocol version', 'open', { 'mcp-session-id': open, 'mcp-protocol-version': '1999-01-01' }, 400],
    ['a body over the line limit', 'open', { 'mcp-session-id': open }, 413, 'x'.repeat((16 << 20) + 1)],
    ['a notification', 'open', { 'mcp-session-id': open }, 202, rpc(undefined, 'notifications/x')],
    ['a batch', 'open', { 'mcp-session-id': open }, 400, [ping]],
    ['no token', 'token', { 'mcp-session-id': tokened }, 401],
    ['a wrong token', 'token', { 'mcp-session-id': tokened, authorization: `Bearer ${token}x` }, 401],
    ['the token', 'token', { 'mcp-session-id': tokened, ...bearer }, 200],
    ['an allowed origin', 'token', { 'mcp-session-id': tokened, ...bearer, origin: 'https://app.example' }, 200],
    // At the bound, the session idle longest makes room for a new client.
    ['beyond the session bound', 'token', bearer, 200, initialize(0, '2025-06-18')],
    ['the session that made room', 'token', { 'mcp-session-id': tokened, ...bearer }, 404],
  ]) {
    const answer = await post(servers[server].url, message, headers);
    assert.equal(answer.status, status, what);
    if (status === 200 && message === ping) assert.deepEqual(answer.body, { jsonrpc: '2.0', id: 7, result: {} }, what);
    if (status === 401)
      assert.match(answer.headers.get('www-authenticate'), headers.authorization ? /error="invalid_token"/ : /^Bearer realm="dravo-host"$/, what);
  }
  // A connection that stalls mid-request is closed without an answer.
  const stalled = net.connect(Number(new URL(servers.tight.url).port), '127.0.0.1');
  stalled.write('POST /mcp HTTP/1.1\r\n');
  let heard = '';
  stalled.on('data', (chunk) => { heard += chunk; });
  await once(stalled, 'close');
  assert.equal(heard, '');
  const get = await fetch(servers.open.url, { headers: { 'mcp-session-id': open, accept: 'text/event-stream' } });
  assert.equal(get.status, 405);
  // A request that asks for progress is answered on an event stream.
  const streamed = await post(servers.open.url, rpc('p', 'ping', { _meta: { progressToken: 1 } }), { 'mcp-session-id': open });
  assert.equal(streamed.headers.get('content-type'), 'text/event-stream');
  assert.equal(streamed.text, 'event: message\ndata: {"jsonrpc":"2.0","id":"p","result":{}}\n\n');
});

// Eight sessions at once, four lanes each: every request is answered in its
// own session, with its own id and the answer its own arguments call for.
test('load: 8 sessions × 500 mixed calls, each answered in its own session', async () => {
  const names = ['Point Cloud Tiler', 'Partial Mesh Writer', 'Failing Converter', 'Slow Converter'];
  const out = fs.mkdtempSync(path.join(work, 'out-'));
  // Per request number: [tool, arguments, check of the result].
  const caseFor = (s, i) => {
    const name = names[i % 4];
    if (i % 250 === 249) return ['run_nutrition',
      { name: 'Brief Converter', files: [path.join(work, `s${s}-${i}.brief`)], output_path: out, preview: false },
      (r) => assert.deepEqual(r.output_files, [`s${s}-${i}.txt`])];
    return [
      ['list_nutritions', { filter: name.split(' ')[0] }, (r) => assert.ok(r.nutritions.some((n) => n.name === name))],
      ['describe_nutrition', { name }, (r) => assert.equal(r.name, name)],
      ['run_nutrition', { name: names[0], files: [path.join(work, `s${s}-${i}.las`)] },
        (r) => assert.deepEqual(r.predicted_output, ['index.json', `s${s}-${i}_tiles.vtu`])],
    ][i % 3];
  };
  const sessions = await Promise.all([...Array(8).keys()].map(() => session(servers.open.url)));
  await Promise.all(sessions.flatMap((id, s) => {
    let next = 0;
    const lane = async () => {
      for (let i = next++; i < 500; i = next++) {
        const [tool, args, check] = caseFor(s, i);
        const answer = await post(servers.open.url, rpc(i, 'tools/call', { name: tool, arguments: args }), { 'mcp-session-id': id });
        assert.deepEqual([answer.status, answer.body.id, answer.body.result.structuredContent.success], [200, i, true], answer.text);
        check(answer.body.result.structuredContent);
      }
    };
    return [lane(), lane(), lane(), lane()];
  }));
});
