// The official conformance suite against `dravo-host serve --http` with the
// conformance fixture plug-in loaded: each revision's whole requirement set,
// and the scenarios outside those sets, each run against its own host, which
// must outlive it. The package itself judges each run against
// conformance/expected-failures-REVISION.yaml: a check failing or warning
// that is not listed there, or one listed there that passes, fails the test.
// Environment: DRAVO_HOST_PREFIX (an install tree), DRAVO_NUTRITIONS (JSON),
// DRAVO_CONFORMANCE_PLUGINS (the folder of the fixture plug-in).
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFile } from 'node:child_process';
import path from 'node:path';
import { startHttpHost } from './support.mjs';

const { DRAVO_HOST_PREFIX: prefix, DRAVO_NUTRITIONS: nutritions,
  DRAVO_CONFORMANCE_PLUGINS: plugins } = process.env;
assert.ok(prefix && nutritions && plugins,
  'set DRAVO_HOST_PREFIX, DRAVO_NUTRITIONS and DRAVO_CONFORMANCE_PLUGINS');
const conformance = path.join('node_modules', '@modelcontextprotocol', 'conformance', 'dist', 'index.js');

// Each revision's requirement set, then what the sets leave out.
const runs = [
  ['2026-07-28', '--requirements'], ['2025-11-25', '--requirements'],
  ['2026-07-28', 'http-header-validation'], ['2025-11-25', 'server-session-lifecycle'],
];
// The tasks extension's scenarios: an extension is on no revision's timeline,
// so they are forced, and a short budget makes the fixture's one-second calls tasks.
const tasks = { expected: 'tasks', serve: ['--task-budget', '300'], more: ['--force'] };
for (const scenario of ['tasks-lifecycle', 'tasks-capability-negotiation', 'tasks-wire-fields',
  'tasks-request-state-removal', 'tasks-mrtr-input', 'tasks-request-headers',
  'tasks-dispatch-and-envelope', 'tasks-status-notifications', 'tasks-required-task-error',
  'tasks-mrtr-composition'])
  runs.push(['2026-07-28', scenario, tasks]);

// Run without blocking, so that the host's exit is seen while it runs.
function runSuite(url, revision, what, { expected = revision, more = [] } = {}) {
  // A single scenario runs at the revision that introduced it (the label in
  // `runs` says which); the test below fails should it not apply and skip.
  const selection = what === '--requirements' ? ['--requirements', revision]
    : ['--scenario', what, ...more];
  const args = ['--import', './conformance/node20.mjs', conformance, 'server', '--url', url,
    ...selection,
    '--expected-failures', path.join('conformance', `expected-failures-${expected}.yaml`)];
  return new Promise((resolve) => execFile(process.execPath, args, { maxBuffer: 16 << 20 },
    (error, stdout, stderr) => resolve({ status: error ? error.code : 0, output: stdout + stderr })));
}

for (const [revision, what, options] of runs) {
  test(`${revision} ${what}`, async () => {
    const server = await startHttpHost(path.join(prefix, 'bin', 'dravo-host'),
      ['--nutritions', nutritions, '--plugins', plugins, ...(options?.serve ?? [])]);
    const run = await runSuite(server.url, revision, what, options);
    const exited = server.exited();
    server.stop();
    assert.equal(exited, null, `the host ended during ${what}`);
    // A scenario that does not apply at the revision would pass unrun.
    assert.doesNotMatch(run.output, /SKIPPED: scenario/, run.output);
    assert.match(run.output, /^(Passed: \d+\/\d+|Total: \d+ passed)/m, run.output);
    assert.equal(run.status, 0, run.output);
  });
}
