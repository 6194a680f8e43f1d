// Host benchmarks in one run. Round trips of tools/call list_nutritions are
// timed in interleaved blocks against a tools-only server written with the
// official SDK that answers the same result object, and against cat echoing
// the host's own response bytes; then the large-input paths, memory and exit.
// usage: node bench.mjs DRAVO_HOST EXAMPLE_CATALOGUE.json
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const [host, example] = process.argv.slice(2);
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

// A child with a line reader: send(line) resolves with the next line out.
function start(command, args) {
  const child = spawn(command, args, { stdio: ['pipe', 'pipe', 'ignore'] });
  let buffer = '';
  const waiting = [];
  child.stdout.setEncoding('utf8');
  child.stdout.on('data', (chunk) => {
    buffer += chunk;
    let end;
    while ((end = buffer.indexOf('\n')) >= 0) {
      const line = buffer.slice(0, end);
      buffer = buffer.slice(end + 1);
      waiting.shift()?.(line);
    }
  });
  const send = (line) => new Promise((resolve) => { waiting.push(resolve); child.stdin.write(line + '\n'); });
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
  const peers = [
    { p: hostProcess, step: (i) => hostProcess.send(call(i + 2, 'list_nutritions')) },
    { p: sdk, step: (i) => sdk.send(call(i + 2, 'list_nutritions')) },
    { p: cat, step: () => cat.send(line) },
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
row('machine load (1, 5, 15 min)', os.loadavg().map((l) => l.toFixed(2)).join(' '));
fs.rmSync(scratch, { recursive: true, force: true });
