// Host benchmarks in one run. Round trips of tools/call list_nutritions are
// timed in interleaved blocks against a tools-only server written with the
// official SDK that answers the same result object, and against cat echoing
// the host's own response bytes; then the large-input paths, memory and exit,
// ping latency behind a backlog of slow real runs, and peak memory while a
// client leaves 200,000 answers unread; the CPU the host spends per call and
// when idle, both eras over stdio, and how soon a cancelled conversion lets
// the next one run.
// usage: node bench.mjs DRAVO_HOST EXAMPLE_CATALOGUE.json SAMPLES_DIR
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const [host, example, samples] = process.argv.slice(2);
const here = path.dirname(fileURLToPath(import.meta.url));
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'dravo-bench-'));
const initialize = JSON.stringify({
  jsonrpc: '2.0', id: 0, method: 'initialize',
  params: { protocolVersion: '2025-06-18', capabilities: {}, clientInfo: { name: 'bench', version: '1' } },
});
const initialized = JSON.stringify({ jsonrpc: '2.0', method: 'notifications/initialized' });
const call = (id, name, args = {}) => JSON.stringify({
  jsonrpc: '2.0', id, method: 'tools/call', params: { name, arguments: args },
});

// A catalogue of count nutritions, the example's entries renamed in turn.
function catalogue(count) {
  const entries = JSON.parse(fs.readFileSync(example, 'utf8')).nutritions;
  const nutritions = Array.from({ length: count }, (_, i) =>
    ({ ...entries[i % entries.length], name: `${entries[i % entries.length].name} ${i}` }));
  const file = path.join(scratch, `catalogue-${count}.json`);
  fs.writeFileSync(file, JSON.stringify({ nutritions }));
  return file;
}

// A child with a line reader: send(line) resolves with the next line out,
// decoded, as any client must before it parses it. Only each new chunk is
// searched, so the reader costs little beside the servers it times.
function start(command, args) {
  const child = spawn(command, args, { stdio: ['pipe', 'pipe', 'ignore'] });
  let pieces = [];
  const waiting = [];
  child.stdout.on('data', (chunk) => {
    let from = 0;
    let end;
    while ((end = chunk.indexOf(10, from)) >= 0) {
      pieces.push(chunk.subarray(from, end));
      const line = pieces.length === 1 ? pieces[0] : Buffer.concat(pieces);
      pieces = [];
      from = end + 1;
      waiting.shift()?.(line.toString());
    }
    if (from < chunk.length) pieces.push(chunk.subarray(from));
  });
  // A Buffer goes out as it is, already ending in a newline.
  const send = (line) => new Promise((resolve) => {
    waiting.push(resolve);
    child.stdin.write(typeof line === 'string' ? line + '\n' : line);
  });
  const tell = (line) => child.stdin.write(line + '\n');
  const stop = () => new Promise((resolve) => { child.on('close', resolve); child.stdin.end(); });
  return { child, send, tell, stop };
}

async function startServer(command, args) {
  const p = start(command, args);
  await p.send(initialize);
  p.tell(initialized);
  return p;
}

const status = (pid, field) =>
  Number(new RegExp(`${field}:\\s+(\\d+)`).exec(fs.readFileSync(`/proc/${pid}/status`, 'utf8'))[1]) / 1024;

async function timed(times, step) {
  const begin = process.hrtime.bigint();
  for (let i = 0; i < times; ++i) await step(i);
  return Number(process.hrtime.bigint() - begin) / 1e6;
}

// ms per call of host, SDK server and cat, each timed in turn per block.
async function roundTrips(nutritions, blocks, perBlock) {
  const hostProcess = await startServer(host, ['--nutritions', catalogue(nutritions)]);
  const line = await hostProcess.send(call(1, 'list_nutritions'));
  const resultFile = path.join(scratch, `result-${nutritions}.json`);
  fs.writeFileSync(resultFile, JSON.stringify(JSON.parse(line).result));
  const sdk = await startServer(process.execPath, [path.join(here, 'sdk_server.mjs'), resultFile]);
  const cat = start('cat', []);
  const echoed = Buffer.from(`${line}\n`);
  const peers = [
    { p: hostProcess, step: (i) => hostProcess.send(call(i + 2, 'list_nutritions')) },
    { p: sdk, step: (i) => sdk.send(call(i + 2, 'list_nutritions')) },
    { p: cat, step: () => cat.send(echoed) },
  ];
  for (const peer of peers) await timed(20, peer.step);  // warm up
  const total = peers.map(() => 0);
  for (let b = 0; b < blocks; ++b)
    for (let k = 0; k < peers.length; ++k) total[k] += await timed(perBlock, peers[k].step);
  for (const peer of peers) await peer.p.stop();
  const [h, s, c] = total.map((ms) => ms / (blocks * perBlock));
  return { h, s, c, bytes: Buffer.byteLength(line) };
}

