// Log lines as the program writes them, for the tests.
import { MONITORS } from '../src/monitors.js';

const two = (n) => String(n).padStart(2, '0');

// "dd.mm.yyyy hh:nn:ss" of second s after 19.04.2021 00:00:00.
export function stamp(s, separator = ':') {
  const d = new Date(Date.UTC(2021, 3, 19) + s * 1000);
  return `${two(d.getUTCDate())}.${two(d.getUTCMonth() + 1)}.${d.getUTCFullYear()} ` +
    [d.getUTCHours(), d.getUTCMinutes(), d.getUTCSeconds()].map(two).join(separator);
}

export const BASE = Date.UTC(2021, 3, 19) / 1000;

const TARGETS = { gateway: ['gateway', '192.168.1.1'], google: ['google DNS', '8.8.8.8'], rdp: ['c1.rdp.example', '203.0.113.40'] };

// One sample's line. A pinger's sample is a number (RTT), a text, '' (none)
// or { rtt | text, ip }.
export function line(id, s, sample) {
  if (!MONITORS.find((m) => m.id === id).pinger) return `${stamp(s)} - ${sample}\r\n`;
  const [descr, defaultIp] = TARGETS[id];
  const ip = (typeof sample === 'object' && sample.ip) || defaultIp;
  const value = typeof sample === 'object' ? (sample.rtt ?? sample.text) : sample;
  let text = `Ping ${descr} (${ip}): Timeout=4000ms MaxValue=150ms DataSize=1000.`;
  if (typeof value === 'number') text += ` Reply from ${ip}: DataSize=1000 RTT=${value}ms TTL=64`;
  else text += ` ${value}`;
  return `${stamp(s)} - ${text}\r\n`;
}

export const bytes = (text) => new TextEncoder().encode(text);
