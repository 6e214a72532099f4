// An archive entry's bytes, checked against the CRC-32 and the length that the
// central directory records for it: inflating damaged data does not always
// fail. Where the browser has DecompressionStream, its own inflater does both
// in native code: the entry's raw Deflate data is handed over framed as gzip,
// whose trailer carries that CRC-32 and length, so that a mismatch fails the
// stream. Elsewhere fflate inflates and the CRC-32 is computed here.
import { inflateSync } from 'fflate';

import { ReportError } from './reportError.js';
import { crc32 } from './zipCheck.js';

export const HAS_NATIVE_INFLATE = typeof DecompressionStream === 'function';

const STORED = 0;
const DEFLATED = 8;
// Deflate packs at most 1032 bytes into one; a directory that claims more has
// a damaged size, and the page would try to allocate it.
const MAX_RATIO = 1032;

// ID1 ID2, CM = Deflate, no flags, no time, no extra flags, OS unknown.
const GZIP_HEADER = new Uint8Array([0x1f, 0x8b, 8, 0, 0, 0, 0, 0, 0, 255]);

const ignore = () => {};

async function inflateNatively(packed, entry) {
  const trailer = new Uint8Array(8);
  const view = new DataView(trailer.buffer);
  view.setUint32(0, entry.crc, true);
  view.setUint32(4, entry.size >>> 0, true);
  const stream = new DecompressionStream('gzip');
  const writer = stream.writable.getWriter();
  // The writes settle as the reader drains the stream; a failure of theirs is
  // the reader's too.
  for (const chunk of [GZIP_HEADER, packed, trailer]) writer.write(chunk).catch(ignore);
  writer.close().catch(ignore);
  const reader = stream.readable.getReader();
  const out = new Uint8Array(entry.size);
  let length = 0;
  for (;;) {
    const { done, value } = await reader.read();
    if (done) break;
    if (length + value.length > out.length) {
      reader.cancel().catch(ignore);
      throw new Error('it is longer than the archive says');
    }
    out.set(value, length);
    length += value.length;
  }
  if (length !== out.length) throw new Error('it is shorter than the archive says');
  return out;
}

function inflateWithFflate(packed, entry) {
  const out = inflateSync(packed);
  if (out.length !== entry.size) throw new Error(`it holds ${out.length} bytes, not ${entry.size} as the archive says`);
  return out;
}

// entry: one of readZipDirectory's.
export async function inflateEntry(title, archive, entry, native = HAS_NATIVE_INFLATE) {
  const damaged = (why) => new ReportError(`${title} is damaged: its entry ${entry.name} ${why}.`);
  if (entry.encrypted) throw new ReportError(`${title}: its entry ${entry.name} is encrypted; a report archive never is.`);
  if (entry.method !== STORED && entry.method !== DEFLATED) {
    throw new ReportError(`${title}: its entry ${entry.name} is packed with method ${entry.method}, which this page cannot unpack.`);
  }
  const packed = archive.subarray(entry.data, entry.data + entry.compressedSize);
  if (entry.method === STORED ? entry.size !== packed.length : entry.size > packed.length * MAX_RATIO + 64) {
    throw damaged('has a size that does not fit its packed data');
  }
  let data;
  try {
    if (entry.method === STORED) data = packed;
    else if (native) return await inflateNatively(packed, entry);
    else data = inflateWithFflate(packed, entry);
  } catch (error) {
    throw damaged(`cannot be unpacked (${error.message})`);
  }
  if (crc32(data) !== entry.crc) throw damaged('does not match its checksum');
  return data;
}
