// The table of a report: per day and monitor, what its samples add up to.
import { ERROR, MONITORS, OUT_OF_BOUNDS } from './monitors.js';

const DAY = 86400;
// A sample stands for the time until the next one while sampling goes on
// (a cycle with unanswered pings lasts about 4 s), else for its own second.
const COVER_SECONDS = 5;

export function coveredSeconds(times, i) {
  const step = i + 1 < times.length ? times[i + 1] - times[i] : 1;
  return step > 0 && step <= COVER_SECONDS ? step : 1;
}

// The value at quantile q of sorted finite values (nearest rank).
export function quantile(sorted, q) {
  if (sorted.length === 0) return NaN;
  const rank = Math.ceil(q * sorted.length);
  return sorted[Math.min(sorted.length - 1, Math.max(0, rank - 1))];
}

function summarize(s, notified, from, to) {
  const finite = [];
  let failed = 0;
  let over = 0;
  let run = 0;
  let longest = 0;
  let longestAt = NaN;
  let shown = 0;
  for (let i = from; i < to; i++) {
    const verdict = s.verdicts[i];
    if (verdict === ERROR) {
      failed++;
      run++;
      if (run > longest) {
        longest = run;
        longestAt = s.times[i - run + 1];
      }
    } else {
      run = 0;
    }
    if (verdict === OUT_OF_BOUNDS) over++;
    const value = s.values[i];
    if (Number.isFinite(value)) finite.push(value);
    if (notified[i]) shown += coveredSeconds(s.times, i);
  }
  const sorted = Float64Array.from(finite).sort();
  const samples = to - from;
  return {
    samples,
    failed,
    overPercent: samples ? (100 * over) / samples : 0,
    median: quantile(sorted, 0.5),
    p95: quantile(sorted, 0.95),
    longestFailures: longest,
    longestFailuresAt: longestAt,
    notifiedSeconds: shown,
  };
}

const dayOf = (time) => Math.floor(time / DAY) * DAY;

// [{ day (seconds of its midnight), monitored (seconds covered by sampling
// cycles) }], quick enough for the header before anything is drawn.
export function monitoredDays(report) {
  const days = new Map();
  const cycles = report.rules.cycleTimes;
  for (let i = 0; i < cycles.length; i++) {
    const day = dayOf(cycles[i]);
    days.set(day, (days.get(day) ?? 0) + coveredSeconds(cycles, i));
  }
  return [...days].map(([day, monitored]) => ({ day, monitored })).sort((a, b) => a.day - b.day);
}

// [{ day, monitored, rows: [{ monitor, ...summary }] }]
export function dailyTable(report) {
  const days = new Map();
  const entry = (day) => {
    if (!days.has(day)) days.set(day, { day, monitored: 0, rows: [] });
    return days.get(day);
  };
  for (const { day, monitored } of monitoredDays(report)) entry(day).monitored = monitored;
  report.series.forEach((s, m) => {
    if (!s) return;
    let from = 0;
    while (from < s.times.length) {
      const day = dayOf(s.times[from]);
      let to = from;
      while (to < s.times.length && dayOf(s.times[to]) === day) to++;
      entry(day).rows.push({ monitor: MONITORS[m], ...summarize(s, report.rules.notified[m], from, to) });
      from = to;
    }
  });
  return [...days.values()].sort((a, b) => a.day - b.day);
}
