import assert from 'node:assert/strict';
import { test } from 'node:test';

import { CLEAR, ERROR, MONITORS, OK, OUT_OF_BOUNDS } from '../src/monitors.js';
import { masked, notifiedPeriods, replay } from '../src/rules.js';

const E = ERROR;
const O = OUT_OF_BOUNDS;
const K = OK;
const C = CLEAR;

// One monitor's series from verdicts, one a second from second 0.
function single(m, verdicts, { times, targets } = {}) {
  const series = MONITORS.map(() => undefined);
  series[m] = {
    times: Float64Array.from(times ?? verdicts.map((_, i) => i)),
    verdicts: Uint8Array.from(verdicts),
    targetIds: Int32Array.from(targets ?? verdicts.map(() => 0)),
  };
  return series;
}

const lastProblem = (m, verdicts, options) => {
  const r = replay(single(m, verdicts, options));
  return r.problem[m][verdicts.length - 1] === 1;
};

const repeat = (n, v) => Array(n).fill(v);

test('pinger rule over the last 100 verdicts, oldest first', () => {
  const cases = [
    ['2 errors and 2 slow among the 20 oldest', [E, O, E, O, ...repeat(96, K)], false],
    ['a third error anywhere', [E, O, E, O, ...repeat(95, K), E], true],
    ['a third slow reply among the 20 oldest', [E, O, E, O, ...repeat(15, K), O, ...repeat(80, K)], true],
    ['the third slow reply after the 20 oldest', [O, O, ...repeat(20, K), O, ...repeat(77, K)], false],
    ['9 slow replies after the 20 oldest', [...repeat(20, K), ...repeat(9, O), ...repeat(71, K)], false],
    ['10 slow replies after the 20 oldest', [...repeat(20, K), ...repeat(10, O), ...repeat(70, K)], true],
    ['3 slow replies while fewer than 20 are kept', [O, O, O], true],
    // The errors age out: 100 good samples after them end the problem.
    ['errors aged out', [E, E, E, ...repeat(100, K)], false],
    ['errors still kept', [E, E, E, ...repeat(97, K)], true],
    // Slow replies that move into the 20 oldest as older ones age out.
    ['slow replies become the oldest', [...repeat(10, K), O, O, O, ...repeat(87, K), ...repeat(10, K)], true],
    ['empty samples count for nothing', [E, C, C, E, C, E], true],
  ];
  for (const [what, verdicts, expected] of cases) assert.equal(lastProblem(0, verdicts), expected, what);
});

test('load rule: more than 50 of the last 100 out of bounds or failed', () => {
  const cases = [
    ['50 of 100', [...repeat(50, O), ...repeat(50, K)], false],
    ['51 of 100', [...repeat(50, O), E, ...repeat(49, K)], true],
    ['51 of 101, the first aged out', [O, ...repeat(50, O), ...repeat(50, K)], false],
    ['empty samples are good ones', [...repeat(50, O), ...repeat(50, C), O], false],
  ];
  for (const [what, verdicts, expected] of cases) assert.equal(lastProblem(3, verdicts), expected, what);
});

test('the history is emptied by a new target, a pause in sampling and a new start', () => {
  // A gateway at a new address starts afresh.
  assert.equal(lastProblem(0, [E, E, E], { targets: [0, 0, 1] }), false);
  assert.equal(lastProblem(0, [E, E, E, E, E], { targets: [0, 0, 1, 1, 1] }), true);
  // Not connected for a minute: a new connection starts afresh.
  assert.equal(lastProblem(0, [E, E, E], { times: [0, 1, 62] }), false);
  assert.equal(lastProblem(0, [E, E, E], { times: [0, 1, 40] }), true);

  // A new start shows by the empty first samples of processor and disk.
  const series = MONITORS.map((_, m) => ({
    times: Float64Array.from([0, 1, 2, 3, 4]),
    verdicts: Uint8Array.from(m === 0 ? [E, E, E, E, E] : m === 3 || m === 5 ? [C, K, K, C, K] : [K, K, K, K, K]),
    targetIds: new Int32Array(5),
  }));
  assert.deepEqual([...replay(series).problem[0]], [0, 0, 1, 0, 0]);
  series[5].verdicts[3] = K; // only the processor had no value: no new start
  assert.deepEqual([...replay(series).problem[0]], [0, 0, 1, 1, 1]);
});

test('masking: a gateway problem hides Internet and server, an Internet problem the server', () => {
  const bits = (...ids) => ids.reduce((b, id) => b | (1 << MONITORS.findIndex((m) => m.id === id)), 0);
  const cases = [
    [['gateway', 'google', 'cpu'], ['gateway', 'cpu']],
    [['google', 'rdp'], ['google']],
    [['rdp', 'disk'], ['rdp', 'disk']],
    [['gateway', 'rdp', 'ram'], ['gateway', 'ram']],
  ];
  for (const [from, to] of cases) assert.equal(masked(bits(...from)), bits(...to), from.join());

  // In a replay the cycle's lines are grouped even when their seconds differ.
  const series = MONITORS.map(() => undefined);
  series[0] = { times: Float64Array.from([10, 11, 12]), verdicts: Uint8Array.from([E, E, E]), targetIds: new Int32Array(3) };
  series[2] = { times: Float64Array.from([10, 11, 13]), verdicts: Uint8Array.from([E, E, E]), targetIds: new Int32Array(3) };
  const r = replay(series);
  assert.deepEqual([...r.notified[0]], [0, 0, 1]);
  assert.deepEqual([...r.notified[2]], [0, 0, 0]);
  assert.deepEqual([...r.cycleTimes], [10, 11, 12]);
});

test('notified periods are runs of notified seconds, broken by pauses', () => {
  const times = [0, 1, 2, 3, 4, 100, 101, 102];
  const notified = [0, 1, 1, 0, 1, 1, 1, 0];
  assert.deepEqual(notifiedPeriods(times, notified), [[1, 2], [4, 4], [100, 101]]);
  assert.deepEqual(notifiedPeriods([5, 6], [1, 1]), [[5, 6]]);
});
