// The lanes: one uPlot chart per monitor on one shared time axis. Drag to
// zoom, Shift+drag or the wheel to pan and zoom, double click to reset; all
// lanes follow, and the cursor's second is read out for every lane.
import uPlot from 'uplot';

import { ERROR, MONITORS, errorCode } from './monitors.js';
import { formatTime } from './format.js';

// Lines more than this far apart are not joined.
const JOIN_SECONDS = 5;
const LANE_HEIGHT = 130;
const SHADE = 'rgba(255, 170, 0, 0.28)';
const SHADE_EDGE = 'rgba(214, 120, 0, 0.9)';
const FAILED = '#c62828';

const utc = (seconds) => uPlot.tzDate(new Date(seconds * 1000), 'Etc/UTC');

// Axis labels in the 24-hour form the logs use.
function axisLabels(u, splits, axis, space, increment) {
  return splits.map((t) => {
    const text = formatTime(t);
    if (increment >= 86400) return text.slice(0, 5);
    if (increment < 60) return text.slice(11);
    return t % 86400 === 0 ? text.slice(0, 5) : text.slice(11, 16);
  });
}

// x and y of one lane, with a break in the line wherever the samples pause,
// and the times of its failed samples, drawn as marks of their own.
function laneData(s) {
  const n = s.times.length;
  const xs = new Float64Array(n + Math.min(n, 100000));
  const ys = [];
  const failed = [];
  let k = 0;
  for (let i = 0; i < n; i++) {
    const t = s.times[i];
    if (k > 0 && t <= xs[k - 1]) continue; // a clock set back: keep the axis ascending
    if (i > 0 && t - s.times[i - 1] > JOIN_SECONDS && k < xs.length - 1 && xs.length - k > n - i) {
      xs[k++] = s.times[i - 1] + 1;
      ys.push(null);
    }
    xs[k++] = t;
    const v = s.values[i];
    ys.push(Number.isFinite(v) ? v : null);
    if (s.verdicts[i] === ERROR) failed.push(t);
  }
  return { data: [xs.subarray(0, k), ys], failed: Float64Array.from(failed) };
}

// The index of the last sample at or before t, or -1.
export function sampleAt(times, t) {
  let lo = 0;
  let hi = times.length - 1;
  if (hi < 0 || times[0] > t) return -1;
  while (lo < hi) {
    const mid = (lo + hi + 1) >> 1;
    if (times[mid] <= t) lo = mid;
    else hi = mid - 1;
  }
  return lo;
}

function describe(s, m, i, notified) {
  const monitor = MONITORS[m];
  const v = s.values[i];
  let text;
  if (s.verdicts[i] === ERROR) text = s.texts[s.textIds[i]];
  else if (Number.isFinite(v)) text = `${monitor.unit === 'ms' ? v : v.toFixed(monitor.unit === '%' ? 1 : 2)}${monitor.unit ? ' ' + monitor.unit : ''}`;
  else if (Number.isNaN(v) && s.verdicts[i] !== 0) text = 'NAN';
  else text = 'no value';
  return notified ? `${text}  [${errorCode(m)}]` : text;
}