async function perCall(hostProcess, times, request) {
  await hostProcess.send(request);  // warm up
  return (await timed(times, () => hostProcess.send(request))) / times;
}

// Answers matched by id, for requests that overtake each other;
// notifications go to onNotification.
function startById(command, args, onNotification = () => {}) {
  const child = spawn(command, args, { stdio: ['pipe', 'pipe', 'ignore'] });
  let buffer = '';
  const waiting = new Map();
  child.stdout.setEncoding('utf8');
  child.stdout.on('data', (chunk) => {
    buffer += chunk;
    let end;
    while ((end = buffer.indexOf('\n')) >= 0) {
      const message = JSON.parse(buffer.slice(0, end));
      buffer = buffer.slice(end + 1);
      if (!('id' in message)) onNotification(message);
      waiting.get(message.id)?.(message);
      waiting.delete(message.id);
    }
  });
  const send = (message) => new Promise((resolve) => {
    waiting.set(message.id, resolve);
    child.stdin.write(JSON.stringify(message) + '\n');
  });
  return { child, send };
}

const percentile = (sorted, p) => sorted[Math.min(sorted.length - 1, Math.floor(sorted.length * p))];

// Ping round trips while `runs` two-second real runs of the example's Slow
// Converter wait, one after another, for the module's lock.
async function pingBehindSlowRuns(runs, pings) {
  const out = fs.mkdtempSync(path.join(scratch, 'slow-'));
  const p = startById(host, ['--nutritions', example]);
  await p.send(JSON.parse(initialize));
  for (let i = 0; i < runs; ++i) {
    p.send({
      jsonrpc: '2.0', id: `run${i}`, method: 'tools/call',
      params: { name: 'run_nutrition', arguments: { name: 'Slow Converter', files: [`${i}.slow`], output_path: out, preview: false } },
    });
  }
  await new Promise((resolve) => setTimeout(resolve, 200));  // all of them read and waiting
  const times = [];
  for (let i = 0; i < pings; ++i) {
    const begin = process.hrtime.bigint();
    await p.send({ jsonrpc: '2.0', id: i + 1, method: 'ping' });
    times.push(Number(process.hrtime.bigint() - begin) / 1e6);
  }
  p.child.kill('SIGKILL');
  times.sort((a, b) => a - b);
  return { p50: percentile(times, 0.5), p99: percentile(times, 0.99) };
}

// Peak memory while `count` pings are written and nothing is read for 4 s,
// then the number of answer lines once the client reads.
async function unreadPings(count) {
  const child = spawn(host, ['--nutritions', example], { stdio: ['pipe', 'pipe', 'ignore'] });
  child.stdout.pause();
  const ping = (id) => `{"jsonrpc":"2.0","id":${id},"method":"ping"}\n`;
  child.stdin.write(initialize + '\n');
  for (let id = 1; id <= count; id += 1000) {
    let block = '';
    for (let i = id; i < Math.min(id + 1000, count + 1); ++i) block += ping(i);
    child.stdin.write(block);
  }
  await new Promise((resolve) => setTimeout(resolve, 4000));
  const peak = status(child.pid, 'VmHWM');
  let lines = 0;
  child.stdout.on('data', (chunk) => { for (const c of chunk) if (c === 10) ++lines; });
  child.stdout.resume();  // paused on purpose above, so a listener alone does not restart it
  child.stdin.end();
  await new Promise((resolve) => child.on('close', resolve));
  return { peak, lines };
}

// CPU time a process has used so far, user and system, in ms.
const cpuMs = (pid) => {
  const fields = fs.readFileSync(`/proc/${pid}/stat`, 'utf8').split(') ')[1].split(' ');
  return (Number(fields[11]) + Number(fields[12])) * 10;  // clock ticks of 10 ms
};
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// CPU ms per 1,000 list calls of 10 nutritions, back to back or `gapMs` apart.
async function cpuPerThousand(p, gapMs) {
  const before = cpuMs(p.child.pid);
  for (let i = 0; i < 1000; ++i) {
    await p.send(call(i + 2, 'list_nutritions'));
    if (gapMs) await sleep(gapMs);
  }
  return cpuMs(p.child.pid) - before;
}

