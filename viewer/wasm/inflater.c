/*
 * The page's inflater: libdeflate's whole-buffer Deflate decompressor and its
 * CRC-32, compiled to WebAssembly without a C library. The page grows the
 * module's memory and places an entry's packed bytes and the room for its
 * inflated bytes in it; the archive's central directory gives the exact size.
 */
#include "lib/deflate_decompress.c"
#include "lib/crc32.c"

/* One decompressor for the module's life: static storage starts zeroed, as
 * libdeflate_alloc_decompressor leaves it, so no allocator is needed. */
static struct libdeflate_decompressor decompressor;

/* 0: inflated to exactly out_size bytes; 1: not a valid Deflate stream;
 * 2: the stream holds fewer bytes; 3: it holds more (libdeflate's results). */
__attribute__((export_name("inflate"))) int orvella_inflate(const void *in, size_t in_size, void *out,
                                                            size_t out_size) {
  return (int)libdeflate_deflate_decompress(&decompressor, in, in_size, out, out_size, NULL);
}

__attribute__((export_name("crc32"))) u32 orvella_crc32(const void *data, size_t size) {
  return libdeflate_crc32(0, data, size);
}
