import assert from 'node:assert/strict';
import { test } from 'node:test';

import { zipSync } from 'fflate';

import { fflateInflater, HAS_NATIVE_INFLATE, nativeInflater } from '../src/inflate.js';
import { WasmInflater } from '../src/wasmInflater.js';
import { readArchive, readLogFiles, ReportError } from '../src/report.js';
import { dailyTable } from '../src/stats.js';
import { crc32 } from '../src/zipCheck.js';
import { bytes, line } from './logText.js';
import { wasmModule } from './wasmModule.js';

const lines = (id, samples, from = 0) => samples.map((s, i) => line(id, from + i, s)).join('');

// Archives are read by the page's WebAssembly inflater, where WebAssembly
// cannot run by the browser's own inflater, by fflate where there is none.
const INFLATERS = [
  ['wasm', new WasmInflater(wasmModule)],
  ['native', nativeInflater],
  ['fflate', fflateInflater],
];

test('node has the inflater the browsers have', () => assert.ok(HAS_NATIVE_INFLATE));

test('an archive as the program packs it: logs of every monitor and the route trace', async () => {
  const archive = zipSync({
    '2021.04.19_gateway.log': bytes(lines('gateway', [2, 3, 'Time is out', 'Time is out', 'Time is out', 4])),
    '2021.04.19_rdp.log': bytes(lines('rdp', [30, 31, 32, 'Time is out', 'Time is out', 'Time is out'])),
    '2021.04.19_cpu.log': bytes(lines('cpu', ['', '12.5', '13', '14', '15', '16']) + 'broken line\r\n'),
    '2021.04.19_14.03.07_pathping': bytes('  1    0ms     0/ 100 =  0%  192.168.1.1\r\n  2  ---   100/ 100 =100%  10.0.0.1\r\n'),
  });
  const reports = [];
  for (const [, inflater] of INFLATERS) reports.push(await readArchive('2021.04.19_14.03.07.zip', archive, inflater));
  assert.deepEqual(reports[0], reports[1], 'both inflaters read the same');
  assert.deepEqual(reports[0], reports[2], 'all inflaters read the same');
  const [report] = reports;
  assert.deepEqual(report.periods[0], [[4, 5].map((s) => report.first + s)].map(([a, b]) => [a, b]));
  assert.deepEqual(report.periods[2], [], 'the gateway problem hides the server problem');
  assert.equal(report.badCount, 1);
  assert.deepEqual(report.badLines[0], { file: '2021.04.19_cpu.log', line: 7, text: 'broken line' });
  assert.match(report.trace[0].text, /100\/ 100 =100%/);
  assert.deepEqual(report.series[2].targets, [{ descr: 'c1.rdp.example', ip: '203.0.113.40' }]);

  const [day] = dailyTable(report);
  const gateway = day.rows.find((r) => r.monitor.id === 'gateway');
  assert.deepEqual(
    [day.monitored, gateway.samples, gateway.failed, gateway.longestFailures, gateway.notifiedSeconds, gateway.median],
    [6, 6, 3, 3, 2, 3],
  );
  const cpu = day.rows.find((r) => r.monitor.id === 'cpu');
  assert.deepEqual([cpu.samples, cpu.median, cpu.p95, cpu.overPercent], [6, 14, 16, 0]);
});

test('log files picked from a logs folder are read like an archive', async () => {
  const report = await readLogFiles([
    { name: '2021.04.20_ram.log', bytes: bytes(lines('ram', ['99.5', '99.6'], 86400)) },
    { name: '2021.04.19_ram.log', bytes: bytes(lines('ram', ['60'], 86399)) },
  ]);
  assert.deepEqual([...report.series[4].values], [60, 99.5, 99.6]);
  assert.equal(dailyTable(report).length, 2);

  // Each file is read with tables of its own; the monitor's tables join them.
  const joined = await readLogFiles([
    { name: '2021.04.19_gateway.log', bytes: bytes(lines('gateway', ['Time is out', 'Host is down'])) },
    { name: '2021.04.20_gateway.log', bytes: bytes(lines('gateway', ['Host is down', { text: 'Time is out', ip: '192.168.1.2' }], 86400)) },
  ]);
  const gateway = joined.series[0];
  assert.deepEqual([...gateway.textIds].map((i) => gateway.texts[i]), ['Time is out', 'Host is down', 'Host is down', 'Time is out']);
  assert.deepEqual([...gateway.targetIds].map((i) => gateway.targets[i].ip), ['192.168.1.1', '192.168.1.1', '192.168.1.1', '192.168.1.2']);

  // Cycles 4 s apart (unanswered pings) cover their 4 s; a pause covers nothing.
  const slow = await readLogFiles([
    { name: '2021.04.19_cpu.log', bytes: bytes([0, 4, 8, 100].map((s) => line('cpu', s, '5')).join('')) },
  ]);
  assert.equal(dailyTable(slow)[0].monitored, 10);
});

// The archive with a 32-bit field of its one entry's central header changed.
function withCentralField(archive, offset, change) {
  const copy = archive.slice();
  const view = new DataView(copy.buffer);
  const central = view.getUint32(copy.length - 22 + 16, true);
  view.setUint32(central + offset, change(view.getUint32(central + offset, true)), true);
  return copy;
}

test('a damaged or foreign file gets a message that says what it is', async () => {
  const log = bytes(lines('cpu', Array.from({ length: 2000 }, (_, i) => String(i * 1.37))));
  const good = zipSync({ '2021.04.19_cpu.log': log });
  const cut = good.slice(0, good.length - 30);
  const damagedEntry = good.slice();
  damagedEntry.fill(0xff, 100, 120); // inside the compressed data of the one entry
  const stored = zipSync({ '2021.04.19_cpu.log': [log, { level: 0 }] });
  const damagedStored = stored.slice();
  damagedStored[200] ^= 1;
  const entryDamage = /bad.zip is damaged: its entry 2021.04.19_cpu.log (cannot be unpacked|does not match its checksum)/;
  const damaged = [
    ['inside its packed data', damagedEntry, entryDamage],
    ['a stored entry', damagedStored, /bad.zip is damaged: its entry 2021.04.19_cpu.log does not match its checksum/],
    ['its checksum', withCentralField(good, 16, (crc) => crc ^ 0x10), entryDamage],
    ['its size', withCentralField(good, 24, (size) => size + 1), /bad.zip is damaged: its entry 2021.04.19_cpu.log cannot be unpacked/],
    ['a size beyond any packing', withCentralField(good, 24, () => 0x7fffffff), /does not fit its packed data/],
  ];
  const cases = [
    ['notes.txt', bytes('hello'), /is not a zip archive/],
    ['cut.zip', cut, /is damaged: its table of contents cannot be read/],
    ['photos.zip', zipSync({ 'a.jpg': new Uint8Array(4), 'b.log': bytes('x') }), /is not an Orvella report: none of its 2 entries/],
    ['empty.zip', zipSync({}), /is empty/],
  ];
  assert.equal(crc32(bytes('123456789')), 0xcbf43926);
  for (const [name, inflater] of INFLATERS) {
    for (const [file, data, message] of cases) {
      await assert.rejects(readArchive(file, data, inflater), (e) => e instanceof ReportError && message.test(e.message), file);
    }
    for (const [what, data, message] of damaged) {
      await assert.rejects(readArchive('bad.zip', data, inflater), (e) => e instanceof ReportError && message.test(e.message), `${name}: ${what}`);
    }
  }
});
