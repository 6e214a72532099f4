// When the program shows a notification, replayed from its logs.
//
// Each monitor keeps the verdicts of its last 100 samples. A pinger's problem
// persists when they hold at least 3 errors, or at least 3 out-of-bounds
// verdicts among the 20 oldest, or at least 10 in all; a load monitor's when
// more than 50 are out of bounds or errors. In every sampling cycle the set of
// persisting problems is masked: a gateway problem hides the Internet and
// server problems, an Internet problem hides the server problem; what is left
// is what the notification windows show.
//
// The history is emptied where the program empties it: a pinger's when its
// target address changes (the address is in every line), every monitor's when
// a connection to the server begins or the program starts. Neither of the
// last two is written down; they are read from the lines: sampling stops while
// the PC is not connected and resumes only at a minute's cycle, so a pause of
// more than GAP_SECONDS means a new connection or a new start; and a new start
// after a shorter pause shows itself by the empty first samples of the
// processor and disk counters, which need two readings for a value.
import { CLEAR, ERROR, MONITORS, OUT_OF_BOUNDS } from './monitors.js';

export const HISTORY_SIZE = 100;
export const GAP_SECONDS = 45;
// Lines of one cycle are written within milliseconds; their seconds differ by
// at most one.
const CYCLE_SPREAD_SECONDS = 1;

const GATEWAY = 0;
const GOOGLE = 1;
const RDP = 2;
const CPU = 3;
const DISK = 5;

// A gateway problem hides the Internet and server problems; an Internet
// problem hides the server problem.
export function masked(bits) {
  if (bits & (1 << GATEWAY)) return bits & ~((1 << GOOGLE) | (1 << RDP));
  if (bits & (1 << GOOGLE)) return bits & ~(1 << RDP);
  return bits;
}

// The last 100 verdicts of one monitor and the counts its rule needs.
class History {
  constructor(pinger) {
    this.pinger = pinger;
    this.ring = new Uint8Array(HISTORY_SIZE);
    this.clear();
  }
  clear() {
    this.head = 0;
    this.size = 0;
    this.errors = 0;
    this.outOfBounds = 0;
    this.oldOutOfBounds = 0; // among the 20 oldest
  }
  at(position) {
    return this.ring[(this.head + position) % HISTORY_SIZE];
  }
  push(verdict) {
    if (this.size === HISTORY_SIZE) {
      const oldest = this.ring[this.head];
      if (oldest === ERROR) this.errors--;
      if (oldest === OUT_OF_BOUNDS) {
        this.outOfBounds--;
        this.oldOutOfBounds--;
      }
      this.head = (this.head + 1) % HISTORY_SIZE;
      this.size--;
      // The 21st oldest becomes one of the 20 oldest.
      if (this.at(19) === OUT_OF_BOUNDS) this.oldOutOfBounds++;
    }
    this.ring[(this.head + this.size) % HISTORY_SIZE] = verdict;
    this.size++;
    if (verdict === ERROR) this.errors++;
    if (verdict === OUT_OF_BOUNDS) {
      this.outOfBounds++;
      if (this.size <= 20) this.oldOutOfBounds++;
    }
  }
  persists() {
    if (this.pinger) return this.errors >= 3 || this.oldOutOfBounds >= 3 || this.outOfBounds >= 10;
    return this.errors + this.outOfBounds > 50;
  }
}

// Groups the monitors' lines into the program's sampling cycles: each cycle
// takes, in the monitors' order, the next line of every monitor written
// within a second of the cycle's earliest one. Calls visit(time, members)
// with members[m] the index of monitor m's line, or -1.
export function forEachCycle(series, visit) {
  const cursors = new Int32Array(MONITORS.length);
  const members = new Int32Array(MONITORS.length);
  for (;;) {
    let first = Infinity;
    for (let m = 0; m < MONITORS.length; m++) {
      const s = series[m];
      if (s && cursors[m] < s.times.length && s.times[cursors[m]] < first) first = s.times[cursors[m]];
    }
    if (first === Infinity) return;
    for (let m = 0; m < MONITORS.length; m++) {
      const s = series[m];
      if (s && cursors[m] < s.times.length && s.times[cursors[m]] <= first + CYCLE_SPREAD_SECONDS) {
        members[m] = cursors[m]++;
      } else {
        members[m] = -1;
      }
    }
    visit(first, members);
  }
}

// series[m]: { times, verdicts, targetIds, targets } of monitor m in the order
// written, or undefined; targets[targetIds[i]].ip is a pinger line's address. Returns per monitor, per line, whether the monitor's problem
// persisted (problem) and whether its notification was shown (notified),
// and the cycles with their masked sets.
export function replay(series) {
  const histories = MONITORS.map((monitor) => new History(monitor.pinger));
  const problem = series.map((s) => (s ? new Uint8Array(s.times.length) : undefined));
  const notified = series.map((s) => (s ? new Uint8Array(s.times.length) : undefined));
  // A pinger's history goes with its address; its name alone may change.
  const addressOf = series.map((s) => s && (s.targets ? s.targets.map((t) => t.ip) : null));
  const lastAddress = MONITORS.map(() => undefined);
  const cycleTimes = [];
  const cycleSets = [];
  let previous = -Infinity;
  forEachCycle(series, (time, members) => {
    const restart = [CPU, DISK].every((m) => members[m] < 0 || series[m].verdicts[members[m]] === CLEAR) &&
      (members[CPU] >= 0 || members[DISK] >= 0);
    if (time - previous > GAP_SECONDS || restart) for (const h of histories) h.clear();
    previous = time;
    let bits = 0;
    for (let m = 0; m < MONITORS.length; m++) {
      const i = members[m];
      if (i < 0) continue;
      const s = series[m];
      if (MONITORS[m].pinger) {
        const address = addressOf[m] ? addressOf[m][s.targetIds[i]] : s.targetIds[i];
        if (address !== lastAddress[m]) histories[m].clear();
        lastAddress[m] = address;
      }
      histories[m].push(s.verdicts[i]);
      if (histories[m].persists()) {
        problem[m][i] = 1;
        bits |= 1 << m;
      }
    }
    bits = masked(bits);
    for (let m = 0; m < MONITORS.length; m++) if (bits & (1 << m)) notified[m][members[m]] = 1;
    cycleTimes.push(time);
    cycleSets.push(bits);
  });
  return { problem, notified, cycleTimes: Float64Array.from(cycleTimes), cycleSets: Uint8Array.from(cycleSets) };
}

// The periods in which a monitor's notification was shown: runs of notified
// lines, broken where the monitor's lines pause for more than GAP_SECONDS.
// Each is [first second, last second] of the run.
export function notifiedPeriods(times, notified) {
  const periods = [];
  let from = -1;
  for (let i = 0; i < times.length; i++) {
    if (notified[i] && from >= 0 && times[i] - times[i - 1] > GAP_SECONDS) {
      periods.push([times[from], times[i - 1]]);
      from = i;
    } else if (notified[i] && from < 0) {
      from = i;
    } else if (!notified[i] && from >= 0) {
      periods.push([times[from], times[i - 1]]);
      from = -1;
    }
  }
  if (from >= 0) periods.push([times[from], times[times.length - 1]]);
  return periods;
}
