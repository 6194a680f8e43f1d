// End-to-end: the installed dravo-host, moved to a fresh folder, driven by
// an official MCP client with the documented scripted catalogue, over stdio
// or, with DRAVO_E2E_TRANSPORT=http, over HTTP: the same cases. The client is
// DRAVO_E2E_CLIENT: sdk (the 1.32 SDK, the default), v2 (the v2 client with
// its 2025 handshake) or v2-2026 (the v2 client pinned to 2026-07-28).
// The demo converters are moved out of plugins/ so the scripted catalogue is
// served alone; a separate test loads them back with --plugins.
//
// Environment: DRAVO_HOST_PREFIX (an install tree), DRAVO_NUTRITIONS (JSON),
// DRAVO_SAMPLES (the generated demo samples). DRAVO_HOST_LAUNCHER runs a
// Windows tree instead (wine64): bin/dravo-host.exe, spawned through it, is
// then given every path in its Windows form.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { Client } from '@modelcontextprotocol/sdk/client/index.js';
import { StdioClientTransport } from '@modelcontextprotocol/sdk/client/stdio.js';
import { StreamableHTTPClientTransport } from '@modelcontextprotocol/sdk/client/streamableHttp.js';
import { ErrorCode, LATEST_PROTOCOL_VERSION } from '@modelcontextprotocol/sdk/types.js';
import { Client as ClientV2, StreamableHTTPClientTransport as HttpTransportV2 } from '@modelcontextprotocol/client';
import { StdioClientTransport as StdioTransportV2 } from '@modelcontextprotocol/client/stdio';
import { initialize, rpc, startHttpHost, writeLargeLas } from './support.mjs';

const { DRAVO_HOST_PREFIX: prefix, DRAVO_NUTRITIONS: nutritions, DRAVO_SAMPLES: samples } = process.env;
const launcher = process.env.DRAVO_HOST_LAUNCHER;
assert.ok(prefix && nutritions && samples, 'set DRAVO_HOST_PREFIX, DRAVO_NUTRITIONS and DRAVO_SAMPLES');
const overHttp = process.env.DRAVO_E2E_TRANSPORT === 'http';
// Each client: its classes and options. v1's callTool takes a result schema
// before the options; the 2026 revision has no ping.
const clientKinds = {
  sdk: { Client, Stdio: StdioClientTransport, Http: StreamableHTTPClientTransport, options: {} },
  v2: { Client: ClientV2, Stdio: StdioTransportV2, Http: HttpTransportV2, options: {} },
  'v2-2026': { Client: ClientV2, Stdio: StdioTransportV2, Http: HttpTransportV2,
    options: { versionNegotiation: { mode: { pin: '2026-07-28' } } } },
};
const clientKind = process.env.DRAVO_E2E_CLIENT ?? 'sdk';
const kind = clientKinds[clientKind];
assert.ok(kind, `DRAVO_E2E_CLIENT is one of ${Object.keys(clientKinds)}`);
const callTool = (via, params, options) =>
  (clientKind === 'sdk' ? via.callTool(params, undefined, options) : via.callTool(params, options));
// Cases about the host, not the transport or the client, run in one pass.
const firstPassOnly = { skip: (overHttp || clientKind !== 'sdk') && 'checked in the stdio pass of the 1.32 client' };

// A folder name outside ASCII: every path the host gets passes through it.
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'dravo-e2e-Ünïcødé-日本-'));
const tree = path.join(work, 'moved');  // the install tree, somewhere else
const host = path.join(tree, 'bin', launcher ? 'dravo-host.exe' : 'dravo-host');
const plugins = path.join(tree, 'bin', 'plugins');
const catalogue = path.join(work, 'nutritions.json');
const demoPlugins = path.join(work, 'demo-plugins');
const out = path.join(work, 'out-Größe');  // where every conversion writes
// The path as the host sees it: wine shows the Linux root as drive Z:.
const hostPath = (p) => (launcher ? 'Z:' + p.replaceAll('/', '\\') : p);
const inWork = (name) => hostPath(path.join(work, name));
// The host's command line for spawn and spawnSync.
const hostCommand = (args) => (launcher ? [launcher, [host, ...args]] : [host, args]);
const runHost = (args, input = '') => spawnSync(...hostCommand(args), { input, encoding: 'utf8' });
const serveCatalogue = ['--nutritions', hostPath(catalogue)];
// What a failed change into a missing folder says, in the system's words
// (wine's own; Windows says "The system cannot find the path specified.").
const missingPathMessage = launcher ? 'Path not found.' : 'No such file or directory';
let client;
const connected = [];  // every client connected, closed at the end
let stderrText = '';

