import assert from 'node:assert/strict';
import { test } from 'node:test';

import { parseLogFile } from '../src/logParse.js';
import { CLEAR, ERROR, MONITOR_BY_ID, OK, OUT_OF_BOUNDS } from '../src/monitors.js';
import { BASE, bytes, line, stamp } from './logText.js';

const parse = (id, text) => parseLogFile(bytes(text), MONITOR_BY_ID.get(id));

test('load samples: the value texts the program writes, judged against the bounds', () => {
  const cases = [
    // monitor, value text, verdict, value
    ['cpu', '12.5', OK, 12.5],
    ['cpu', '12,5', OK, 12.5], // a comma as the regional decimal separator
    ['cpu', '98', OK, 98],
    ['cpu', '98.0000000000001', OUT_OF_BOUNDS, 98.0000000000001],
    ['cpu', '98.5', OUT_OF_BOUNDS, 98.5],
    ['ram', '99', OK, 99],
    ['ram', '99.5', OUT_OF_BOUNDS, 99.5],
    ['disk', '1.99999999999999', OK, 1.99999999999999],
    ['disk', '2', OUT_OF_BOUNDS, 2],
    ['disk', '1E-6', OK, 1e-6],
    ['disk', '1,5E-7', OK, 1.5e-7],
    ['cpu', '0.000012345', OK, 0.000012345],
    ['cpu', '-3', OK, -3],
    ['cpu', 'NAN', OK, NaN], // a NaN is within both bounds for the program, too
    ['cpu', 'INF', OUT_OF_BOUNDS, Infinity],
    ['cpu', '-INF', OUT_OF_BOUNDS, -Infinity],
    ['cpu', '', CLEAR, NaN],
    ['disk', 'EOSError: The data is not valid.', ERROR, NaN],
    ['cpu', '12.', ERROR, NaN],
  ];
  for (const [id, text, verdict, value] of cases) {
    const r = parse(id, line(id, 5, text));
    assert.equal(r.bad.count, 0, text);
    assert.deepEqual([r.times[0], r.verdicts[0]], [BASE + 5, verdict], text);
    assert.ok(Object.is(r.values[0], value) || r.values[0] === value, `${text}: ${r.values[0]}`);
  }
});

test('pinger samples: round-trip times, error texts, no target, and the target of every line', () => {
  const text = [
    line('gateway', 0, 3),
    line('gateway', 1, 150),
    line('gateway', 2, 151),
    line('gateway', 3, 'Time is out'),
    line('gateway', 4, { text: 'Error 11010: Request timed out.', ip: '10.0.0.1' }),
    line('gateway', 5, { text: '', ip: '0.0.0.0' }),
    line('rdp', 6, 'EOSError: Error 11003: Destination host unreachable.'),
    line('rdp', 7, 40),
    line('rdp', 8, 41).replace('DataSize=1000 RTT', 'DataSize=32 RTT'), // a reply unlike the one before
  ].join('');
  const r = parse('gateway', text);
  assert.equal(r.bad.count, 0);
  assert.deepEqual([...r.verdicts], [OK, OK, OUT_OF_BOUNDS, ERROR, ERROR, CLEAR, ERROR, OK, OK]);
  assert.deepEqual([...r.values.subarray(0, 3)], [3, 150, 151]);
  assert.deepEqual([...r.values.subarray(7)], [40, 41]);
  assert.deepEqual([...r.targetIds], [0, 0, 0, 0, 1, 2, 3, 3, 3]);
  assert.equal(r.textIds[3], 0);
  assert.equal(r.textIds[4], 1);
});

test('lines that do not parse are counted with their line numbers and the rest is read', () => {
  const text = [
    line('cpu', 0, '1'),
    'garbage\r\n',
    `${stamp(2)} 12\r\n`, // no " - "
    '32.04.2021 00:00:03 - 1\r\n', // no such day
    '19.04.2021 24:00:03 - 1\r\n',
    '\r\n',
    line('cpu', 7, '2'),
    `${stamp(8, '.')} - 3`, // the regional time separator; the last line without CR LF
  ].join('');
  const r = parse('cpu', text);
  assert.deepEqual([...r.values], [1, 2, 3]);
  assert.equal(r.bad.count, 5);
  assert.deepEqual(r.bad.lines.map((b) => b.line), [2, 3, 4, 5, 6]);
  assert.equal(r.bad.lines[0].text, 'garbage');

  const ping = parse('google', `${stamp(0)} - Ping google DNS 8.8.8.8 Timeout\r\n${line('google', 1, 'x').replace('RTT', '')}`);
  assert.equal(ping.bad.count, 1);
  const badReply = parse('google', line('google', 0, 20).replace('RTT=20ms', 'RTT=ms'));
  assert.equal(badReply.bad.count, 1);
  const badAfterGood = parse('google', line('google', 0, 20) + line('google', 1, 20).replace('RTT=20ms', 'RTT=ms'));
  assert.deepEqual([badAfterGood.bad.count, badAfterGood.times.length], [1, 1]);
});
