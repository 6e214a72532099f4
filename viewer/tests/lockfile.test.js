import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { test } from 'node:test';

// The lockfile pins versions and hashes by package name and names no server.
test('package-lock.json pins every package and records no download address', () => {
  const text = readFileSync(new URL('../package-lock.json', import.meta.url), 'utf8');
  assert.doesNotMatch(text, /"resolved"|:\/\//);
  const { packages } = JSON.parse(text);
  for (const [path, entry] of Object.entries(packages)) {
    if (path === '') continue;
    assert.ok(entry.version && entry.integrity?.startsWith('sha512-'), path);
  }
  for (const name of ['uplot', 'fflate', 'esbuild']) assert.ok(packages[`node_modules/${name}`], name);
});
