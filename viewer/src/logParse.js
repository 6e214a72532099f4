// Reads one daily log file of a monitor, as the program writes it: one line a
// sample, "dd.mm.yyyy hh:nn:ss - value" and CR LF; a pinger's value is its
// request ("Ping <target> (<ip>): Timeout=...ms MaxValue=...ms DataSize=....")
// followed by the reply ("Reply from ...: DataSize=... RTT=...ms TTL=...") or
// by the text of why there was none. The file is read as bytes: a week of a
// busy PC is millions of lines.
import { CLEAR, ERROR, OK, OUT_OF_BOUNDS } from './monitors.js';

// How many lines that do not parse are kept with their text, per file.
export const KEPT_BAD_LINES = 200;

const utf8 = new TextDecoder('utf-8');

const CR = 13;
const LF = 10;
const SPACE = 32;
const MINUS = 45;
const DOT = 46;
const COMMA = 44;

function bytesOf(text) {
  return Uint8Array.from(text, (c) => c.charCodeAt(0));
}
const PING = bytesOf('Ping ');
const TIMEOUT = bytesOf('): Timeout=');
const DATA_SIZE = bytesOf(' DataSize=');
const REPLY_FROM = bytesOf(' Reply from ');
const RTT = bytesOf(' RTT=');
const MS_TTL = bytesOf('ms TTL=');

function isDigit(b) {
  return b >= 48 && b <= 57;
}

function startsAt(bytes, at, pattern) {
  if (at + pattern.length > bytes.length) return false;
  for (let i = 0; i < pattern.length; i++) if (bytes[at + i] !== pattern[i]) return false;
  return true;
}

function find(bytes, pattern, from, end) {
  const last = end - pattern.length;
  const first = pattern[0];
  for (let i = from; i <= last; i++) {
    if (bytes[i] === first && startsAt(bytes, i, pattern)) return i;
  }
  return -1;
}

// Digits of [from, end) as a whole number; -1 when there are none or others.
function wholeNumber(bytes, from, end) {
  if (from >= end) return -1;
  let n = 0;
  for (let i = from; i < end; i++) {
    const b = bytes[i];
    if (!isDigit(b)) return -1;
    n = n * 10 + (b - 48);
  }
  return n;
}

const POWERS = Array.from({ length: 23 }, (_, i) => 10 ** i);

// A real number as the program writes it: at most 15 significant digits,
// the regional decimal separator (a dot or a comma), scientific notation
// with "E" for very large or small magnitudes, and NAN, INF, -INF. Returns
// undefined for anything else. The digits are exact in a double, so one
// multiplication or division by an exact power of ten rounds correctly.
export function parseReal(bytes, from, end) {
  let i = from;
  let negative = false;
  if (bytes[i] === MINUS) {
    negative = true;
    i++;
  }
  if (end - i === 3 && bytes[i] === 73 && bytes[i + 1] === 78 && bytes[i + 2] === 70) {
    return negative ? -Infinity : Infinity;
  }
  if (!negative && end - i === 3 && bytes[i] === 78 && bytes[i + 1] === 65 && bytes[i + 2] === 78) return NaN;
  let digits = 0;
  let count = 0;
  let scale = 0;
  let seen = false;
  while (i < end && isDigit(bytes[i])) {
    digits = digits * 10 + (bytes[i++] - 48);
    if (digits > 0) count++;
    seen = true;
  }
  if (i < end && (bytes[i] === DOT || bytes[i] === COMMA)) {
    i++;
    let fraction = false;
    while (i < end && isDigit(bytes[i])) {
      digits = digits * 10 + (bytes[i++] - 48);
      if (digits > 0) count++;
      scale--;
      fraction = true;
    }
    if (!fraction) return undefined;
  }
  if (!seen) return undefined;
  if (i < end && bytes[i] === 69) {
    i++;
    let sign = 1;
    if (bytes[i] === MINUS) {
      sign = -1;
      i++;
    }
    const exponent = wholeNumber(bytes, i, end);
    if (exponent < 0) return undefined;
    scale += sign * exponent;
    i = end;
  }
  if (i !== end) return undefined;
  if (count > 15 || Math.abs(scale) > 22) {
    return Number(String.fromCharCode(...bytes.subarray(from, end)).replace(',', '.'));
  }
  const value = scale >= 0 ? digits * POWERS[scale] : digits / POWERS[-scale];
  return negative ? -value : value;
}

const dayCache = { key: -1, seconds: 0 };

