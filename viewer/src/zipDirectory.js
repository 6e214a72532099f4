// The central directory of a zip archive: each entry's name, how it is packed,
// its CRC-32 and sizes, and where its data begins. Every offset is checked
// against the archive's length, so that a cut or damaged archive is refused
// with a message instead of being read wrong.
import { ReportError } from './reportError.js';

const END = 0x06054b50;
const ZIP64_LOCATOR = 0x07064b50;
const CENTRAL = 0x02014b50;
const LOCAL = 0x04034b50;
const MAX_COMMENT = 65535;
// A report archive is a few dozen MB; ZIP64 (archives and entries of 4 GB and
// more) is refused with its own message.
const NOT_IN_32_BITS = 0xffffffff;

const names = new TextDecoder('utf-8');

// [{ name, method, encrypted, crc, compressedSize, size, data }]; data is the
// offset of the entry's packed bytes.
export function readZipDirectory(title, bytes) {
  const damaged = (why) => new ReportError(`${title} is damaged: its table of contents cannot be read (${why}).`);
  const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  let end = -1;
  for (let i = bytes.length - 22; i >= Math.max(0, bytes.length - 22 - MAX_COMMENT); i--) {
    if (view.getUint32(i, true) === END) {
      end = i;
      break;
    }
  }
  if (end < 0) throw damaged('the end of the archive is missing');
  const tooBig = () => new ReportError(`${title} is too big for this page: it is packed as ZIP64, for 4 GB and more.`);
  if (end >= 20 && view.getUint32(end - 20, true) === ZIP64_LOCATOR) throw tooBig();
  const count = view.getUint16(end + 10, true);
  let at = view.getUint32(end + 16, true);
  const entries = [];
  for (let k = 0; k < count; k++) {
    if (at + 46 > bytes.length || view.getUint32(at, true) !== CENTRAL) {
      throw damaged(`entry ${k + 1} of ${count} is missing`);
    }
    const nameLength = view.getUint16(at + 28, true);
    const next = at + 46 + nameLength + view.getUint16(at + 30, true) + view.getUint16(at + 32, true);
    if (next > bytes.length) throw damaged(`entry ${k + 1} of ${count} is cut off`);
    const name = names.decode(bytes.subarray(at + 46, at + 46 + nameLength));
    const size = view.getUint32(at + 24, true);
    const compressedSize = view.getUint32(at + 20, true);
    const local = view.getUint32(at + 42, true);
    if (size === NOT_IN_32_BITS || compressedSize === NOT_IN_32_BITS || local === NOT_IN_32_BITS) throw tooBig();
    if (local + 30 > bytes.length || view.getUint32(local, true) !== LOCAL) throw damaged(`${name} is not where it says`);
    const data = local + 30 + view.getUint16(local + 26, true) + view.getUint16(local + 28, true);
    if (data + compressedSize > bytes.length) throw damaged(`${name} runs past the end of the archive`);
    entries.push({
      name,
      method: view.getUint16(at + 10, true),
      encrypted: (view.getUint16(at + 8, true) & 1) !== 0,
      crc: view.getUint32(at + 16, true),
      compressedSize,
      size,
      data,
    });
    at = next;
  }
  return entries;
}