async function cpuRows() {
  const hostProcess = await startServer(host, ['--nutritions', small]);
  const line = await hostProcess.send(call(1, 'list_nutritions'));
  const resultFile = path.join(scratch, 'result-cpu.json');
  fs.writeFileSync(resultFile, JSON.stringify(JSON.parse(line).result));
  const sdk = await startServer(process.execPath, [path.join(here, 'sdk_server.mjs'), resultFile]);
  for (const gap of [0, 5]) {
    const h = await cpuPerThousand(hostProcess, gap), s = await cpuPerThousand(sdk, gap);
    row(`CPU per 1,000 calls, ${gap ? `${gap} ms apart` : 'back to back'}: host / SDK server`,
      `${h} / ${s} ms`, 'target: host less');
  }
  await sdk.stop();
  const before = cpuMs(hostProcess.child.pid);
  await sleep(10000);
  row('CPU of an idle host over 10 s', `${cpuMs(hostProcess.child.pid) - before} ms`, 'target < 10 ms');
  await hostProcess.stop();
}

// 2025 (after initialize) against 2026 (envelope in every request), ms per call.
async function eraRows() {
  const envelope = {
    'io.modelcontextprotocol/protocolVersion': '2026-07-28',
    'io.modelcontextprotocol/clientCapabilities': {},
  };
  const modern = (id) => JSON.stringify({
    jsonrpc: '2.0', id, method: 'tools/call', params: { name: 'list_nutritions', arguments: {}, _meta: envelope },
  });
  const legacy = await startServer(host, ['--nutritions', small]);
  const stateless = start(host, ['--nutritions', small]);
  const times = [0, 0];
  for (let block = 0; block < 10; ++block) {
    times[0] += await timed(100, (i) => legacy.send(call(i + 2, 'list_nutritions')));
    times[1] += await timed(100, (i) => stateless.send(modern(i + 2)));
  }
  row('10 nutritions over stdio: a 2025 call / a 2026 call',
    `${(times[0] / 1000).toFixed(3)} / ${(times[1] / 1000).toFixed(3)} ms`, 'target: 2026 no slower');
  await legacy.stop();
  await stateless.stop();
}

// A LAS of `count` points: the sample's header and its records over and over.
function writeLargeLas(target, count) {
  const sample = fs.readFileSync(path.join(samples, 'las_format0.las'));
  const offset = sample.readUInt32LE(96), length = sample.readUInt16LE(105);
  const records = sample.subarray(offset, offset + sample.readUInt32LE(107) * length);
  const header = Buffer.from(sample.subarray(0, offset));
  header.writeUInt32LE(count, 107);
  const block = Buffer.concat(Array(4096).fill(records));
  const fd = fs.openSync(target, 'w');
  fs.writeSync(fd, header);
  for (let left = count * length; left > 0; left -= block.length)
    fs.writeSync(fd, block, 0, Math.min(left, block.length));
  fs.closeSync(fd);
}

// From the cancel of a 10-million-point conversion to the answer of the next
// real run, which waits for the cancelled one to let go of the module's lock.
async function cancelToNextRun() {
  const large = path.join(scratch, 'large.las'), small = path.join(scratch, 'small.las');
  writeLargeLas(large, 10_000_000);
  fs.copyFileSync(path.join(samples, 'las_format0.las'), small);
  const out = fs.mkdtempSync(path.join(scratch, 'cancel-'));
  let reported;
  const firstReport = new Promise((resolve) => { reported = resolve; });
  const p = startById(host, [], (message) => message.method === 'notifications/progress' && reported());
  await p.send(JSON.parse(initialize));
  const run = (id, file, meta = {}) => p.send({
    jsonrpc: '2.0', id, method: 'tools/call', params: {
      name: 'run_nutrition', _meta: meta,
      arguments: { name: 'LAS to PLY/XYZ', files: [file], output_path: out, arguments: 'OutputFormat=xyz', preview: false },
    },
  });
  run('large', large, { progressToken: 'large' });
  await firstReport;
  const begin = process.hrtime.bigint();
  p.child.stdin.write(JSON.stringify({ jsonrpc: '2.0', method: 'notifications/cancelled', params: { requestId: 'large' } }) + '\n');
  const next = await run('small', small);
  const ms = Number(process.hrtime.bigint() - begin) / 1e6;
  p.child.kill('SIGKILL');
  row('cancel of a 10 M point LAS run to the next run answered', `${ms.toFixed(1)} ms`,
    next.result?.structuredContent?.success ? 'target < 100 ms' : 'the next run FAILED');
  fs.rmSync(large);
}