// serveArgs replace the default catalogue, they are not added to it.
async function connect(serveArgs = serveCatalogue) {
  const c = new kind.Client({ name: 'dravo-e2e', version: '1.0.0' }, kind.options);
  connected.push(c);
  if (overHttp) {
    const server = await startHttpHost(host, serveArgs, (text) => { stderrText += text; });
    await c.connect(new kind.Http(new URL(server.url)));
    const close = c.close.bind(c);
    c.close = async () => { await close(); server.stop(); };
    return c;
  }
  const [command, args] = hostCommand(['serve', ...serveArgs]);
  // The whole environment: the client would pass only a few variables, and wine needs its own.
  const transport = new kind.Stdio({ command, args, env: process.env, stderr: 'pipe' });
  transport.stderr.on('data', (chunk) => { stderrText += chunk; });
  await c.connect(transport);
  return c;
}

// The result object a tool gave, checked against its MCP envelope.
async function call(name, args, via = client, options = undefined) {
  const result = await callTool(via, { name, arguments: args }, options);
  assert.equal(result.content.length, 1);
  assert.equal(result.content[0].type, 'text');
  const object = JSON.parse(result.content[0].text);
  assert.deepEqual(result.structuredContent, object);
  assert.equal(result.isError, object.success === false);
  return object;
}

// A conversion of files in the work folder into the output folder.
const conversion = (name, files, more = {}) =>
  ({ name, files: files.map(inWork), output_path: hostPath(out), preview: false, ...more });

before(async () => {
  fs.cpSync(prefix, tree, { recursive: true });
  for (const dir of [demoPlugins, out]) fs.mkdirSync(dir);
  const demo = 'dravo_demo_converters.tolm';
  fs.renameSync(path.join(plugins, demo), path.join(demoPlugins, demo));
  fs.copyFileSync(nutritions, catalogue);
  for (const name of ['a.las', 'b.las', 'notes.txt']) fs.writeFileSync(path.join(work, name), 'x');
  client = await connect();
});

after(async () => {
  for (const c of connected) await c.close();
  fs.rmSync(work, { recursive: true, force: true });
});

// Each revision asked for, the one answered (batches and bad lines are the
// server's unit tests'). Raw stdio: only protocol on stdout, no CR, a clean
// exit at end of input, and tools/list byte for byte as the command line prints it.
test('protocol versions: the client\'s when supported, else the newest', firstPassOnly, () => {
  const listed = `{"jsonrpc":"2.0","id":4,"result":{"tools":${runHost(['tools']).stdout.slice(0, -1)}}}`;
  for (const [asked, answered] of [
    ['2024-11-05', '2024-11-05'], ['2025-03-26', '2025-03-26'], ['2025-06-18', '2025-06-18'],
    [LATEST_PROTOCOL_VERSION, LATEST_PROTOCOL_VERSION], ['2024-10-07', LATEST_PROTOCOL_VERSION],
    ['not-a-version', LATEST_PROTOCOL_VERSION],
  ]) {
    const input = [initialize(1, asked), rpc(4, 'tools/list')].map((l) => `${JSON.stringify(l)}\n`);
    const run = runHost(serveCatalogue, input.join(''));
    assert.equal(run.status, 0, run.stderr);
    assert.ok(!run.stdout.includes('\r'), 'no CR on stdout');
    const lines = run.stdout.trim().split('\n');
    assert.deepEqual(lines.map((l) => JSON.parse(l).id), [1, 4], asked);
    assert.equal(JSON.parse(lines[0]).result.protocolVersion, answered, asked);
    assert.equal(lines[1], listed, asked);
  }
});

