// The page: an archive (or a day's log files) dropped or picked is read here,
// in the browser, and drawn; nothing leaves the PC.
import 'uplot/dist/uPlot.min.css';

import { drawLanes } from './lanes.js';
import { formatDuration, formatNumber, formatTime } from './format.js';
import { MONITORS, errorCaption } from './monitors.js';
import { readArchiveInWorkers } from './parallel.js';
import { WasmInflater } from './wasmInflater.js';
import { WorkerPool } from './workerPool.js';
import { KEPT_BAD_LINES } from './logParse.js';
import { readLogFiles, ReportError, stepTimes } from './report.js';
import { dailyTable, monitoredDays } from './stats.js';

const $ = (id) => document.getElementById(id);
// The worker's bundled source and the WebAssembly inflater (base64); build.mjs
// puts them here.
/* global __ORVELLA_WORKER__, __ORVELLA_INFLATER__ */

// Made as the page opens, ready for the first archive: the inflater's module,
// undefined where WebAssembly cannot run (the browsers' own inflaters are used
// then), and the workers, none where they cannot start (the page's thread
// reads then).
function compiledInflater() {
  try {
    return WasmInflater.compile(Uint8Array.from(atob(__ORVELLA_INFLATER__), (c) => c.charCodeAt(0)));
  } catch (error) {
    console.warn(`no WebAssembly inflater: ${error.message}`);
    return undefined;
  }
}
const inflaterModule = compiledInflater();

function startedWorkers() {
  try {
    return new WorkerPool(__ORVELLA_WORKER__);
  } catch (error) {
    console.warn(`no workers: ${error.message}`);
    return undefined;
  }
}
const workers = startedWorkers();

// What a test or a benchmark reads back: the state, when each step ended
// (milliseconds of performance.now()) and which inflater read the archive.
const status = { state: 'idle', error: '', timings: {}, inflater: '' };
window.orvellaReport = status;

function setState(state) {
  status.state = state;
  document.body.dataset.state = state;
}

function element(tag, text, className) {
  const e = document.createElement(tag);
  if (text !== undefined) e.textContent = text;
  if (className) e.className = className;
  return e;
}

function row(cells, tag = 'td') {
  const tr = document.createElement('tr');
  for (const cell of cells) tr.append(element(tag, String(cell)));
  return tr;
}

function showError(message) {
  setState('failed');
  status.error = message;
  $('message').textContent = message;
  $('message').hidden = false;
}

function distinctTargets(report, m) {
  const s = report.series[m];
  if (!s) return '—';
  return s.targets.map((t) => `${t.descr} (${t.ip})`).join(', ');
}

function renderHeader(report, table) {
  const header = $('header');
  header.replaceChildren();
  const list = document.createElement('dl');
  const add = (term, value) => {
    list.append(element('dt', term), element('dd', value));
  };
  add('Report', report.title);
  add('Time span', Number.isFinite(report.first) ? `${formatTime(report.first)} – ${formatTime(report.last)}` : 'no samples');
  add('Server', distinctTargets(report, 2));
  add('Targets', [0, 1].map((m) => distinctTargets(report, m)).join('; '));
  add(
    'Monitored per day',
    table.map((d) => `${formatTime(d.day).slice(0, 10)}: ${d.monitored} s (${formatDuration(d.monitored)})`).join(', ') || '—',
  );
  add('Files', `${report.files.length} log files${report.trace.length ? ', route trace' : ', no route trace'}`);
  header.append(list);
}

function renderNotifications(report) {
  const box = $('notifications');
  box.replaceChildren(element('h2', 'Notifications the program showed'));
  const items = [];
  report.periods.forEach((periods, m) => {
    for (const [from, to] of periods) items.push({ m, from, to });
  });
  items.sort((a, b) => a.from - b.from || a.m - b.m);
  if (items.length === 0) {
    box.append(element('p', 'None: no problem persisted long enough for a notification.'));
    return;
  }
  const table = document.createElement('table');
  table.className = 'periods';
  table.append(row(['Caption', 'Monitor', 'From', 'To', 'Seconds'], 'th'));
  for (const { m, from, to } of items) {
    const tr = row([errorCaption(m), MONITORS[m].title, formatTime(from), formatTime(to), to - from + 1]);
    tr.dataset.monitor = MONITORS[m].id;
    tr.dataset.from = String(from);
    tr.dataset.to = String(to);
    table.append(tr);
  }
  box.append(table);
}

