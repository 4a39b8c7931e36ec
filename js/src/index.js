// tarvel for JavaScript: the codec of the tarvel program, built to
// WebAssembly, for Node.js and the browser. Every call gives the program's
// exact bytes; a cut, trailing or lying input never gives a success.
import { StreamingDecoder } from './decoder.js';
import { PieceEncoder, kPieceBytes } from './encoder.js';
import {
  DONE, TarvelError, allocate, failure, guarded, heap, module, release, setBuffer,
} from './wasm.js';

export { TarvelError };

/** The bytes of a Uint8Array, an ArrayBuffer, a view of one, or a Buffer. */
function bytesOf(input) {
  if (input instanceof Uint8Array) return input;
  if (input instanceof ArrayBuffer) return new Uint8Array(input);
  if (ArrayBuffer.isView(input)) return new Uint8Array(input.buffer, input.byteOffset, input.byteLength);
  throw new TypeError('expected a Uint8Array, an ArrayBuffer or a view of one');
}

/** The library's version, "MAJOR.MINOR.PATCH". */
export const version = (() => {
  const bytes = heap();
  const start = module().exports.tarvel_version();
  let end = start;
  while (bytes[end] !== 0) end += 1;
  return new TextDecoder().decode(bytes.subarray(start, end));
})();

/** The compressed form of `input`: the bytes the tarvel program writes for a
 * file holding them (none for none). */
export function compress(input) {
  const data = bytesOf(input);
  if (data.length === 0) return new Uint8Array(0);
  const { exports } = module();
  let counts = 0;
  let source = 0;
  let target = 0;
  let encoder = 0;
  try {
    counts = allocate(256 * 8 + 24);
    source = allocate(data.length);
    heap().fill(0, counts, counts + 256 * 8);
    heap().set(data, source);
    exports.tarvel_count(counts, source, data.length);
    encoder = guarded(() => exports.tarvel_encoder_new(counts));
    if (encoder === 0) throw failure(-10);
    const size = Number(exports.tarvel_encoder_size(encoder));
    target = allocate(size);
    const input = counts + 256 * 8;
    const output = input + 12;
    setBuffer(input, source, data.length);
    setBuffer(output, target, size);
    const status = guarded(() => exports.tarvel_encoder_run(encoder, output, input, 1));
    if (status !== DONE) throw failure(status < 0 ? status : -5);
    return heap().slice(target, target + size);
  } finally {
    if (encoder !== 0) exports.tarvel_encoder_free(encoder);
    for (const pointer of [target, source, counts]) release(pointer);
  }
}

/** The bytes that `input`, one whole compressed stream, restores to.
 * Throws TarvelError when it is not one. */
export function decompress(input) {
  const data = bytesOf(input);
  const { exports } = module();
  let source = 0;
  let target = 0;
  let sizes = 0;
  try {
    sizes = allocate(data.length + 8);  // the restored size, as a size_t, then the data
    source = sizes + 8;
    heap().set(data, source);
    // Most data restore to less than four times their size; others are
    // decoded again into the room they turned out to need.
    let room = Math.max(64 * 1024, Math.min(4 * data.length, 2 ** 30));
    for (let attempt = 0; ; attempt += 1) {
      target = allocate(room);
      const status = guarded(() => exports.tarvel_decompress(source, data.length, target, room,
                                                             sizes, 1));
      const size = new Uint32Array(exports.memory.buffer, sizes, 1)[0];
      if (status === 0) return heap().slice(target, target + size);
      if (status !== -9 || size === 0 || attempt > 0) throw failure(status);
      release(target);
      target = 0;
      room = size;
    }
  } finally {
    release(target);
    release(sizes);
  }
}

/** A TransformStream of bytes that restores a compressed stream, in the
 * shape of the platform's DecompressionStream:
 * `blob.stream().pipeThrough(new TarvelDecompressionStream())`. Its memory
 * is bounded whatever the stream's length; invalid, cut or trailing data
 * error it with a TarvelError. */
export class TarvelDecompressionStream extends TransformStream {
  constructor() {
    let decoder = null;
    super({
      start() {
        decoder = new StreamingDecoder();
      },
      transform(chunk, controller) {
        decoder.push(bytesOf(chunk), (bytes) => controller.enqueue(bytes));
      },
      flush(controller) {
        decoder.finish((bytes) => controller.enqueue(bytes));
      },
    });
  }
}

/** Compresses a Blob or File of any size in bounded memory, reading it
 * twice in slices (the counts, then the codes), as the program reads a file
 * twice. `onProgress(done, total)` is told the bytes read of both passes.
 * Resolves to a Blob of type application/x-tarvel. */
export async function compressBlob(blob, { onProgress } = {}) {
  const total = 2 * blob.size;
  const encoder = new PieceEncoder();
  const slice = async (at) => new Uint8Array(await blob.slice(at, at + kPieceBytes).arrayBuffer());
  try {
    for (let at = 0; at < blob.size; at += kPieceBytes) {
      encoder.count(await slice(at));
      onProgress?.(Math.min(at + kPieceBytes, blob.size), total);
    }
    const parts = [];
    if (blob.size > 0) {
      encoder.start();
      for (let at = 0; at < blob.size; at += kPieceBytes) {
        const bytes = await slice(at);
        encoder.encode(bytes, at + bytes.length >= blob.size, (part) => parts.push(part));
        onProgress?.(blob.size + Math.min(at + kPieceBytes, blob.size), total);
      }
    }
    return new Blob(parts, { type: 'application/x-tarvel' });
  } finally {
    encoder.close();
  }
}

