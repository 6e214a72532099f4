// libdeflate's inflater and CRC-32, compiled to WebAssembly at build time
// (wasm/inflater.c): several times the speed of the browsers' own
// DecompressionStream. One per thread; its memory holds one entry at a time,
// so what inflate returns is a view that the next inflate overwrites.
const PAGE = 65536;
const ALIGN = 16;
const FAILURES = {
  1: 'its packed data is not valid Deflate',
  2: 'it is shorter than the archive says',
  3: 'it is longer than the archive says',
};

const aligned = (at) => Math.ceil(at / ALIGN) * ALIGN;

export class WasmInflater {
  // module: the compiled WebAssembly.Module (it can be handed to workers).
  constructor(module) {
    const { exports } = new WebAssembly.Instance(module, {});
    this.exports = exports;
    this.free = aligned(exports.__heap_base.value);
    this.name = 'wasm';
    this.verifies = false; // inflateEntry asks for the CRC-32 (crc32 below)
  }

  static compile(bytes) {
    return new WebAssembly.Module(bytes);
  }

  // Memory from free up to at least end; a failure to grow is the entry's.
  room(end) {
    const { memory } = this.exports;
    if (end > memory.buffer.byteLength) memory.grow(Math.ceil((end - memory.buffer.byteLength) / PAGE));
    return memory.buffer;
  }

  // The entry's size bytes inflated from packed; throws why not.
  inflate(packed, entry) {
    const input = this.free;
    const output = aligned(input + packed.length);
    const buffer = this.room(output + entry.size);
    new Uint8Array(buffer, input, packed.length).set(packed);
    const result = this.exports.inflate(input, packed.length, output, entry.size);
    if (result !== 0) throw new Error(FAILURES[result] || `the inflater failed (${result})`);
    return new Uint8Array(buffer, output, entry.size);
  }

  crc32(bytes) {
    const { memory } = this.exports;
    let at = bytes.byteOffset;
    if (bytes.buffer !== memory.buffer) {
      at = this.free;
      new Uint8Array(this.room(at + bytes.length), at, bytes.length).set(bytes);
    }
    return this.exports.crc32(at, bytes.length) >>> 0;
  }
}
