// End-to-end: the installed dravo-host, moved to a fresh folder, driven by
// the official MCP client with the documented scripted catalogue, over stdio
// or, with DRAVO_E2E_TRANSPORT=http, over HTTP: the same cases.
// The demo converters are moved out of plugins/ so the scripted catalogue is
// served alone; a separate test loads them back with --plugins.
//
// Environment: DRAVO_HOST_PREFIX (an install tree), DRAVO_NUTRITIONS (JSON),
// DRAVO_SAMPLES (the generated demo samples). DRAVO_HOST_LAUNCHER runs a
// Windows tree instead (wine64): bin/dravo-host.exe, spawned through it, is
// then given every path in its Windows form.
// Tests marked [tool behaviour] check what the module's tools answer; they
// skip while a tool still says "not available in this build".
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawn, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { Client } from '@modelcontextprotocol/sdk/client/index.js';
import { StdioClientTransport } from '@modelcontextprotocol/sdk/client/stdio.js';
import { StreamableHTTPClientTransport } from '@modelcontextprotocol/sdk/client/streamableHttp.js';
import { ErrorCode, LATEST_PROTOCOL_VERSION, McpError } from '@modelcontextprotocol/sdk/types.js';
import { startHttpHost } from './http_host.mjs';

const prefix = process.env.DRAVO_HOST_PREFIX;
const nutritions = process.env.DRAVO_NUTRITIONS;
const samples = process.env.DRAVO_SAMPLES;
const launcher = process.env.DRAVO_HOST_LAUNCHER;
assert.ok(prefix && nutritions && samples, 'set DRAVO_HOST_PREFIX, DRAVO_NUTRITIONS and DRAVO_SAMPLES');
const overHttp = process.env.DRAVO_E2E_TRANSPORT === 'http';
// Cases about the process itself, not the transport, run in the stdio pass.
const stdioOnly = { skip: overHttp && 'checked in the stdio pass' };

// A folder name outside ASCII: every path the host gets passes through it.
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'dravo-e2e-Ünïcødé-日本-'));
const tree = path.join(work, 'moved');  // the install tree, somewhere else
const host = path.join(tree, 'bin', launcher ? 'dravo-host.exe' : 'dravo-host');
// The path as the host sees it: wine shows the Linux root as drive Z:.
const hostPath = (p) => (launcher ? 'Z:' + p.replaceAll('/', '\\') : p);
// The host's command line for spawn and spawnSync.
const hostCommand = (args) => (launcher ? [launcher, [host, ...args]] : [host, args]);
// What a failed change into a missing folder says, in the system's words
// (wine's own; Windows says "The system cannot find the path specified.").
const missingPathMessage = launcher ? 'Path not found.' : 'No such file or directory';
const catalogue = path.join(work, 'nutritions.json');
const demoPlugins = path.join(work, 'demo-plugins');
// A file or folder in the work folder, named as the host sees it.
const inWork = (name) => hostPath(path.join(work, name));
let client;
let stderrText = '';

// serveArgs replace the default catalogue, they are not added to it.
async function connect(serveArgs = ['--nutritions', hostPath(catalogue)]) {
  const c = new Client({ name: 'dravo-e2e', version: '1.0.0' });
  if (overHttp) {
    const server = await startHttpHost(host, serveArgs, (text) => { stderrText += text; });
    await c.connect(new StreamableHTTPClientTransport(new URL(server.url)));
    const close = c.close.bind(c);
    c.close = async () => { await close(); server.stop(); };
    return c;
  }
  const [command, args] = hostCommand(['serve', ...serveArgs]);
  // The whole environment: the client would pass only a few variables, and wine needs its own.
  const transport = new StdioClientTransport({ command, args, env: process.env, stderr: 'pipe' });
  transport.stderr.on('data', (chunk) => { stderrText += chunk; });
  await c.connect(transport);
  return c;
}

// The result object a tool gave, checked against its MCP envelope.
async function call(name, args, via = client) {
  const result = await via.callTool({ name, arguments: args });
  assert.equal(result.content.length, 1);
  assert.equal(result.content[0].type, 'text');
  const object = JSON.parse(result.content[0].text);
  assert.deepEqual(result.structuredContent, object);
  assert.equal(result.isError, object.success === false);
  return object;
}