// Seconds of "dd.mm.yyyy hh:nn:ss" at [at, at + 19), the local time of the
// PC counted as if it were UTC; -1 when it is not a time stamp. The time
// separator is the PC's regional one, so any non-digit is taken.
export function parseTimeStamp(bytes, at) {
  const d0 = bytes[at] - 48;
  const d1 = bytes[at + 1] - 48;
  const m0 = bytes[at + 3] - 48;
  const m1 = bytes[at + 4] - 48;
  const y0 = bytes[at + 6] - 48;
  const y1 = bytes[at + 7] - 48;
  const y2 = bytes[at + 8] - 48;
  const y3 = bytes[at + 9] - 48;
  const h0 = bytes[at + 11] - 48;
  const h1 = bytes[at + 12] - 48;
  const n0 = bytes[at + 14] - 48;
  const n1 = bytes[at + 15] - 48;
  const s0 = bytes[at + 17] - 48;
  const s1 = bytes[at + 18] - 48;
  // A byte below "0" makes the OR negative, one above "9" makes it 10 or more.
  if ((d0 | d1 | m0 | m1 | y0 | y1 | y2 | y3 | h0 | h1 | n0 | n1 | s0 | s1) >>> 0 > 15) return -1;
  if (d0 > 9 || d1 > 9 || m0 > 9 || m1 > 9 || y0 > 9 || y1 > 9 || y2 > 9 || y3 > 9) return -1;
  if (h0 > 9 || h1 > 9 || n0 > 9 || n1 > 9 || s0 > 9 || s1 > 9) return -1;
  if (bytes[at + 2] !== DOT || bytes[at + 5] !== DOT || bytes[at + 10] !== SPACE) return -1;
  const separator = bytes[at + 13];
  if (isDigit(separator) || bytes[at + 16] !== separator) return -1;
  const day = d0 * 10 + d1;
  const month = m0 * 10 + m1;
  const year = y0 * 1000 + y1 * 100 + y2 * 10 + y3;
  const hour = h0 * 10 + h1;
  const minute = n0 * 10 + n1;
  const second = s0 * 10 + s1;
  if (hour > 23 || minute > 59 || second > 59) return -1;
  const key = year * 10000 + month * 100 + day;
  if (key !== dayCache.key) {
    const date = new Date(Date.UTC(year, month - 1, day));
    if (month < 1 || month > 12 || date.getUTCDate() !== day || date.getUTCMonth() !== month - 1) return -1;
    dayCache.key = key;
    dayCache.seconds = date.getTime() / 1000;
  }
  return dayCache.seconds + hour * 3600 + minute * 60 + second;
}

function judge(value, monitor) {
  if (value < monitor.min || value > monitor.max) return OUT_OF_BOUNDS;
  return OK;
}

class TextTable {
  constructor() {
    this.texts = [];
    this.index = new Map();
  }
  add(text) {
    let i = this.index.get(text);
    if (i === undefined) {
      i = this.texts.length;
      this.texts.push(text);
      this.index.set(text, i);
    }
    return i;
  }
}

