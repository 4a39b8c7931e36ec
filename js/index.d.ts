// tarvel for JavaScript: the codec of the tarvel program, in WebAssembly.

/** Bytes as the calls take them. */
export type Bytes = Uint8Array | ArrayBufferLike | ArrayBufferView;

/** Bytes as the calls give them: a Uint8Array over an ArrayBuffer of its own
 * (Uint8Array<ArrayBuffer> where TypeScript has that type). */
export type Output = ReturnType<Uint8Array['slice']>;

/** The library's version, "MAJOR.MINOR.PATCH". */
export const version: string;

/** A failure of the codec. */
export class TarvelError extends Error {
  /** The C status's name: "TARVEL_ERROR_DATA_AFTER_END", ... */
  readonly code: string;
  /** The C status: negative. */
  readonly status: number;
}

/** The compressed form of `input`: the bytes the tarvel program writes for
 * a file holding them (none for none). */
export function compress(input: Bytes): Output;

/** The bytes that `input`, one whole compressed stream, restores to. Throws
 * TarvelError when it is not one. */
export function decompress(input: Bytes): Output;

/** A TransformStream of bytes that restores a compressed stream, in the
 * shape of DecompressionStream, in bounded memory; invalid, cut or trailing
 * data error it with a TarvelError. */
export class TarvelDecompressionStream extends TransformStream<Bytes, Output> {
  constructor();
}

export interface ProgressOptions {
  /** Told the bytes read so far of all there are to read. */
  onProgress?: (done: number, total: number) => void;
}

/** Compresses a Blob or File of any size in bounded memory, reading it
 * twice in slices; resolves to a Blob of type application/x-tarvel. */
export function compressBlob(blob: Blob, options?: ProgressOptions): Promise<Blob>;