const row = (what, value, target = '') => console.log(`${what.padEnd(58)} ${value.padStart(12)}   ${target}`);
const small = catalogue(10);

const big = await roundTrips(1000, 10, 50);
row(`1,000 nutritions: tools/call list_nutritions (${big.bytes} B line)`, `${big.h.toFixed(3)} ms`);
row('  SDK server answering the same result', `${big.s.toFixed(3)} ms`);
row('  cat echoing the same response bytes', `${big.c.toFixed(3)} ms`);
row('  ratio SDK / host', `${(big.s / big.h).toFixed(2)} x`, 'target >= 2 x');
row('  ratio host / cat', `${(big.h / big.c).toFixed(2)} x`, 'target <= 2.5 x');
const few = await roundTrips(10, 10, 200);
row(`10 nutritions: tools/call list_nutritions (${few.bytes} B line)`, `${few.h.toFixed(3)} ms`);
row('  SDK server answering the same result', `${few.s.toFixed(3)} ms`);
row('  ratio SDK / host', `${(few.s / few.h).toFixed(2)} x`, 'target >= 2 x');

{
  const p = await startServer(host, ['--nutritions', small]);
  const files = Array.from({ length: 50000 }, (_, i) => `/no/such/dir/file${i}.las`);
  const name = JSON.parse(fs.readFileSync(small, 'utf8')).nutritions[0].name;
  const analyse = await perCall(p, 5, call(1, 'analyse_nutrition', { name, files }));
  row('analyse_nutrition over 50,000 files, per call', `${analyse.toFixed(1)} ms`, 'target < 150 ms');
  const keys = Object.fromEntries(Array.from({ length: 30000 }, (_, i) => [`key${i}`, i]));
  const wide = await perCall(p, 5, call(1, 'list_nutritions', keys));
  row('tools/call with a 30,000-key arguments object', `${wide.toFixed(1)} ms`, 'target < 30 ms');
  await p.stop();
}
{
  const p = await startServer(host, ['--nutritions', catalogue(50000)]);
  const before = status(p.child.pid, 'VmRSS');
  fs.writeFileSync(`/proc/${p.child.pid}/clear_refs`, '5');  // peak := current
  const line = await p.send(call(1, 'list_nutritions'));
  const added = status(p.child.pid, 'VmHWM') - before;
  const mb = Buffer.byteLength(line) / 1048576;
  row(`50,000 nutritions: memory a listing adds (${mb.toFixed(1)} MB line)`, `${added.toFixed(1)} MB`);
  row('  ratio added memory / answer bytes', `${(added / mb).toFixed(2)} x`, 'target <= 4 x');
  const begin = process.hrtime.bigint();
  await p.stop();
  row('  exit after end of input', `${(Number(process.hrtime.bigint() - begin) / 1e6).toFixed(1)} ms`,
    'target < 50 ms');
}
{
  const p = await startServer(host, ['--nutritions', catalogue(1000)]);
  await p.send(call(1, 'list_nutritions'));
  await new Promise((resolve) => setTimeout(resolve, 300));
  row('1,000 nutritions: resident memory when idle', `${status(p.child.pid, 'VmRSS').toFixed(1)} MB`,
    'target < 8 MB');
  await p.stop();
}
{
  const behind = await pingBehindSlowRuns(20, 500);
  row('ping behind 20 slow real runs, p50', `${behind.p50.toFixed(2)} ms`);
  row('ping behind 20 slow real runs, p99', `${behind.p99.toFixed(2)} ms`, 'target < 5 ms');
  const unread = await unreadPings(200000);
  row('200,000 pings unread for 4 s: peak resident memory', `${unread.peak.toFixed(1)} MB`,
    'target < 32 MB');
  row('  answer lines once the client reads', `${unread.lines}`, `want ${200000 + 1}`);
}
await cpuRows();
await eraRows();
if (samples) await cancelToNextRun();
row('machine load (1, 5, 15 min)', os.loadavg().map((l) => l.toFixed(2)).join(' '));
fs.rmSync(scratch, { recursive: true, force: true });
