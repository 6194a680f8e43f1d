// The official MCP conformance scenarios that apply to a tools-only server.
// Environment: DRAVO_HOST_PREFIX (an install tree).
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import path from 'node:path';
import { startHttpHost } from './support.mjs';

const prefix = process.env.DRAVO_HOST_PREFIX;
assert.ok(prefix, 'set DRAVO_HOST_PREFIX');
const conformance = path.join('node_modules', '@modelcontextprotocol', 'conformance', 'dist', 'index.js');

test('conformance scenarios pass against serve --http', async () => {
  const server = await startHttpHost(path.join(prefix, 'bin', 'dravo-host'));
  try {
    for (const scenario of ['server-initialize', 'ping', 'tools-list', 'dns-rebinding-protection']) {
      const run = spawnSync(process.execPath, [conformance, 'server', '--url', server.url, '--scenario', scenario],
        { encoding: 'utf8' });
      assert.equal(run.status, 0, `${scenario}:\n${run.stdout}${run.stderr}`);
      assert.match(run.stdout, / 0 failed, 0 warnings/, scenario);
    }
  } finally {
    server.stop();
  }
});