function renderTable(table) {
  const box = $('days');
  box.replaceChildren(element('h2', 'Per day'));
  for (const day of table) {
    box.append(element('h3', `${formatTime(day.day).slice(0, 10)} — ${day.monitored} seconds monitored`));
    const t = document.createElement('table');
    t.className = 'day';
    t.append(
      row(['Monitor', 'Samples', 'Failed', '% over bound', 'Median', '95th percentile', 'Longest failure run', 'Notified'], 'th'),
    );
    for (const r of day.rows) {
      const digits = r.monitor.unit === 'ms' ? 0 : r.monitor.unit === '%' ? 1 : 2;
      const tr = row([
        r.monitor.title,
        r.samples,
        r.failed,
        formatNumber(r.overPercent, 2),
        formatNumber(r.median, digits),
        formatNumber(r.p95, digits),
        r.longestFailures ? `${r.longestFailures} from ${formatTime(r.longestFailuresAt).slice(11)}` : '0',
        formatDuration(r.notifiedSeconds),
      ]);
      tr.dataset.monitor = r.monitor.id;
      t.append(tr);
    }
    box.append(t);
  }
}

// The trace as it is; a hop line that reports lost packets is marked.
function renderTrace(report) {
  const box = $('trace');
  box.replaceChildren(element('h2', 'Route trace'));
  if (report.trace.length === 0) {
    box.append(element('p', 'The report holds no route trace.'));
    return;
  }
  for (const trace of report.trace) {
    box.append(element('h3', trace.name));
    const pre = document.createElement('pre');
    for (const line of trace.text.split(/\r?\n/)) {
      const loss = [...line.matchAll(/(\d+(?:[.,]\d+)?)\s*%/g)].some((m) => parseFloat(m[1].replace(',', '.')) > 0);
      pre.append(element('span', line + '\n', loss || /\?\?\?/.test(line) ? 'loss' : undefined));
    }
    if (!trace.text.trim()) pre.append(element('span', '(empty)'));
    box.append(pre);
  }
}

function renderBadLines(report) {
  const box = $('bad');
  box.replaceChildren();
  const foreign = report.foreign.length ? ` The archive also holds entries the page does not read: ${report.foreign.join(', ')}.` : '';
  if (report.badCount === 0) {
    box.append(element('p', `Every line of the ${report.files.length} log files was read.${foreign}`));
    return;
  }
  box.append(element('h2', `Lines that do not parse: ${report.badCount}`, 'warning'));
  if (foreign) box.append(element('p', foreign));
  const t = document.createElement('table');
  t.className = 'badlines';
  t.append(row(['File', 'Line', 'Text'], 'th'));
  for (const bad of report.badLines) t.append(row([bad.file, bad.line, bad.text]));
  box.append(t);
  if (report.badLines.length < report.badCount) {
    box.append(element('p', `The first ${report.badLines.length} are listed (${KEPT_BAD_LINES} per file).`));
  }
}

async function open(files) {
  $('message').hidden = true;
  status.error = '';
  status.timings = { start: performance.now() };
  setState('loading');
  $('drop').classList.add('busy');
  try {
    const list = [...files];
    if (list.length === 0) return;
    const loaded = await Promise.all(list.map(async (f) => ({ name: f.name, bytes: new Uint8Array(await f.arrayBuffer()) })));
    status.timings.read = performance.now();
    const zips = loaded.filter((f) => /\.zip$/i.test(f.name) || (f.bytes[0] === 0x50 && f.bytes[1] === 0x4b));
    if (zips.length > 1 || (zips.length === 1 && loaded.length > 1)) {
      throw new ReportError('Drop one report archive at a time, or the log files of a logs folder without an archive.');
    }
    let report;
    if (zips.length === 1) {
      let inflater;
      ({ report, inflater } = await readArchiveInWorkers(zips[0].name, zips[0].bytes, workers, inflaterModule));
      status.inflater = inflater;
    } else {
      report = await readLogFiles(loaded);
    }
    status.timings.parsed = performance.now();
    status.steps = { ...stepTimes };
    document.title = `${report.title} — Orvella report`;
    renderHeader(report, monitoredDays(report));
    for (const id of ['notifications', 'days', 'trace', 'bad']) $(id).replaceChildren();
    $('report').hidden = false;
    // The lanes first; the tables once they are on the screen.
    status.lanes = drawLanes($('lanes'), $('readout'), report, () => {
      status.timings.drawn = performance.now();
      status.periods = report.periods.map((p, m) => ({ monitor: MONITORS[m].id, periods: p }));
      setState('drawn');
      setTimeout(() => {
        renderNotifications(report);
        renderTable(dailyTable(report));
        renderTrace(report);
        renderBadLines(report);
        status.timings.complete = performance.now();
        setState('complete');
      });
    });
  } catch (error) {
    $('report').hidden = true;
    showError(error instanceof ReportError ? error.message : `The file could not be read: ${error.message}`);
  } finally {
    $('drop').classList.remove('busy');
  }
}

$('pick').addEventListener('change', (e) => {
  const files = [...e.target.files];
  e.target.value = ''; // so that picking the same file again reads it again
  open(files);
});
window.addEventListener('dragover', (e) => {
  e.preventDefault();
  $('drop').classList.add('over');
});
window.addEventListener('dragleave', () => $('drop').classList.remove('over'));
window.addEventListener('drop', (e) => {
  e.preventDefault();
  $('drop').classList.remove('over');
  open(e.dataTransfer.files);
});
setState('idle');