async function implemented(t, tool, probe = {}, via = client) {
  const result = await call(tool, probe, via);
  if (String(result.error ?? '').includes('not available in this build')) {
    t.skip(`[tool behaviour] ${tool} is not implemented in this build`);
    return false;
  }
  return true;
}

before(async () => {
  fs.cpSync(prefix, tree, { recursive: true });
  fs.mkdirSync(demoPlugins);
  const demo = 'dravo_demo_converters.tolm';
  fs.renameSync(path.join(tree, 'bin', 'plugins', demo), path.join(demoPlugins, demo));
  fs.copyFileSync(nutritions, catalogue);
  for (const name of ['a.las', 'b.las', 'notes.txt']) fs.writeFileSync(path.join(work, name), 'x');
  client = await connect();
});

after(async () => {
  await client?.close();
  fs.rmSync(work, { recursive: true, force: true });
});

test('initialize negotiates the newest version and names the server', () => {
  assert.equal(client.getServerVersion().name, 'dravo-host');
  assert.match(client.getServerVersion().version, /^\d+\.\d+\.\d+$/);
  assert.ok(client.getServerCapabilities().tools);
});

// Spawns the host, sends one initialize, answers its protocolVersion.
function negotiated(version) {
  const request = { jsonrpc: '2.0', id: 1, method: 'initialize', params: { protocolVersion: version, capabilities: {} } };
  const run = spawnSync(...hostCommand([]), { input: JSON.stringify(request) + '\n', encoding: 'utf8' });
  assert.equal(run.status, 0, run.stderr);
  return JSON.parse(run.stdout).result.protocolVersion;
}

test('protocol versions: the client\'s when supported, else the newest', stdioOnly, () => {
  for (const [asked, answered] of [
    ['2024-11-05', '2024-11-05'], ['2025-03-26', '2025-03-26'], ['2025-06-18', '2025-06-18'],
    [LATEST_PROTOCOL_VERSION, LATEST_PROTOCOL_VERSION], ['2024-10-07', LATEST_PROTOCOL_VERSION],
    ['not-a-version', LATEST_PROTOCOL_VERSION],
  ]) assert.equal(negotiated(asked), answered, asked);
});

test('ping answers', async () => {
  assert.deepEqual(await client.ping(), {});
});

test('tools/list gives exactly the four declarations of the module', async () => {
  const { tools } = await client.listTools();
  assert.deepEqual(tools.map((t) => t.name),
    ['list_nutritions', 'describe_nutrition', 'analyse_nutrition', 'run_nutrition']);
  const shape = Object.fromEntries(tools.map((t) => [t.name, {
    properties: Object.fromEntries(
      Object.entries(t.inputSchema.properties).map(([k, v]) => [k, v.type])),
    required: t.inputSchema.required,
  }]));
  assert.deepEqual(shape, {
    list_nutritions: { properties: { filter: 'string', extension: 'string' }, required: [] },
    describe_nutrition: { properties: { name: 'string' }, required: ['name'] },
    analyse_nutrition: { properties: { name: 'string', files: 'array' }, required: ['name', 'files'] },
    run_nutrition: {
      properties: { name: 'string', files: 'array', output_path: 'string', arguments: 'string', preview: 'boolean' },
      required: ['name', 'files'],
    },
  });
  for (const t of tools) {
    assert.equal(t.inputSchema.type, 'object');
    assert.ok(t.description.length > 40, t.name);
  }
  // The same declarations as the command line prints, unchanged on the way.
  const printed = JSON.parse(spawnSync(...hostCommand(['tools']), { encoding: 'utf8' }).stdout);
  assert.deepEqual(tools, printed);
});

test('every tool is routed to the module and answers one result object', async () => {
  for (const name of ['list_nutritions', 'describe_nutrition', 'analyse_nutrition', 'run_nutrition']) {
    const result = await call(name, {});
    assert.equal(typeof result.success, 'boolean', name);
    if (!result.success) assert.equal(typeof result.error, 'string', name);
  }
});

