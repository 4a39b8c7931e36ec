// tarvel for JavaScript: the codec of the tarvel program, built to
// WebAssembly, for Node.js and the browser. Every call gives the program's
// exact bytes; a cut, trailing or lying input never gives a success.
import { StreamingDecoder } from './decoder.js';
import { PieceEncoder, kPieceBytes } from './encoder.js';
import {
  DONE, TarvelError, allocate, bufferPos, failure, guarded, heap, module, release, setBuffer,
} from './wasm.js';

export { TarvelError };

/** The bytes of a Uint8Array, an ArrayBuffer (shared or not), a view of one,
 * or a Buffer. */
function bytesOf(input) {
  if (input instanceof Uint8Array) return input;
  if (input instanceof ArrayBuffer ||
      (typeof SharedArrayBuffer === 'function' && input instanceof SharedArrayBuffer)) {
    return new Uint8Array(input);
  }
  if (ArrayBuffer.isView(input)) return new Uint8Array(input.buffer, input.byteOffset, input.byteLength);
  throw new TypeError('expected a Uint8Array, an ArrayBuffer or a view of one');
}

// The bytes of one call on a buffer.
const kStepBytes = 1 << 20;

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
    // A step at a time, each a call: the engine's optimised code, made while
    // the first steps run, takes over from the next call on.
    for (let at = 0; at < data.length; at += kStepBytes) {
      exports.tarvel_count(counts, source + at, Math.min(kStepBytes, data.length - at));
    }
    encoder = guarded(() => exports.tarvel_encoder_new(counts));
    if (encoder === 0) throw failure(-10);
    const size = Number(exports.tarvel_encoder_size(encoder));
    target = allocate(size);
    const input = counts + 256 * 8;
    const output = input + 12;
    let written = 0;
    for (let at = 0; at < data.length; at += kStepBytes) {
      const step = Math.min(kStepBytes, data.length - at);
      const last = at + step === data.length;
      setBuffer(input, source + at, step);
      setBuffer(output, target, size, written);
      const status = guarded(() => exports.tarvel_encoder_run(encoder, output, input, last ? 1 : 0));
      written = bufferPos(output);
      if (status !== (last ? DONE : 0)) throw failure(status < 0 ? status : -5);
    }
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
  let room = 0;
  const decoder = exports.tarvel_decoder_new();
  try {
    if (decoder === 0) throw failure(-10);
    source = allocate(24 + data.length);  // the tarvel_in and tarvel_out, then the data
    heap().set(data, source + 24);
    setBuffer(source, source + 24, data.length);
    // Room for four times the data, which most restore to less than, grown
    // twice as large whenever it is full.
    let capacity = Math.max(64 * 1024, Math.min(4 * data.length, 2 ** 30));
    room = allocate(capacity);
    for (let restored = 0; ;) {
      setBuffer(source + 12, room, capacity, restored);
      const status = guarded(() => exports.tarvel_decoder_run(decoder, source + 12, source, 1));
      restored = bufferPos(source + 12);
      if (status === DONE) return heap().slice(room, room + restored);
      if (status < 0) throw failure(status);
      const larger = allocate(2 * capacity);
      heap().copyWithin(larger, room, room + restored);
      release(room);
      room = larger;
      capacity *= 2;
    }
  } finally {
    release(room);
    release(source);
    if (decoder !== 0) exports.tarvel_decoder_free(decoder);
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

