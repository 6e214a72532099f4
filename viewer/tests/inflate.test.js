import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { test } from 'node:test';
import { constants, deflateRawSync } from 'node:zlib';

import { fflateInflater, inflateEntry, nativeInflater } from '../src/inflate.js';
import { ReportError } from '../src/reportError.js';
import { archiveEntries } from '../src/report.js';
import { WasmInflater } from '../src/wasmInflater.js';
import { crc32 } from '../src/zipCheck.js';
import { bytes, line } from './logText.js';
import { wasmModule } from './wasmModule.js';

const wasm = new WasmInflater(wasmModule);
const INFLATERS = [wasm, nativeInflater, fflateInflater];

// A day's log of a pinger, some thousands of lines: several Deflate blocks.
const log = bytes(Array.from({ length: 6000 }, (_, s) => line('gateway', s, s % 97 ? 3 + (s % 5) : 'Time is out')).join(''));

// The packed bytes as one archive entry of their own.
function entryOf(original, packed, changes = {}) {
  return { name: 'e.log', method: 8, encrypted: false, crc: crc32(original), compressedSize: packed.length, size: original.length, data: 0, ...changes };
}

test('Deflate from zlib: stored, fixed and dynamic blocks inflate to the original in every inflater', async () => {
  const cases = [
    ['stored blocks', log, { level: 0 }],
    ['fixed Huffman codes', log, { strategy: constants.Z_FIXED }],
    ['dynamic Huffman codes', log, { level: 9 }],
    ['an empty file', new Uint8Array(0), {}],
  ];
  for (const [what, original, options] of cases) {
    const packed = deflateRawSync(original, options);
    for (const inflater of INFLATERS) {
      const out = await inflateEntry('a.zip', packed, entryOf(original, packed), inflater);
      assert.ok(Buffer.from(out).equals(Buffer.from(original)), `${inflater.name}: ${what}`);
    }
  }
  // The WebAssembly memory is reused: a smaller entry after a bigger one.
  const small = bytes('09.12.2026 10:00:00 - 5\r\n');
  const packed = deflateRawSync(small);
  assert.equal(new TextDecoder().decode(await inflateEntry('a.zip', packed, entryOf(small, packed), wasm)), '09.12.2026 10:00:00 - 5\r\n');
});

test('damaged Deflate data is refused, never inflated wrong', async () => {
  const packed = deflateRawSync(log);
  const flipped = packed.slice();
  flipped[packed.length >> 1] ^= 0x40;
  const damaged = [
    ['a wrong checksum', packed, { crc: crc32(log) ^ 1 }, /does not match its checksum|cannot be unpacked/],
    ['a byte more than the stream holds', packed, { size: log.length + 1 }, /cannot be unpacked/],
    ['a byte less than the stream holds', packed, { size: log.length - 1 }, /cannot be unpacked/],
    ['a cut stream', packed.subarray(0, packed.length - 9), {}, /cannot be unpacked/],
    ['a flipped bit', flipped, {}, /does not match its checksum|cannot be unpacked/],
  ];
  for (const [what, data, changes, message] of damaged) {
    for (const inflater of INFLATERS) {
      await assert.rejects(
        inflateEntry('bad.zip', data, entryOf(log, data, changes), inflater),
        (e) => e instanceof ReportError && /bad.zip is damaged: its entry e.log /.test(e.message) && message.test(e.message),
        `${inflater.name}: ${what}`,
      );
    }
  }
});

test('an archive packed by the zip tool, streamed with data descriptors', async (t) => {
  const folder = mkdtempSync(join(tmpdir(), 'orvella-inflate-'));
  t.after(() => rmSync(folder, { recursive: true, force: true }));
  writeFileSync(join(folder, '2021.04.19_gateway.log'), log);
  const zip = spawnSync('zip', ['-q', '-9', '-', '2021.04.19_gateway.log'], { cwd: folder, maxBuffer: 1 << 24 });
  if (zip.error || zip.status !== 0) return t.skip(`zip is missing (scripts/install-deps installs it): ${zip.error ?? zip.stderr}`);
  const [entry] = archiveEntries('a.zip', new Uint8Array(zip.stdout), wasm);
  assert.ok(await entry.read((out) => Buffer.from(out).equals(readFileSync(join(folder, '2021.04.19_gateway.log')))));
});