test('an unknown tool is a JSON-RPC error naming it', async () => {
  await assert.rejects(client.callTool({ name: 'no_such_tool', arguments: {} }), (error) => {
    assert.ok(error instanceof McpError);
    assert.equal(error.code, ErrorCode.InvalidParams);
    assert.match(error.message, /"no_such_tool"/);
    return true;
  });
  assert.deepEqual(await client.ping(), {}, 'still serving');
});

test('[tool behaviour] list_nutritions lists the catalogue and filters it', async (t) => {
  if (!(await implemented(t, 'list_nutritions'))) return;
  const all = await call('list_nutritions', {});
  assert.equal(all.success, true);
  assert.equal(all.count, 7);
  const tiler = all.nutritions.find((n) => n.name === 'Point Cloud Tiler');
  assert.deepEqual(tiler, {
    name: 'Point Cloud Tiler',
    description: 'Cuts <b>point clouds</b> into tiles of equal size.',
    extensions: ['las', 'laz'],
    output_extensions: ['json', 'vtu'],
    genres: ['points', 'tiles'],
  });
  const filtered = await call('list_nutritions', { filter: 'TILER' });
  assert.deepEqual(filtered.nutritions.map((n) => n.name), ['Point Cloud Tiler']);
  const byExtension = await call('list_nutritions', { extension: 'obj' });
  assert.deepEqual(byExtension.nutritions.map((n) => n.name), ['Partial Mesh Writer']);
  const none = await call('list_nutritions', { filter: 'zzz-nothing' });
  assert.equal(none.count, 0);
  assert.match(none.note, /^Nothing matched/);
});

test('[tool behaviour] describe_nutrition gives parameters and scripts', async (t) => {
  if (!(await implemented(t, 'describe_nutrition'))) return;
  const d = await call('describe_nutrition', { name: 'Point Cloud Tiler' });
  assert.equal(d.success, true);
  assert.deepEqual(d.parameters.map((p) => [p.name, p.value]), [
    ['TileLength', '100;100;0'], ['Overlap', '0.5'], ['Classify', 'true'], ['Levels', '3'],
    ['Mode', 'split'], ['Label', 'survey'], ['Source', ''],
  ]);
  assert.equal(d.parameters[3].help, 'Levels of detail, 1 to 8.');
  assert.deepEqual(d.output_scripts.map((s) => [s.id, s.shortname]), [[1, 'show_tiles'], [2, 'show_index']]);
  const missing = await call('describe_nutrition', { name: 'Nope' });
  assert.equal(missing.success, false);
  assert.match(missing.error, /"Nope"/);
  const noName = await call('describe_nutrition', {});
  assert.equal(noName.success, false);
});

test('[tool behaviour] analyse_nutrition summarises, analyses and judges files', async (t) => {
  if (!(await implemented(t, 'analyse_nutrition'))) return;
  const files = [inWork('a.las'), inWork('notes.txt')];
  const a = await call('analyse_nutrition', { name: 'Point Cloud Tiler', files });
  assert.equal(a.success, true);
  assert.equal(a.quickinfo, 'Point cloud with 1200 points.');
  assert.equal(a.analysis, 'Bounds 0;0;0 to 250;250;12');
  assert.equal(a.log, 'opened the header\nread 1200 points');
  assert.deepEqual(a.digestible, { [files[0]]: true, [files[1]]: false });
  const noFiles = await call('analyse_nutrition', { name: 'Point Cloud Tiler', files: [] });
  assert.equal(noFiles.success, false);
  const thrown = await call('analyse_nutrition', { name: 'Throwing Converter', files });
  assert.equal(thrown.error, 'Analysis failed with an unknown error.');
});