test('the server names itself; tools/list gives the four declarations as the command line prints them', async () => {
  const { name, version } = client.getServerVersion();
  assert.equal(`${name} ${version}`, runHost(['--version']).stdout.trim());
  const { tools } = await client.listTools();
  assert.deepEqual(tools.map((t) => [t.name, t.inputSchema.type, t.inputSchema.required,
    Object.entries(t.inputSchema.properties).map(([k, v]) => `${k}:${v.type}`).join(' ')]), [
    ['list_nutritions', 'object', [], 'filter:string extension:string'],
    ['describe_nutrition', 'object', ['name'], 'name:string'],
    ['analyse_nutrition', 'object', ['name', 'files'], 'name:string files:array'],
    ['run_nutrition', 'object', ['name', 'files'],
      'name:string files:array output_path:string arguments:string preview:boolean'],
  ]);
  assert.deepEqual(tools, JSON.parse(runHost(['tools']).stdout));
});

// Short views of the long members, so that a case states them in one line.
const views = {
  names: (r) => r.nutritions?.map((n) => n.name),
  values: (r) => r.parameters?.map((p) => [p.name, p.value]),
  scripts: (r) => r.output_scripts?.map((s) => [s.id, s.shortname]),
};
const tiler = 'Point Cloud Tiler';
const tilerValues = (levels, tile) => [['TileLength', tile], ['Overlap', '0.5'], ['Classify', 'true'],
  ['Levels', levels], ['Mode', 'split'], ['Label', 'survey'], ['Source', '']];
// [tool, arguments, expected members (a RegExp matches), more checks]: walked
// in order, since a run changes what a later describe_nutrition shows.
const toolCases = [
  ['list_nutritions', {}, { success: true, count: 7 }],
  ['list_nutritions', { filter: 'TILER' }, { nutritions: [{
    name: tiler, description: 'Cuts <b>point clouds</b> into tiles of equal size.',
    extensions: ['las', 'laz'], output_extensions: ['json', 'vtu'], genres: ['points', 'tiles'],
  }] }],
  ['list_nutritions', { extension: 'obj' }, { names: ['Partial Mesh Writer'] }],
  ['describe_nutrition', { name: tiler }, {
    success: true, values: tilerValues('3', '100;100;0'), scripts: [[1, 'show_tiles'], [2, 'show_index']],
  }, (d) => assert.equal(d.parameters[3].help, 'Levels of detail, 1 to 8.')],
  ['analyse_nutrition', { name: tiler, files: ['a.las', 'notes.txt'].map(inWork) }, {
    success: true, quickinfo: 'Point cloud with 1200 points.', analysis: 'Bounds 0;0;0 to 250;250;12',
    log: 'opened the header\nread 1200 points',
    digestible: { [inWork('a.las')]: true, [inWork('notes.txt')]: false },
  }],
  ['analyse_nutrition', { name: 'Throwing Converter', files: [inWork('a.las')] },
    { error: 'Analysis failed with an unknown error.' }],
  ['run_nutrition', { name: tiler, files: [inWork('a.las')] },
    { preview: true, predicted_output: ['a_tiles.vtu', 'index.json'] }],
  // openingFile, message and notice are logged; progress, tryLoader and abort_on_issue not.
  ['run_nutrition', conversion(tiler, ['a.las'], { arguments: 'Levels=5;TileLength=250;250;0' }), {
    success: true, output_files: ['a_tiles.vtu', 'index.json'],
    log: ['open: opening the point cloud', 'wrote the tiles', 'ground points classified'],
  }, () => {
    for (const name of ['a_tiles.vtu', 'index.json'])
      assert.equal(fs.readFileSync(path.join(out, name), 'utf8'), 'tile data\n');
  }],
  ['describe_nutrition', { name: tiler }, { values: tilerValues('5', '250;250;0') }],
  ['run_nutrition', conversion('Partial Mesh Writer', ['m.obj']),
    { output_files: ['m.vtu'], expected_not_written: ['m_normals.vtu'], note: /not found on disk/ }],
  ['run_nutrition', conversion('Failing Converter', ['x.dat']),
    { error: 'Disk full: nothing was written.', log: ['checking the disk'] }],
  ['run_nutrition', conversion('Fractal Preview', ['x.frac']),
    { gpu_required: true, error: /^"Fractal Preview" is a GPU-only nutrition/ }],
  ['run_nutrition', conversion('Throwing Converter', ['a.las']),
    { error: 'Conversion failed: the converter crashed' }],
  ['run_nutrition', conversion(tiler, ['a.las'], { output_path: inWork(path.join('missing', 'deeper')) }),
    { error: `Cannot use output_path "${inWork(path.join('missing', 'deeper'))}": ${missingPathMessage}` }],
];

