// The six monitors in the order of the program's monitor list, with the bounds
// their classes set and the code their notification window shows.

export const NO_LOWER_BOUND = -1.7976931348623157e308;

// The disk queue's bound: the double nearest to 1.99999999999999, just below
// 2, so that a queue of 2 is already out of bounds.
const DISK_QUEUE_MAX = 1.99999999999999;

export const MONITORS = [
  { id: 'gateway', title: 'Gateway', unit: 'ms', max: 150, pinger: true },
  { id: 'google', title: 'Internet (8.8.8.8)', unit: 'ms', max: 150, pinger: true },
  { id: 'rdp', title: 'Server', unit: 'ms', max: 150, pinger: true },
  { id: 'cpu', title: 'Processor', unit: '%', max: 98.0, pinger: false },
  { id: 'ram', title: 'Memory', unit: '%', max: 99.0, pinger: false },
  { id: 'disk', title: 'Disk queue', unit: '', max: DISK_QUEUE_MAX, pinger: false },
].map((monitor, ordinal) => ({ ...monitor, ordinal, min: NO_LOWER_BOUND }));

export const MONITOR_BY_ID = new Map(MONITORS.map((monitor) => [monitor.id, monitor]));

// The verdicts on one sample, with the ordinals the program uses.
export const CLEAR = 0;
export const OK = 1;
export const OUT_OF_BOUNDS = 2;
export const ERROR = 3;

// The caption of the program's notification window for a monitor.
export function errorCaption(ordinal) {
  return `Код ошибки #${String(ordinal + 1).padStart(4, '0')}`;
}

export function errorCode(ordinal) {
  return `#${String(ordinal + 1).padStart(4, '0')}`;
}