test('[tool behaviour] run_nutrition previews, converts and reports failures', async (t) => {
  if (!(await implemented(t, 'run_nutrition'))) return;
  const files = [inWork('a.las')];
  const preview = await call('run_nutrition', { name: 'Point Cloud Tiler', files });
  assert.equal(preview.preview, true);
  assert.deepEqual(preview.predicted_output, ['a_tiles.vtu', 'index.json']);

  const out = fs.mkdtempSync(path.join(work, 'out-'));
  const run = await call('run_nutrition', {
    name: 'Point Cloud Tiler', files, output_path: hostPath(out), preview: false,
    arguments: 'Levels=5;TileLength=250;250;0',
  });
  assert.equal(run.success, true, JSON.stringify(run));
  assert.deepEqual(run.output_files, ['a_tiles.vtu', 'index.json']);
  for (const name of ['a_tiles.vtu', 'index.json'])
    assert.equal(fs.readFileSync(path.join(out, name), 'utf8'), 'tile data\n');
  // openingFile, message and notice are recorded; progress, tryLoader, abort_on_issue not.
  assert.deepEqual(run.log, ['open: opening the point cloud', 'wrote the tiles', 'ground points classified']);
  const after = await call('describe_nutrition', { name: 'Point Cloud Tiler' });
  assert.equal(after.parameters.find((p) => p.name === 'Levels').value, '5');

  const partial = await call('run_nutrition', {
    name: 'Partial Mesh Writer', files: [inWork('m.obj')], output_path: hostPath(out), preview: false,
  });
  assert.deepEqual(partial.output_files, ['m.vtu']);
  assert.deepEqual(partial.expected_not_written, ['m_normals.vtu']);
  assert.match(partial.note, /not found on disk/);
  const failing = await call('run_nutrition', {
    name: 'Failing Converter', files: [inWork('x.dat')], output_path: hostPath(out), preview: false,
  });
  assert.equal(failing.error, 'Disk full: nothing was written.');
  assert.deepEqual(failing.log, ['checking the disk']);
  const gpu = await call('run_nutrition', {
    name: 'Mandelbrot Demo', files: [inWork('x.frac')], output_path: hostPath(out), preview: false,
  });
  assert.equal(gpu.gpu_required, true);
  assert.match(gpu.error, /^"Mandelbrot Demo" is a GPU-only nutrition/);
  const thrown = await call('run_nutrition', {
    name: 'Throwing Converter', files, output_path: hostPath(out), preview: false,
  });
  assert.equal(thrown.error, 'Conversion failed: the converter crashed');
  const noOutput = await call('run_nutrition', { name: 'Point Cloud Tiler', files, preview: false });
  assert.equal(noOutput.success, false);
  assert.match(noOutput.error, /output_path/);
  const missing = inWork(path.join('missing', 'deeper'));
  const unusable = await call('run_nutrition', {
    name: 'Point Cloud Tiler', files, output_path: missing, preview: false,
  });
  assert.equal(unusable.error, `Cannot use output_path "${missing}": ${missingPathMessage}`);
});

test('[tool behaviour] an exception that escapes a tool is an error result', async (t) => {
  if (!(await implemented(t, 'run_nutrition'))) return;
  const result = await client.callTool({
    name: 'run_nutrition', arguments: { name: 'Exploding Preview', files: [inWork('p.xyz')] },
  });
  assert.equal(result.isError, true);
  assert.match(result.content[0].text, /cannot predict the outputs/);
  assert.deepEqual(await client.ping(), {}, 'still serving');
});

test('[tool behaviour] ping and tools/list are answered during a slow conversion', async (t) => {
  if (!(await implemented(t, 'run_nutrition'))) return;
  const out = fs.mkdtempSync(path.join(work, 'slow-'));
  const order = [];
  const slow = call('run_nutrition', {
    name: 'Slow Converter', files: [inWork('s.slow')], output_path: hostPath(out), preview: false,
  }).then((r) => { order.push('slow'); return r; });
  await new Promise((resolve) => setTimeout(resolve, 200));  // let the conversion start
  await Promise.all([
    client.ping().then(() => order.push('ping')),
    client.listTools().then(() => order.push('list')),
  ]);
  const result = await slow;
  assert.equal(result.success, true);
  assert.deepEqual(order.slice(-1), ['slow']);
  assert.ok(fs.existsSync(path.join(out, 's.txt')));
});

