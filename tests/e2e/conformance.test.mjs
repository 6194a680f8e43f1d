// The official conformance scenarios, one test per revision and scenario,
// each against its own `dravo-host serve --http`, which must outlive it. The
// package itself judges each run against
// conformance/expected-failures-REVISION.yaml: a check failing or warning
// that is not listed there, or one listed there that passes, fails the test.
// Environment: DRAVO_HOST_PREFIX (an install tree), DRAVO_NUTRITIONS (JSON).
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFile } from 'node:child_process';
import path from 'node:path';
import { startHttpHost } from './support.mjs';

const { DRAVO_HOST_PREFIX: prefix, DRAVO_NUTRITIONS: nutritions } = process.env;
assert.ok(prefix && nutritions, 'set DRAVO_HOST_PREFIX and DRAVO_NUTRITIONS');
const conformance = path.join('node_modules', '@modelcontextprotocol', 'conformance', 'dist', 'index.js');

// What a tools-only host must pass at each revision. For 2025-11-25 these are
// the scenarios that need no test tools, prompts, resources or logging.
const scenarios = {
  '2026-07-28': ['server-stateless', 'tools-list', 'caching', 'http-header-validation',
    'dns-rebinding-protection', 'server-sse-multiple-streams'],
  '2025-11-25': ['server-initialize', 'server-session-lifecycle', 'ping', 'tools-list',
    'server-sse-multiple-streams', 'dns-rebinding-protection'],
};

// Run without blocking, so that the host's exit is seen while it runs.
function runScenario(url, revision, scenario) {
  const args = ['--import', './conformance/node20.mjs', conformance, 'server', '--url', url,
    '--scenario', scenario, '--spec-version', revision,
    '--expected-failures', path.join('conformance', `expected-failures-${revision}.yaml`)];
  return new Promise((resolve) => execFile(process.execPath, args, { maxBuffer: 16 << 20 },
    (error, stdout, stderr) => resolve({ status: error ? error.code : 0, output: stdout + stderr })));
}

for (const [revision, names] of Object.entries(scenarios)) {
  for (const scenario of names) {
    test(`${revision} ${scenario}`, async () => {
      const server = await startHttpHost(path.join(prefix, 'bin', 'dravo-host'), ['--nutritions', nutritions]);
      const run = await runScenario(server.url, revision, scenario);
      const exited = server.exited();
      server.stop();
      assert.equal(exited, null, `the host ended during ${scenario}`);
      // A scenario that does not apply at the revision would pass unrun.
      assert.doesNotMatch(run.output, /SKIPPED: scenario/, run.output);
      assert.match(run.output, /^Passed: \d+\/\d+/m, run.output);
      assert.equal(run.status, 0, run.output);
    });
  }
}
