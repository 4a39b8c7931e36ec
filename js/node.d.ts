// tarvel for Node.js: everything of index.d.ts, and files and streams.
import type { Transform } from 'node:stream';
import type { ProgressOptions } from './index.js';

export * from './index.js';

/** A Transform that restores a compressed stream, as zlib.createGunzip(). */
export function createDecompress(): Transform;

/** Compresses the file `input` into the file `output` in two passes, as the
 * tarvel program does; the output is complete or absent, and replaces an
 * existing file, as fs.copyFile does. */
export function compressFile(input: string, output: string,
                             options?: ProgressOptions): Promise<void>;

/** Restores the file `input` into the file `output`, with the same rules. */
export function decompressFile(input: string, output: string,
                               options?: ProgressOptions): Promise<void>;