test('[tool behaviour] a slow run reports growing progress to a client that asks, and only to it', async (t) => {
  if (!(await implemented(t, 'run_nutrition'))) return;
  const out = fs.mkdtempSync(path.join(work, 'progress-'));
  const args = { name: 'Slow Converter', files: [path.join(work, 'p.slow')], output_path: out, preview: false };
  const seen = [];
  let answered = false;
  const result = await client.callTool({ name: 'run_nutrition', arguments: args }, undefined, {
    onprogress: (p) => { assert.ok(!answered, 'progress after the result'); seen.push(p); },
  });
  answered = true;
  assert.ok(seen.length >= 2, JSON.stringify(seen));
  for (let i = 1; i < seen.length; ++i) assert.ok(seen[i].progress > seen[i - 1].progress, JSON.stringify(seen));
  assert.deepEqual({ total: seen[0].total, message: seen[0].message }, { total: 5, message: 'converting' });
  assert.deepEqual(JSON.parse(result.content[0].text).log, [], 'progress texts are not logged');

  // Without a token the wire carries no notification at all.
  const quiet = await connect();
  const notifications = [];
  quiet.fallbackNotificationHandler = async (n) => { notifications.push(n); };
  try {
    const plain = await call('run_nutrition', args, quiet);
    assert.equal(plain.success, true);
    assert.deepEqual(plain.log, []);
    assert.deepEqual(notifications, []);
  } finally {
    await quiet.close();
  }
});

test('a broken plug-in is renamed to .tolm~ and named on stderr', async (t) => {
  const plugins = path.join(tree, 'bin', 'plugins');
  fs.writeFileSync(path.join(plugins, 'broken.tolm'), 'not a library');
  // A real library without the export its name asks for: loaded, refused, freed, renamed.
  fs.copyFileSync(path.join(demoPlugins, 'dravo_demo_converters.tolm'), path.join(plugins, 'misnamed.tolm'));
  stderrText = '';
  const second = await connect();
  try {
    for (const name of ['broken', 'misnamed']) {
      assert.ok(fs.existsSync(path.join(plugins, `${name}.tolm~`)), name);
      assert.ok(!fs.existsSync(path.join(plugins, `${name}.tolm`)), name);
    }
    // stderr is read asynchronously: give the line a moment to arrive.
    for (let i = 0; i < 50 && !/broken\.tolm/.test(stderrText); ++i)
      await new Promise((resolve) => setTimeout(resolve, 20));
    assert.match(stderrText, /plug-in ".*broken\.tolm" cannot be loaded/);
    const { tools } = await second.listTools();
    assert.equal(tools.length, 4, 'the good plug-in still serves');
    const listed = await call('list_nutritions', {}, second);
    if (String(listed.error ?? '').includes('not available in this build')) {
      t.diagnostic('[tool behaviour] skipped: list_nutritions reporting "disabled"');
    } else {
      assert.deepEqual([...listed.disabled].sort(), ['broken.tolm~', 'misnamed.tolm~'], JSON.stringify(listed));
    }
  } finally {
    await second.close();
    for (const name of ['broken', 'misnamed']) fs.rmSync(path.join(plugins, `${name}.tolm~`), { force: true });
  }
});

test('[tool behaviour] the demo converters turn the XYZ sample into PLY', async (t) => {
  const demo = await connect(['--plugins', hostPath(demoPlugins)]);
  try {
    if (!(await implemented(t, 'list_nutritions', {}, demo))) return;
    const listed = await call('list_nutritions', { extension: 'xyz' }, demo);
    assert.deepEqual(listed.nutritions.map((n) => n.name), ['XYZ to PLY']);
    fs.copyFileSync(path.join(samples, 'cloud.xyz'), path.join(work, 'cloud.xyz'));
    const points = fs.readFileSync(path.join(work, 'cloud.xyz'), 'utf8').split('\n')
      .filter((line) => line && !line.startsWith('#')).length;
    const out = fs.mkdtempSync(path.join(work, 'ply-Größe-'));
    const run = await call('run_nutrition', {
      name: 'XYZ to PLY', files: [inWork('cloud.xyz')], output_path: hostPath(out), preview: false,
      arguments: 'Binary=false',
    }, demo);
    assert.equal(run.success, true, JSON.stringify(run));
    assert.deepEqual(run.output_files, [hostPath(path.join(out, 'cloud.ply'))]);
    const ply = fs.readFileSync(path.join(out, 'cloud.ply'), 'utf8');
    assert.match(ply, /^ply\nformat ascii 1\.0\n/);
    // The count is padded, patched at the end.
    assert.match(ply, new RegExp(`\\nelement vertex ${points} *\\n`));
    assert.equal(ply.split('end_header\n')[1].split('\n').filter(Boolean).length, points);
  } finally {
    await demo.close();
  }
});

