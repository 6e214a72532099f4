// Times of the logs are the PC's local times, kept as seconds counted as if
// they were UTC; they are shown as the logs write them.
const two = (n) => String(n).padStart(2, '0');

export function formatDate(seconds) {
  const d = new Date(seconds * 1000);
  return `${two(d.getUTCDate())}.${two(d.getUTCMonth() + 1)}.${d.getUTCFullYear()}`;
}

export function formatTime(seconds) {
  const d = new Date(seconds * 1000);
  return `${formatDate(seconds)} ${two(d.getUTCHours())}:${two(d.getUTCMinutes())}:${two(d.getUTCSeconds())}`;
}

export function formatDuration(seconds) {
  const s = Math.round(seconds);
  return `${Math.floor(s / 3600)}:${two(Math.floor(s / 60) % 60)}:${two(s % 60)}`;
}

export function formatNumber(value, digits = 1) {
  return Number.isFinite(value) ? value.toFixed(digits) : '—';
}
