// A compressed stream restored from chunks of any size, in bounded memory:
// the chunks gather on the heap into pieces of kPieceBytes, which the
// module decodes several parts at a time, into room of kRoomBytes.
import {
  DATA_AFTER_END, DONE, OK, TarvelError, alive, allocate, bufferPos, failure, guarded, heap,
  module, release, setBuffer, statusText,
} from './wasm.js';

const kPieceBytes = 256 * 1024;
const kRoomBytes = 1024 * 1024;

// What a decoder holds on the heap, freed when it is collected unfinished.
const unfinished = new FinalizationRegistry((memory) => memory.free());

class HeapMemory {
  constructor() {
    const { exports, generation } = module();
    this.generation = generation;
    this.decoder = exports.tarvel_decoder_new();
    if (this.decoder === 0) throw failure(-10);
    this.piece = allocate(kPieceBytes + kRoomBytes + 24);
    this.room = this.piece + kPieceBytes;
    this.in = this.room + kRoomBytes;
    this.out = this.in + 12;
  }

  free() {
    if (this.piece === 0) return;
    if (alive(this.generation)) {
      module().exports.tarvel_decoder_free(this.decoder);
      release(this.piece);
    }
    this.piece = 0;
  }
}

export class StreamingDecoder {
  constructor() {
    this.memory = guarded(() => new HeapMemory());
    this.token = {};
    unfinished.register(this, this.memory, this.token);
    this.held = 0;  // bytes gathered in the piece
    this.done = false;
    this.error = null;
  }

  /** Takes `chunk` (a Uint8Array); `emit` is given each run of restored
   * bytes, a copy. Throws TarvelError on invalid data. */
  push(chunk, emit) {
    this.check();
    for (let at = 0; at < chunk.length;) {
      if (this.done) this.fail(failure(DATA_AFTER_END));
      const n = Math.min(chunk.length - at, kPieceBytes - this.held);
      heap().set(chunk.subarray(at, at + n), this.memory.piece + this.held);
      this.held += n;
      at += n;
      if (this.held === kPieceBytes) this.decode(false, emit);
    }
  }

  /** No more input: decodes what is held and checks the end. */
  finish(emit) {
    this.check();
    if (!this.done) this.decode(true, emit);
    this.close();
  }

  /** Frees the heap memory; the decoder cannot be used again. */
  close() {
    unfinished.unregister(this.token);
    this.memory.free();
  }

  check() {
    if (this.error) throw this.error;
    if (!alive(this.memory.generation)) {
      this.fail(new TarvelError(-10, 'not enough memory'));
    }
  }

  fail(error) {
    this.error = error;
    this.close();
    throw error;
  }

  decode(last, emit) {
    const memory = this.memory;
    const { exports } = module();
    setBuffer(memory.in, memory.piece, this.held);
    for (;;) {
      setBuffer(memory.out, memory.room, kRoomBytes);
      const status = guarded(() => exports.tarvel_decoder_run(memory.decoder, memory.out,
                                                               memory.in, last ? 1 : 0));
      const produced = bufferPos(memory.out);
      if (produced > 0) emit(heap().slice(memory.room, memory.room + produced));
      if (status < 0) this.fail(new TarvelError(status, statusText(status)));
      const consumed = bufferPos(memory.in);
      if (status === DONE) {
        this.done = true;
        if (consumed < this.held) this.fail(failure(DATA_AFTER_END));
        break;
      }
      if (status === OK && consumed === this.held && !last && produced < kRoomBytes) break;
    }
    this.held = 0;
  }
}