test('raw stdio: batches only under revision 2025-03-26, answered as one array', stdioOnly, () => {
  const batch = JSON.stringify([
    { jsonrpc: '2.0', id: 2, method: 'ping' },
    { jsonrpc: '2.0', method: 'notifications/initialized' },
    { jsonrpc: '2.0', id: 3, method: 'tools/call', params: { name: 'list_nutritions', arguments: {} } },
  ]);
  for (const [version, shape] of [['2025-03-26', 'array'], ['2025-06-18', 'error']]) {
    const init = { jsonrpc: '2.0', id: 1, method: 'initialize', params: { protocolVersion: version, capabilities: {} } };
    const run = spawnSync(...hostCommand(['--nutritions', hostPath(catalogue)]), { input: `${JSON.stringify(init)}\n${batch}\n`, encoding: 'utf8' });
    const [, answer] = run.stdout.trim().split('\n').map((l) => JSON.parse(l));
    if (shape === 'array') assert.deepEqual(answer.map((a) => a.id).sort(), [2, 3], version);
    else assert.equal(answer.error.code, ErrorCode.InvalidRequest, version);
  }
});

test('raw stdio: only protocol on stdout and a clean exit at end of input', stdioOnly, async () => {
  const child = spawn(...hostCommand(['--nutritions', hostPath(catalogue)]), { stdio: ['pipe', 'pipe', 'pipe'] });
  let stdout = '';
  child.stdout.on('data', (chunk) => { stdout += chunk; });
  const lines = [
    { jsonrpc: '2.0', id: 1, method: 'tools/list' },
    { jsonrpc: '2.0', id: 2, method: 'initialize', params: { protocolVersion: '2024-11-05', capabilities: {} } },
    { jsonrpc: '2.0', method: 'notifications/initialized' },
    { jsonrpc: '2.0', id: 3, method: 'no/such/method' },
    { jsonrpc: '2.0', id: 4, method: 'ping' },
    { jsonrpc: '2.0', id: 5, method: 'tools/list' },
  ];
  child.stdin.end(lines.map((l) => JSON.stringify(l)).join('\n') + '\n{bad json\n');
  const code = await new Promise((resolve) => child.on('close', resolve));
  assert.equal(code, 0);
  assert.ok(!stdout.includes('\r'), 'no CR on stdout');
  const answers = stdout.trim().split('\n').map((l) => JSON.parse(l));
  const byId = Object.fromEntries(answers.map((a) => [String(a.id), a]));
  assert.equal(answers.length, 6);
  assert.equal(byId['1'].error.code, -32002);
  assert.equal(byId['2'].result.protocolVersion, '2024-11-05');
  assert.equal(byId['3'].error.code, ErrorCode.MethodNotFound);
  assert.deepEqual(byId['4'].result, {});
  assert.equal(byId.null.error.code, ErrorCode.ParseError);
  // tools/list carries the declarations byte for byte as the command line prints them.
  const printed = spawnSync(...hostCommand(['tools']), { encoding: 'utf8' }).stdout;
  assert.match(printed, /^\[\{.*\}\]\n$/s);
  const listLine = stdout.split('\n').find((line) => JSON.parse(line).id === 5);
  assert.ok(listLine.includes(`"result":{"tools":${printed.slice(0, -1)}}`), listLine);
});

test('a malformed catalogue stops the start with file and position', stdioOnly, () => {
  const bad = path.join(work, 'bad.json');
  fs.writeFileSync(bad, '{"nutritions": [{"name": "x", "slots": [{"name": "s", "type": "vector3", "value": 1}]}]}');
  const run = spawnSync(...hostCommand(['--nutritions', hostPath(bad)]), { input: '', encoding: 'utf8' });
  assert.equal(run.status, 2);
  assert.equal(run.stdout, '');
  assert.ok(run.stderr.includes(`${hostPath(bad)}: at nutritions[0].slots[0].value`), run.stderr);
});