test('the four tools: listing, describing, analysing and converting, and how each fails', async () => {
  // An unknown tool is a JSON-RPC error; an exception escaping a tool is the server's unit tests'.
  await assert.rejects(callTool(client, { name: 'no_such_tool', arguments: {} }),
    { code: ErrorCode.InvalidParams, message: /"no_such_tool"/ });
  for (const [tool, args, expected, more] of toolCases) {
    const result = await call(tool, args);
    const what = `${tool} ${JSON.stringify(args)} gave ${JSON.stringify(result)}`;
    for (const [key, want] of Object.entries(expected)) {
      const got = key in views ? views[key](result) : result[key];
      if (want instanceof RegExp) assert.match(got, want, what);
      else assert.deepEqual(got, want, what);
    }
    more?.(result);
  }
});

test('a slow run reports growing progress to a client that asks, and only to it, while other requests are answered', async () => {
  const seen = [];
  let done = false;
  const slow = call('run_nutrition', conversion('Slow Converter', ['s.slow']), client, { onprogress: (p) => seen.push(p) })
    .finally(() => { done = true; });
  await new Promise((resolve) => setTimeout(resolve, 200));  // let the conversion start
  const listFresh = () => client.listTools(undefined, { cacheMode: 'bypass' });
  await Promise.all([clientKind === 'v2-2026' ? listFresh() : client.ping(), listFresh()]);
  assert.equal(done, false, 'ping or tools/list waited for the run');
  const result = await slow;
  assert.deepEqual([result.success, result.log], [true, []], 'progress texts are not logged');
  assert.ok(fs.existsSync(path.join(out, 's.txt')));
  assert.ok(seen.length >= 2 && seen.every((p, i) => !i || p.progress > seen[i - 1].progress), JSON.stringify(seen));
  assert.deepEqual({ total: seen[0].total, message: seen[0].message }, { total: 5, message: 'converting' });

  // Without a token the wire carries no notification at all.
  const quiet = await connect();
  const notifications = [];
  quiet.fallbackNotificationHandler = async (n) => { notifications.push(n); };
  const plain = await call('run_nutrition', conversion('Slow Converter', ['p.slow']), quiet);
  assert.deepEqual([plain.success, plain.log, notifications], [true, [], []]);
});

const withSdkClientOnly = { skip: clientKind !== 'sdk' && 'checked with the 1.32 client' };
test('a broken plug-in is renamed to .tolm~ and named on stderr', withSdkClientOnly, async () => {
  const renamed = ['broken.tolm~', 'misnamed.tolm~'];
  fs.writeFileSync(path.join(plugins, 'broken.tolm'), 'not a library');
  // A real library without the export its name asks for: loaded, refused, freed, renamed.
  fs.copyFileSync(path.join(demoPlugins, 'dravo_demo_converters.tolm'), path.join(plugins, 'misnamed.tolm'));
  stderrText = '';
  const second = await connect();
  assert.deepEqual(fs.readdirSync(plugins).filter((f) => /^(broken|misnamed)/.test(f)).sort(), renamed);
  // stderr is read asynchronously: give the line a moment to arrive.
  for (let i = 0; i < 50 && !/broken\.tolm/.test(stderrText); ++i)
    await new Promise((resolve) => setTimeout(resolve, 20));
  assert.match(stderrText, /plug-in ".*broken\.tolm" cannot be loaded/);
  // The good plug-in still serves, and names the disabled ones.
  assert.deepEqual([...(await call('list_nutritions', {}, second)).disabled].sort(), renamed);
});

