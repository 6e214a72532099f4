// A report as the page shows it: the archive's entries read into one series
// per monitor, the replayed notifications, the route trace, and every line
// that did not parse.
import { DEFAULT_INFLATER, inflateEntry } from './inflate.js';
import { parseLogFile, TextTable } from './logParse.js';
import { MONITORS, MONITOR_BY_ID } from './monitors.js';
import { ReportError } from './reportError.js';
import { notifiedPeriods, replay } from './rules.js';
import { readZipDirectory } from './zipDirectory.js';

const LOG_NAME = /^(\d{4})\.(\d{2})\.(\d{2})_([a-z]+)\.log$/i;
const TRACE_NAME = /^(\d{4}\.\d{2}\.\d{2}_\d{2}\.\d{2}\.\d{2})_pathping$/;

export { ReportError };

const utf8 = new TextDecoder('utf-8');

// The monitor and date of a daily log file's name, or undefined.
export function logFileOf(name) {
  const base = name.split(/[\\/]/).pop();
  const match = LOG_NAME.exec(base);
  if (!match) return undefined;
  const monitor = MONITOR_BY_ID.get(match[4].toLowerCase());
  if (!monitor) return undefined;
  const [year, month, day] = [match[1], match[2], match[3]].map(Number);
  const date = new Date(Date.UTC(year, month - 1, day));
  if (date.getUTCMonth() !== month - 1 || date.getUTCDate() !== day) return undefined;
  return { monitor, date: `${match[1]}.${match[2]}.${match[3]}`, name: base };
}

function concat(parts, key, Type) {
  const total = parts.reduce((n, p) => n + p[key].length, 0);
  const result = new Type(total);
  let at = 0;
  for (const p of parts) {
    result.set(p[key], at);
    at += p[key].length;
  }
  return result;
}

// Milliseconds spent in each step of the last report read, for the benchmark;
// inflating includes checking the CRC-32.
export const stepTimes = { inflate: 0, parse: 0, rules: 0 };

// The entries sorted into daily logs (by date, then in the monitors' order),
// route traces and foreign ones; a clear message when nothing is a report's.
export function classify(title, entries, isArchive) {
  const logs = [];
  const traces = [];
  const foreign = [];
  for (const entry of entries) {
    const log = logFileOf(entry.name);
    if (log) logs.push({ ...log, entry });
    else if (TRACE_NAME.test(entry.name.split(/[\\/]/).pop())) traces.push(entry);
    else foreign.push(entry.name);
  }
  if (logs.length === 0 && traces.length === 0 && !isArchive) {
    throw new ReportError(
      `${title} is not an Orvella report: drop a report archive (.zip) or daily log files ` +
        `such as 2021.04.19_gateway.log.`,
    );
  }
  if (logs.length === 0 && traces.length === 0) {
    throw new ReportError(
      entries.length === 0
        ? `${title} is empty: there is no log file and no route trace in it.`
        : `${title} is not an Orvella report: none of its ${entries.length} entries is a daily log ` +
            `(such as 2021.04.19_gateway.log) or a route trace (…_pathping).`,
    );
  }
  logs.sort((a, b) => (a.date < b.date ? -1 : a.date > b.date ? 1 : a.monitor.ordinal - b.monitor.ordinal));
  return { logs, traces, foreign };
}

// One log file read with tables of its own, so that files can be read apart
// (in workers) and joined afterwards.
export function parseEntry(bytes, monitor) {
  const texts = new TextTable();
  const targets = new TextTable();
  const part = parseLogFile(bytes, monitor, texts, targets);
  return { part, texts: texts.texts, targets: targets.texts };
}

// Ids of a file's own table turned into those of the monitor's table; most
// files name the same texts in the same order, and keep their ids.
function remap(ids, local, table) {
  const map = local.map((text) => table.add(text));
  if (map.every((id, i) => id === i)) return ids;
  const result = new Int32Array(ids.length);
  for (let i = 0; i < ids.length; i++) result[i] = ids[i] < 0 ? -1 : map[ids[i]];
  return result;
}

