import assert from 'node:assert/strict';
import { test } from 'node:test';

import { zipSync } from 'fflate';

import { readArchive, readLogFiles, ReportError } from '../src/report.js';
import { dailyTable } from '../src/stats.js';
import { crc32 } from '../src/zipCheck.js';
import { bytes, line } from './logText.js';

const lines = (id, samples, from = 0) => samples.map((s, i) => line(id, from + i, s)).join('');

test('an archive as the program packs it: logs of every monitor and the route trace', () => {
  const archive = zipSync({
    '2021.04.19_gateway.log': bytes(lines('gateway', [2, 3, 'Time is out', 'Time is out', 'Time is out', 4])),
    '2021.04.19_rdp.log': bytes(lines('rdp', [30, 31, 32, 'Time is out', 'Time is out', 'Time is out'])),
    '2021.04.19_cpu.log': bytes(lines('cpu', ['', '12.5', '13', '14', '15', '16']) + 'broken line\r\n'),
    '2021.04.19_14.03.07_pathping': bytes('  1    0ms     0/ 100 =  0%  192.168.1.1\r\n  2  ---   100/ 100 =100%  10.0.0.1\r\n'),
  });
  const report = readArchive('2021.04.19_14.03.07.zip', archive);
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

test('log files picked from a logs folder are read like an archive', () => {
  const report = readLogFiles([
    { name: '2021.04.20_ram.log', bytes: bytes(lines('ram', ['99.5', '99.6'], 86400)) },
    { name: '2021.04.19_ram.log', bytes: bytes(lines('ram', ['60'], 86399)) },
  ]);
  assert.deepEqual([...report.series[4].values], [60, 99.5, 99.6]);
  assert.equal(dailyTable(report).length, 2);

  // Cycles 4 s apart (unanswered pings) cover their 4 s; a pause covers nothing.
  const slow = readLogFiles([
    { name: '2021.04.19_cpu.log', bytes: bytes([0, 4, 8, 100].map((s) => line('cpu', s, '5')).join('')) },
  ]);
  assert.equal(dailyTable(slow)[0].monitored, 10);
});

test('a damaged or foreign file gets a message that says what it is', () => {
  const good = zipSync({ '2021.04.19_cpu.log': bytes(lines('cpu', Array.from({ length: 2000 }, (_, i) => String(i * 1.37)))) });
  const cut = good.slice(0, good.length - 30);
  const damagedEntry = good.slice();
  damagedEntry.fill(0xff, 100, 120); // inside the compressed data of the one entry
  const cases = [
    ['notes.txt', bytes('hello'), /is not a zip archive/],
    ['cut.zip', cut, /is damaged: its table of contents cannot be read/],
    ['photos.zip', zipSync({ 'a.jpg': new Uint8Array(4), 'b.log': bytes('x') }), /is not an Orvella report: none of its 2 entries/],
    ['empty.zip', zipSync({}), /is empty/],
  ];
  assert.equal(crc32(bytes('123456789')), 0xcbf43926);
  for (const [name, data, message] of cases) {
    assert.throws(() => readArchive(name, data), (e) => e instanceof ReportError && message.test(e.message), name);
  }
  assert.throws(() => readArchive('bad.zip', damagedEntry), (e) => e instanceof ReportError && /bad.zip is damaged: its entry 2021.04.19_cpu.log (cannot be unpacked|does not match its checksum)/.test(e.message));
});
