// The WebAssembly module: compiled once from the bytes of dist/tarvel.wasm
// (read from the disk in Node, fetched beside this file elsewhere), and
// instantiated anew only after an instance has aborted (memory ran out).

const kStatusNames = {
  1: 'TARVEL_DONE',
  0: 'TARVEL_OK',
  '-1': 'TARVEL_ERROR_OPEN_INPUT',
  '-2': 'TARVEL_ERROR_OPEN_OUTPUT',
  '-3': 'TARVEL_ERROR_SAME_FILE',
  '-4': 'TARVEL_ERROR_READ_INPUT',
  '-5': 'TARVEL_ERROR_INPUT_CHANGED',
  '-6': 'TARVEL_ERROR_TEMPORARY_COPY',
  '-7': 'TARVEL_ERROR_WRITE_OUTPUT',
  '-8': 'TARVEL_ERROR_REPLACE_OUTPUT',
  '-9': 'TARVEL_ERROR_OUTPUT_TOO_SMALL',
  '-10': 'TARVEL_ERROR_OUT_OF_MEMORY',
  '-11': 'TARVEL_ERROR_CANCELLED',
  '-12': 'TARVEL_ERROR_ARGUMENT',
  '-101': 'TARVEL_ERROR_HEADER_TRUNCATED',
  '-102': 'TARVEL_ERROR_UNKNOWN_FLAGS',
  '-103': 'TARVEL_ERROR_ODD_BYTE',
  '-104': 'TARVEL_ERROR_TOO_MANY_RECORDS',
  '-105': 'TARVEL_ERROR_END_POSITION',
  '-106': 'TARVEL_ERROR_TWO_RECORDS',
  '-107': 'TARVEL_ERROR_ZERO_LENGTH',
  '-108': 'TARVEL_ERROR_LENGTH_TOO_LONG',
  '-109': 'TARVEL_ERROR_LENGTHS_OVERFLOW',
  '-110': 'TARVEL_ERROR_SHORTENED_CODE',
  '-111': 'TARVEL_ERROR_LAST_CODE',
  '-112': 'TARVEL_ERROR_ENDS_BEFORE_END_SYMBOL',
  '-113': 'TARVEL_ERROR_ENDS_INSIDE_CODE',
  '-114': 'TARVEL_ERROR_FILL_NOT_ZERO',
  '-115': 'TARVEL_ERROR_DATA_AFTER_END',
};

export const OK = 0;
export const DONE = 1;
export const OUT_OF_MEMORY = -10;
export const INPUT_CHANGED = -5;
export const DATA_AFTER_END = -115;

/** A failure of the codec: `code` names the C status, the message is the
 * text the programs print for it ("the header is truncated"). */
export class TarvelError extends Error {
  constructor(status, message) {
    super(message);
    this.name = 'TarvelError';
    this.status = status;
    this.code = kStatusNames[status] ?? 'TARVEL_ERROR_INVALID_DATA';
  }
}

// An abort inside the module: the instance is not to be used again.
class Aborted extends Error {}

async function moduleBytes() {
  const url = new URL('../dist/tarvel.wasm', import.meta.url);
  if (typeof process === 'object' && process.versions?.node && url.protocol === 'file:') {
    const { readFile } = await import('node:fs/promises');
    return readFile(url);
  }
  const response = await fetch(url);
  if (!response.ok) throw new Error(`cannot load ${url}: ${response.status}`);
  return response.arrayBuffer();
}

const compiled = await WebAssembly.compile(await moduleBytes());
let current = null;
let generation = 0;

function instantiate() {
  const instance = new WebAssembly.Instance(compiled, {
    wasi_snapshot_preview1: {
      proc_exit(code) {
        throw new Aborted(`the module aborted (${code})`);
      },
    },
    env: { emscripten_notify_memory_growth() {} },
  });
  instance.exports._initialize();
  generation += 1;
  return { exports: instance.exports, generation };
}

/** The module's exports, on the current instance. */
export function module() {
  current ??= instantiate();
  return current;
}

/** Runs `call`; an abort in it (memory ran out) drops the instance, and
 * comes out as TARVEL_ERROR_OUT_OF_MEMORY. */
export function guarded(call) {
  try {
    return call();
  } catch (error) {
    if (!(error instanceof Aborted) && !(error instanceof RangeError)) throw error;
    current = null;
    throw new TarvelError(OUT_OF_MEMORY, 'not enough memory');
  }
}

/** Whether an object made on instance `made` can still be used. */
export function alive(made) {
  return current !== null && current.generation === made;
}

/** The heap as bytes, as it stands now (it moves when it grows). */
export function heap() {
  return new Uint8Array(module().exports.memory.buffer);
}

/** Room for `size` bytes on the heap; TARVEL_ERROR_OUT_OF_MEMORY when there
 * is none. */
export function allocate(size) {
  const pointer = module().exports.malloc(Math.max(size, 1));
  if (pointer === 0) throw new TarvelError(OUT_OF_MEMORY, 'not enough memory');
  return pointer;
}

export function release(pointer) {
  if (pointer !== 0 && current !== null) current.exports.free(pointer);
}

/** The text the programs print for `status`. */
export function statusText(status) {
  const { exports } = module();
  const bytes = heap();
  const start = exports.tarvel_status_text(status);
  let end = start;
  while (bytes[end] !== 0) end += 1;
  return new TextDecoder().decode(bytes.subarray(start, end));
}

/** The error for a failed status. */
export function failure(status) {
  return new TarvelError(status, statusText(status));
}

/** A tarvel_in or tarvel_out at `pointer` (three 32-bit words): data, size,
 * pos. */
export function setBuffer(pointer, data, size, pos = 0) {
  const words = new Uint32Array(module().exports.memory.buffer, pointer, 3);
  words[0] = data;
  words[1] = size;
  words[2] = pos;
}

export function bufferPos(pointer) {
  return new Uint32Array(module().exports.memory.buffer, pointer, 3)[2];
}