// entries: [{ name, read(use) }] in any order; read resolves to use(bytes) of
// the entry's bytes, which are valid only while use runs (an inflater's
// memory holds one entry at a time), and is called once per entry.
// parsed: name -> parseEntry's result, for files read elsewhere; the others
// are read here.
export async function buildReport(title, entries, isArchive = true, parsed = new Map()) {
  const { logs, traces, foreign } = classify(title, entries, isArchive);
  const texts = MONITORS.map(() => new TextTable());
  const targets = MONITORS.map(() => new TextTable());
  const parts = MONITORS.map(() => []);
  const files = [];
  const badLines = [];
  let badCount = 0;
  for (const log of logs) {
    const m = log.monitor.ordinal;
    let read = parsed.get(log.entry.name);
    if (!read) {
      read = await log.entry.read((bytes) => {
        const started = performance.now();
        const result = parseEntry(bytes, log.monitor);
        stepTimes.parse += performance.now() - started;
        return result;
      });
    }
    const part = {
      ...read.part,
      textIds: remap(read.part.textIds, read.texts, texts[m]),
      targetIds: remap(read.part.targetIds, read.targets, targets[m]),
    };
    parts[m].push(part);
    files.push({ name: log.name, monitor: log.monitor.id, date: log.date, samples: part.times.length, bad: part.bad.count });
    badCount += part.bad.count;
    for (const line of part.bad.lines) badLines.push({ file: log.name, ...line });
  }
  const series = parts.map((list, m) =>
    list.length === 0
      ? undefined
      : {
          times: concat(list, 'times', Float64Array),
          values: concat(list, 'values', Float64Array),
          verdicts: concat(list, 'verdicts', Uint8Array),
          textIds: concat(list, 'textIds', Int32Array),
          targetIds: concat(list, 'targetIds', Int32Array),
          texts: texts[m].texts,
          targets: targets[m].texts.map((t) => {
            const [descr, ip] = t.split('\u0000');
            return { descr, ip };
          }),
        },
  );
  const started = performance.now();
  const rules = replay(series);
  stepTimes.rules = performance.now() - started;
  const periods = series.map((s, m) => (s ? notifiedPeriods(s.times, rules.notified[m]) : []));
  const trace = [];
  for (const entry of traces) trace.push({ name: entry.name, text: await entry.read((bytes) => utf8.decode(bytes)) });
  let first = Infinity;
  let last = -Infinity;
  for (const s of series) {
    if (s && s.times.length) {
      first = Math.min(first, s.times[0]);
      last = Math.max(last, s.times[s.times.length - 1]);
    }
  }
  return { title, series, rules, periods, trace, files, foreign, badLines, badCount, first, last };
}

export function resetStepTimes() {
  for (const step of Object.keys(stepTimes)) stepTimes[step] = 0;
}

// The entries of a zip archive as the program packs it: names, the record of
// the central directory, and read() that inflates one with inflater
// (inflate.js), checks it and uses it.
export function archiveEntries(title, bytes, inflater = DEFAULT_INFLATER) {
  if (bytes.length < 22 || bytes[0] !== 0x50 || bytes[1] !== 0x4b) {
    throw new ReportError(`${title} is not a zip archive. An Orvella report is a .zip file such as 2021.04.19_14.03.07.zip.`);
  }
  return readZipDirectory(title, bytes)
    .filter((entry) => !entry.name.endsWith('/'))
    .map((entry) => ({
      name: entry.name,
      size: entry.size,
      record: entry,
      async read(use) {
        const started = performance.now();
        const data = await inflateEntry(title, bytes, entry, inflater);
        stepTimes.inflate += performance.now() - started;
        return use(data);
      },
    }));
}

export async function readArchive(title, bytes, inflater = DEFAULT_INFLATER) {
  resetStepTimes();
  return buildReport(title, archiveEntries(title, bytes, inflater));
}

// Log files dropped or picked from a logs folder; other files are refused.
export function readLogFiles(files) {
  resetStepTimes();
  const title = files.length === 1 ? files[0].name : `${files.length} log files`;
  return buildReport(
    title,
    files.map((file) => ({ name: file.name, read: async (use) => use(file.bytes) })),
    false,
  );
}