export function drawLanes(container, readout, report, onDrawn) {
  container.replaceChildren();
  const charts = [];
  const sync = uPlot.sync('orvella-lanes');
  const span = [report.first, Math.max(report.last, report.first + 1)];
  let syncing = false;
  let pending = report.series.filter(Boolean).length;

  const setAll = (min, max) => {
    syncing = true;
    for (const chart of charts) chart.setScale('x', { min, max });
    syncing = false;
  };

  const showReadout = (t) => {
    if (t == null || !Number.isFinite(t)) {
      readout.textContent = 'Point at a lane to read every monitor at that second.';
      return;
    }
    const parts = [formatTime(Math.floor(t))];
    report.series.forEach((s, m) => {
      if (!s) return;
      const i = sampleAt(s.times, Math.floor(t));
      const near = i >= 0 && Math.floor(t) - s.times[i] <= 1;
      parts.push(`${MONITORS[m].title}: ${near ? describe(s, m, i, report.rules.notified[m][i]) : '—'}`);
    });
    readout.textContent = parts.join('   ·   ');
  };
  showReadout(null);

  report.series.forEach((s, m) => {
    if (!s) return;
    const monitor = MONITORS[m];
    const lane = document.createElement('section');
    lane.className = 'lane';
    lane.dataset.monitor = monitor.id;
    const title = document.createElement('h3');
    title.textContent = `${monitor.title}${monitor.unit ? ' (' + monitor.unit + ')' : ''} — bound ${monitor.id === 'disk' ? 2 : monitor.max}`;
    lane.append(title);
    container.append(lane);
    const periods = report.periods[m];
    const data = laneData(s);
    const failed = data.failed;
    const bound = monitor.id === 'disk' ? 2 : monitor.max;

    const opts = {
      width: Math.max(400, container.clientWidth - 8),
      height: LANE_HEIGHT,
      tzDate: utc,
      legend: { show: false },
      cursor: {
        sync: { key: sync.key, setSeries: false },
        drag: { x: true, y: false, setScale: true },
        bind: {
          mousedown: (u, target, handler) => (e) => {
            if (!e.shiftKey) return handler(e);
            startPan(u, e);
            return null;
          },
        },
      },
      scales: {
        x: { time: true, min: span[0], max: span[1] },
        y: {
          range: (u, min, max) => [Math.min(0, min ?? 0), Math.max(bound * 1.3, max ?? bound)],
        },
      },
      axes: [{ values: axisLabels }, { size: 60 }],
      series: [{}, { label: monitor.title, stroke: '#1f5fa8', width: 1, spanGaps: false, points: { show: false } }],
      hooks: {
        drawClear: [
          (u) => {
            const { ctx, bbox } = u;
            ctx.save();
            for (const [from, to] of periods) {
              const x0 = u.valToPos(from, 'x', true);
              const x1 = Math.max(u.valToPos(to + 1, 'x', true), x0 + 2);
              if (x1 < bbox.left || x0 > bbox.left + bbox.width) continue;
              ctx.fillStyle = SHADE;
              ctx.fillRect(x0, bbox.top, x1 - x0, bbox.height);
            }
            ctx.restore();
          },
        ],
        draw: [
          (u) => {
            const { ctx, bbox } = u;
            ctx.save();
            const y = u.valToPos(bound, 'y', true);
            ctx.strokeStyle = '#d84315';
            ctx.setLineDash([6, 4]);
            ctx.lineWidth = 1;
            ctx.beginPath();
            ctx.moveTo(bbox.left, y);
            ctx.lineTo(bbox.left + bbox.width, y);
            ctx.stroke();
            ctx.setLineDash([]);
            // Failed samples: a mark each along the top, one per pixel at most.
            ctx.fillStyle = FAILED;
            const size = Math.max(3, Math.round(3 * devicePixelRatio));
            const { min, max } = u.scales.x;
            let lastX = -Infinity;
            for (let j = sampleAt(failed, min) + 1; j < failed.length && failed[j] <= max; j++) {
              const x = Math.round(u.valToPos(failed[j], 'x', true));
              if (x === lastX) continue;
              ctx.fillRect(x - size / 2, bbox.top + size, size, size * 2);
              lastX = x;
            }
            ctx.fillStyle = SHADE_EDGE;
            ctx.font = `${Math.round(11 * devicePixelRatio)}px sans-serif`;
            ctx.textBaseline = 'top';
            let lastLabel = -Infinity;
            for (const [from] of periods) {
              const x0 = u.valToPos(from, 'x', true);
              if (x0 < bbox.left - 1 || x0 > bbox.left + bbox.width || x0 - lastLabel < 50 * devicePixelRatio) continue;
              ctx.fillText(errorCode(m), x0 + 2, bbox.top + 12 * devicePixelRatio);
              lastLabel = x0;
            }
            ctx.restore();
          },
          () => {
            if (pending > 0 && --pending === 0) onDrawn();
          },
        ],
        setScale: [
          (u, key) => {
            if (key !== 'x' || syncing) return;
            const { min, max } = u.scales.x;
            syncing = true;
            for (const chart of charts) if (chart !== u) chart.setScale('x', { min, max });
            syncing = false;
          },
        ],
        setCursor: [(u) => showReadout(u.cursor.left >= 0 ? u.posToVal(u.cursor.left, 'x') : null)],
      },
    };
    const chart = new uPlot(opts, data.data, lane);
    chart.over.addEventListener('dblclick', () => setAll(span[0], span[1]));
    chart.over.addEventListener(
      'wheel',
      (e) => {
        e.preventDefault();
        const { min, max } = chart.scales.x;
        const at = chart.posToVal(e.offsetX, 'x');
        const factor = e.deltaY > 0 ? 1.25 : 0.8;
        const width = Math.max(10, (max - min) * factor);
        const left = at - ((at - min) / (max - min)) * width;
        setAll(Math.max(span[0] - width / 2, left), Math.min(span[1] + width / 2, left + width));
      },
      { passive: false },
    );
    charts.push(chart);
  });

  function startPan(u, e) {
    const { min, max } = u.scales.x;
    const perPixel = (max - min) / u.over.clientWidth;
    const x0 = e.clientX;
    const move = (ev) => setAll(min - (ev.clientX - x0) * perPixel, max - (ev.clientX - x0) * perPixel);
    const up = () => {
      window.removeEventListener('mousemove', move);
      window.removeEventListener('mouseup', up);
    };
    window.addEventListener('mousemove', move);
    window.addEventListener('mouseup', up);
  }

  const resize = () => {
    const width = Math.max(400, container.clientWidth - 8);
    for (const chart of charts) chart.setSize({ width, height: LANE_HEIGHT });
  };
  window.addEventListener('resize', resize);
  if (pending === 0) onDrawn();
  return { charts, setAll, span };
}
