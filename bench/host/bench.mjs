// Host benchmarks in one run: tools/call round trips over stdio beside a raw
// echo of the same bytes through cat, start-up to the initialize answer, and
// resident memory when idle.
// usage: node bench.mjs DRAVO_HOST CATALOGUE.json [CALLS]
import { spawn } from 'node:child_process';
import fs from 'node:fs';

const [host, catalogue, callsText = '1000'] = process.argv.slice(2);
const calls = Number(callsText);
const initialize = JSON.stringify({
  jsonrpc: '2.0', id: 0, method: 'initialize',
  params: { protocolVersion: '2025-06-18', capabilities: {}, clientInfo: { name: 'bench', version: '1' } },
});
const request = (id) => JSON.stringify({
  jsonrpc: '2.0', id, method: 'tools/call', params: { name: 'list_nutritions', arguments: {} },
});

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
  const stop = () => new Promise((resolve) => { child.on('close', resolve); child.stdin.end(); });
  return { child, send, stop };
}

async function roundTrips(command, args, handshake) {
  const p = start(command, args);
  if (handshake) await p.send(initialize);
  for (let i = 1; i <= 50; ++i) await p.send(request(i));  // warm up
  const begin = process.hrtime.bigint();
  for (let i = 1; i <= calls; ++i) await p.send(request(i));
  const ms = Number(process.hrtime.bigint() - begin) / 1e6;
  await p.stop();
  return ms;
}

async function startUp(command, args) {
  const times = [];
  for (let i = 0; i < 21; ++i) {
    const begin = process.hrtime.bigint();
    const p = start(command, args);
    await p.send(initialize);
    times.push(Number(process.hrtime.bigint() - begin) / 1e6);
    await p.stop();
  }
  times.sort((a, b) => a - b);
  return times[10];
}

async function idleRss() {
  const p = start(host, ['--nutritions', catalogue]);
  await p.send(initialize);
  await p.send(request(1));
  await new Promise((resolve) => setTimeout(resolve, 300));
  const status = fs.readFileSync(`/proc/${p.child.pid}/status`, 'utf8');
  await p.stop();
  return Number(/VmRSS:\s+(\d+)/.exec(status)[1]) / 1024;
}

const hostArgs = ['--nutritions', catalogue];
const hostMs = await roundTrips(host, hostArgs, true);
const catMs = await roundTrips('cat', [], false);
const startHost = await startUp(host, hostArgs);
const startCat = await startUp('cat', []);
const rss = await idleRss();
const row = (what, value, target) => console.log(`${what.padEnd(46)} ${value.padStart(12)}   ${target}`);
row(`round trip, ${calls} x tools/call list_nutritions`, `${hostMs.toFixed(1)} ms`, '');
row(`raw echo of the same bytes through cat`, `${catMs.toFixed(1)} ms`, '');
row('  ratio host / cat', `${(hostMs / catMs).toFixed(2)} x`, 'target <= 2 x');
row('start to initialize answer (median of 21)', `${startHost.toFixed(1)} ms`, 'target < 20 ms');
row('  the same for cat (spawn cost of the driver)', `${startCat.toFixed(1)} ms`, '');
row('  host\'s own share (host - cat)', `${(startHost - startCat).toFixed(1)} ms`, 'target < 20 ms');
row('resident memory when idle', `${rss.toFixed(1)} MB`, 'target < 10 MB');
