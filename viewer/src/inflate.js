// An archive entry's bytes, checked against the CRC-32 and the length that the
// central directory records for it: inflating damaged data does not always
// fail. The page's own WebAssembly inflater does it where WebAssembly runs
// (wasmInflater.js). Elsewhere the browser's DecompressionStream does both in
// native code: the entry's raw Deflate data is handed over framed as gzip,
// whose trailer carries that CRC-32 and length, so that a mismatch fails the
// stream. Without either, fflate inflates and the CRC-32 is computed here.
import { inflateSync } from 'fflate';

import { ReportError } from './reportError.js';
import { WasmInflater } from './wasmInflater.js';
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

// inflate(packed, entry) gives the entry's inflated bytes; verifies: whether
// it has checked them against the entry's CRC-32 too.
export const nativeInflater = {
  name: 'native',
  verifies: true,
  crc32,
  async inflate(packed, entry) {
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
  },
};

export const fflateInflater = {
  name: 'fflate',
  verifies: false,
  crc32,
  inflate(packed, entry) {
    const out = inflateSync(packed);
    if (out.length !== entry.size) throw new Error(`it holds ${out.length} bytes, not ${entry.size} as the archive says`);
    return out;
  },
};

export const DEFAULT_INFLATER = HAS_NATIVE_INFLATE ? nativeInflater : fflateInflater;

// The WebAssembly inflater of module (a WebAssembly.Module, or undefined
// where it could not be compiled); the browser's own where it cannot run.
export function bestInflater(module) {
  if (module) {
    try {
      return new WasmInflater(module);
    } catch (error) {
      console.warn(`inflating without WebAssembly: ${error.message}`);
    }
  }
  return DEFAULT_INFLATER;
}

// entry: one of readZipDirectory's. The bytes may be the inflater's own
// memory, valid until its next inflate.
export async function inflateEntry(title, archive, entry, inflater = DEFAULT_INFLATER) {
  const damaged = (why) => new ReportError(`${title} is damaged: its entry ${entry.name} ${why}.`);
  if (entry.encrypted) throw new ReportError(`${title}: its entry ${entry.name} is encrypted; a report archive never is.`);
  if (entry.method !== STORED && entry.method !== DEFLATED) {
    throw new ReportError(`${title}: its entry ${entry.name} is packed with method ${entry.method}, which this page cannot unpack.`);
  }
  const packed = archive.subarray(entry.data, entry.data + entry.compressedSize);
  if (entry.method === STORED ? entry.size !== packed.length : entry.size > packed.length * MAX_RATIO + 64) {
    throw damaged('has a size that does not fit its packed data');
  }
  if (entry.method === STORED) {
    if (inflater.crc32(packed) !== entry.crc) throw damaged('does not match its checksum');
    return packed;
  }
  let data;
  try {
    data = await inflater.inflate(packed, entry);
  } catch (error) {
    throw damaged(`cannot be unpacked (${error.message})`);
  }
  if (!inflater.verifies && inflater.crc32(data) !== entry.crc) throw damaged('does not match its checksum');
  return data;
}