// The samples of one file. Every line is either a sample or counted as bad,
// with its line number and (for the first ones) its text.
export function parseLogFile(bytes, monitor, texts = new TextTable(), targets = new TextTable()) {
  let capacity = 1;
  for (let at = bytes.indexOf(LF); at >= 0; at = bytes.indexOf(LF, at + 1)) capacity++;
  const times = new Float64Array(capacity);
  const values = new Float64Array(capacity);
  const verdicts = new Uint8Array(capacity);
  const textIds = new Int32Array(capacity);
  const targetIds = new Int32Array(monitor.pinger ? capacity : 0);
  const bad = { count: 0, lines: [] };
  const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  // Whether [a, a + length) and [b, b + length) hold the same bytes: four a
  // step from the end, where lines differ first, then the rest.
  const same = (a, b, length) => {
    let k = length - 4;
    while (k >= 0 && view.getUint32(a + k) === view.getUint32(b + k)) k -= 4;
    k += 3;
    while (k >= 0 && bytes[a + k] === bytes[b + k]) k--;
    return k < 0;
  };
  let n = 0;
  let lineNumber = 0;
  let lastHeaderFrom = -1;
  let lastHeaderEnd = -1;
  let lastTarget = -1;
  let lastReplyFrom = -1;
  let lastReplyLength = 0;

  const badLine = (from, end) => {
    bad.count++;
    if (bad.lines.length < KEPT_BAD_LINES) bad.lines.push({ line: lineNumber, text: utf8.decode(bytes.subarray(from, end)) });
  };

  // The request part of a pinger's line ends after "DataSize=<n>."; returns
  // its end and the target, or -1. Most lines repeat the last line's request
  // byte for byte, and a copy of a valid request is one, with the same target.
  const pingHeader = (from, end) => {
    const lastLength = lastHeaderEnd - lastHeaderFrom;
    if (lastHeaderFrom >= 0 && from + lastLength <= end) {
      if (same(from, lastHeaderFrom, lastLength)) {
        lastHeaderFrom = from;
        lastHeaderEnd = from + lastLength;
        return lastHeaderEnd;
      }
    }
    if (!startsAt(bytes, from, PING)) return -1;
    const close = find(bytes, TIMEOUT, from + PING.length, end);
    if (close < 0) return -1;
    const size = find(bytes, DATA_SIZE, close, end);
    if (size < 0) return -1;
    let i = size + DATA_SIZE.length;
    while (i < end && isDigit(bytes[i])) i++;
    if (i === size + DATA_SIZE.length || bytes[i] !== DOT) return -1;
    let open = close - 1;
    while (open > from + PING.length && bytes[open] !== 40) open--;
    if (bytes[open] !== 40 || bytes[open - 1] !== SPACE) return -1;
    const descr = utf8.decode(bytes.subarray(from + PING.length, open - 1));
    const ip = utf8.decode(bytes.subarray(open + 1, close));
    lastTarget = targets.add(`${descr}\u0000${ip}`);
    lastHeaderFrom = from;
    lastHeaderEnd = i + 1;
    return lastHeaderEnd;
  };

  let start = 0;
  const length = bytes.length;
  while (start < length) {
    let stop = bytes.indexOf(LF, start);
    if (stop < 0) stop = length;
    const next = stop + 1;
    lineNumber++;
    let end = stop;
    if (end > start && bytes[end - 1] === CR) end--;
    if (end === start && next >= length) break; // the end of the last line
    const time = end - start >= 22 ? parseTimeStamp(bytes, start) : -1;
    if (time < 0 || bytes[start + 19] !== SPACE || bytes[start + 20] !== MINUS || bytes[start + 21] !== SPACE) {
      badLine(start, end);
      start = next;
      continue;
    }
    const from = start + 22;
    let value = NaN;
    let verdict;
    let text = -1;
    if (monitor.pinger) {
      const header = pingHeader(from, end);
      if (header < 0) {
        badLine(start, end);
        start = next;
        continue;
      }
      if (end - header <= 1) {
        verdict = end === header || bytes[header] === SPACE ? CLEAR : -1;
      } else if (startsAt(bytes, header, REPLY_FROM)) {
        // A reply mostly repeats the last one up to its round-trip time.
        const known = lastReplyLength > 0 && header + lastReplyLength <= end && same(header, lastReplyFrom, lastReplyLength);
        const rtt = known ? header + lastReplyLength - RTT.length : find(bytes, RTT, header + REPLY_FROM.length, end);
        if (rtt >= 0) {
          lastReplyFrom = header;
          lastReplyLength = rtt + RTT.length - header;
        }
        const ms = rtt < 0 ? -1 : find(bytes, MS_TTL, rtt, end);
        const negative = rtt >= 0 && bytes[rtt + RTT.length] === MINUS;
        const number = ms < 0 ? -1 : wholeNumber(bytes, rtt + RTT.length + (negative ? 1 : 0), ms);
        if (number < 0 || wholeNumber(bytes, ms + MS_TTL.length, end) < 0) {
          verdict = -1;
        } else {
          value = negative ? -number : number;
          verdict = judge(value, monitor);
        }
      } else if (bytes[header] === SPACE) {
        verdict = ERROR;
        text = texts.add(utf8.decode(bytes.subarray(header + 1, end)));
      } else {
        verdict = -1;
      }
      if (verdict < 0) {
        badLine(start, end);
        start = next;
        continue;
      }
      targetIds[n] = lastTarget;
    } else if (end === from) {
      verdict = CLEAR;
    } else {
      const number = parseReal(bytes, from, end);
      if (number === undefined) {
        verdict = ERROR;
        text = texts.add(utf8.decode(bytes.subarray(from, end)));
      } else {
        value = number;
        verdict = judge(number, monitor);
      }
    }
    times[n] = time;
    values[n] = value;
    verdicts[n] = verdict;
    textIds[n] = text;
    n++;
    start = next;
  }
  return {
    times: times.subarray(0, n),
    values: values.subarray(0, n),
    verdicts: verdicts.subarray(0, n),
    textIds: textIds.subarray(0, n),
    targetIds: targetIds.subarray(0, monitor.pinger ? n : 0),
    bad,
    lines: lineNumber,
  };
}

export { TextTable };