test('the demo converters turn the XYZ sample into PLY', async () => {
  const demo = await connect(['--plugins', hostPath(demoPlugins)]);
  assert.deepEqual((await call('list_nutritions', { extension: 'xyz' }, demo)).nutritions.map((n) => n.name), ['XYZ to PLY']);
  fs.copyFileSync(path.join(samples, 'cloud.xyz'), path.join(work, 'cloud.xyz'));
  const run = await call('run_nutrition', conversion('XYZ to PLY', ['cloud.xyz'], { arguments: 'Binary=false' }), demo);
  assert.deepEqual(run.output_files, [hostPath(path.join(out, 'cloud.ply'))], JSON.stringify(run));
  assert.match(fs.readFileSync(path.join(out, 'cloud.ply'), 'utf8'), /^ply\nformat ascii 1\.0\n/);
});

// Every message the client's transport hands it, in order.
function recordWire(c) {
  const messages = [];
  const { transport } = c;
  const deliver = transport.onmessage;
  transport.onmessage = (message, extra) => { messages.push(message); deliver?.(message, extra); };
  return messages;
}

// The client gives up a long conversion: the host stops it at its next
// report, answers nothing for it, leaves no file behind and lets the next run
// of the converter start.
test('an aborted conversion stops: no answer, no progress after it, no file, and the next run goes ahead', async () => {
  const demo = await connect(['--plugins', hostPath(demoPlugins)]);
  const wire = recordWire(demo);
  const points = 10_000_000;
  writeLargeLas(path.join(samples, 'las_format0.las'), path.join(work, 'large.las'), points);
  fs.copyFileSync(path.join(samples, 'las_format0.las'), path.join(work, 'small.las'));
  const abandoned = path.join(work, 'abandoned');
  fs.mkdirSync(abandoned);
  const stop = new AbortController();
  let started;
  const firstProgress = new Promise((resolve) => { started = resolve; });
  const toXyz = { arguments: 'OutputFormat=xyz' };
  const large = conversion('LAS to PLY/XYZ', ['large.las'], { ...toXyz, output_path: hostPath(abandoned) });
  const run = callTool(demo, { name: 'run_nutrition', arguments: large }, { signal: stop.signal, onprogress: started });
  await firstProgress;
  const abortedAt = wire.length;
  stop.abort();
  await assert.rejects(run);
  // Both SDKs use the request's id as its progress token.
  const id = wire.find((m) => m.method === 'notifications/progress').params.progressToken;

  const next = await call('run_nutrition', conversion('LAS to PLY/XYZ', ['small.las'], toXyz), demo);
  assert.deepEqual(next.output_files, [hostPath(path.join(out, 'small.xyz'))], JSON.stringify(next));
  await demo.listTools(undefined, { cacheMode: 'bypass' });  // one more round trip for stragglers
  const answers = wire.filter((m) => m.id === id && ('result' in m || 'error' in m));
  assert.deepEqual(answers, [], 'the aborted call was answered');
  // What the host sent before it saw the cancellation may still arrive: a
  // few of the run's reports (one per 65,536 points), not a tenth of them.
  const late = wire.slice(abortedAt).filter((m) => m.params?.progressToken === id);
  assert.ok(late.length < points / 65536 / 10, `${late.length} progress notifications after the abort`);
  assert.deepEqual(fs.readdirSync(abandoned), []);
});
