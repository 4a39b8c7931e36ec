// The two passes of the encoder over an input read in pieces: the counts,
// then the codes. The heap holds a piece, its room and the encoder, however
// large the input.
import {
  DONE, INPUT_CHANGED, OK, allocate, bufferPos, failure, guarded, heap, module,
  release, setBuffer,
} from './wasm.js';

export const kPieceBytes = 1024 * 1024;
// Room for a piece's codes, up to 16 bits a byte, in one call; longer codes
// take more calls.
const kRoomBytes = 2 * kPieceBytes;

export class PieceEncoder {
  constructor() {
    const { generation } = module();
    this.generation = generation;
    this.counts = guarded(() => allocate(256 * 8 + kPieceBytes + kRoomBytes + 24));
    this.piece = this.counts + 256 * 8;
    this.room = this.piece + kPieceBytes;
    this.in = this.room + kRoomBytes;
    this.out = this.in + 12;
    heap().fill(0, this.counts, this.counts + 256 * 8);
    this.encoder = 0;
  }

  /** The first pass: counts `bytes`, at most kPieceBytes. */
  count(bytes) {
    heap().set(bytes, this.piece);
    module().exports.tarvel_count(this.counts, this.piece, bytes.length);
  }

  /** After the first pass: the size of the whole output. */
  start() {
    this.encoder = guarded(() => module().exports.tarvel_encoder_new(this.counts));
    if (this.encoder === 0) throw failure(-10);
    return Number(module().exports.tarvel_encoder_size(this.encoder));
  }

  /** The second pass: codes `bytes`, at most kPieceBytes, the same as were
   * counted; `emit` is given each run of output, a copy. */
  encode(bytes, last, emit) {
    const { exports } = module();
    heap().set(bytes, this.piece);
    setBuffer(this.in, this.piece, bytes.length);
    for (;;) {
      setBuffer(this.out, this.room, kRoomBytes);
      const status = guarded(() => exports.tarvel_encoder_run(this.encoder, this.out, this.in,
                                                               last ? 1 : 0));
      const produced = bufferPos(this.out);
      if (produced > 0) emit(heap().slice(this.room, this.room + produced));
      if (status < 0) throw failure(status);
      if (status === DONE) {
        if (bufferPos(this.in) < bytes.length) throw failure(INPUT_CHANGED);
        return;
      }
      if (status === OK && bufferPos(this.in) === bytes.length && !last &&
          produced < kRoomBytes) {
        return;
      }
    }
  }

  close() {
    const { exports, generation } = module();
    if (generation !== this.generation) return;
    if (this.encoder !== 0) exports.tarvel_encoder_free(this.encoder);
    release(this.counts);
    this.encoder = 0;
    this.counts = 0;
  }
}
