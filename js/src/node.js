// tarvel for Node.js: everything the package has elsewhere, and files and
// Node streams. A file's output is written at a temporary name beside it
// and renamed into place once complete: it is complete or absent, and an
// existing one is replaced, as fs.copyFile replaces it.
import { randomBytes } from 'node:crypto';
import { createReadStream, createWriteStream } from 'node:fs';
import { open, rename, rm, stat } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import { basename, dirname, join } from 'node:path';
import { Transform } from 'node:stream';
import { pipeline } from 'node:stream/promises';

import { StreamingDecoder } from './decoder.js';
import { PieceEncoder, kPieceBytes } from './encoder.js';
import { INPUT_CHANGED, failure } from './wasm.js';

export * from './index.js';

/** A Transform that restores a compressed stream, as zlib.createGunzip()
 * does for gzip; invalid, cut or trailing data end it with a TarvelError. */
export function createDecompress() {
  let decoder = null;
  return new Transform({
    transform(chunk, encoding, done) {
      try {
        decoder ??= new StreamingDecoder();
        decoder.push(chunk, (bytes) => this.push(bytes));
        done();
      } catch (error) {
        done(error);
      }
    },
    flush(done) {
      try {
        decoder ??= new StreamingDecoder();
        decoder.finish((bytes) => this.push(bytes));
        done();
      } catch (error) {
        done(error);
      }
    },
    destroy(error, done) {
      decoder?.close();
      done(error);
    },
  });
}

// Writes `output` through `write(path)` at a temporary name beside it, then
// renames it over `output`; on failure the temporary file goes.
async function replacing(output, write) {
  const temporary = join(dirname(output),
                         `${basename(output)}.tv-${randomBytes(4).toString('hex')}`);
  try {
    await write(temporary);
    await rename(temporary, output);
  } catch (error) {
    await rm(temporary, { force: true });
    throw error;
  }
}

// Reads `file` from 0 to `size` in pieces, handing each to `take` and
// waiting for it.
async function eachPiece(file, size, take) {
  const piece = Buffer.allocUnsafe(kPieceBytes);
  for (let at = 0; at < size;) {
    const { bytesRead } = await file.read(piece, 0, Math.min(kPieceBytes, size - at), at);
    if (bytesRead === 0) break;
    at += bytesRead;
    await take(piece.subarray(0, bytesRead), at);
  }
}

/** Compresses the file `input` into the file `output`, in two passes, as
 * the tarvel program does (an input that can be read only once, a pipe, is
 * copied aside in the temporary folder first). `onProgress(done, total)` is
 * told the bytes read of both passes. */
export async function compressFile(input, output, { onProgress } = {}) {
  if (!(await stat(input)).isFile()) {
    const copy = join(tmpdir(), `tarvel-${randomBytes(6).toString('hex')}`);
    try {
      await pipeline(createReadStream(input), createWriteStream(copy, { flags: 'wx' }));
      return await compressFile(copy, output, { onProgress });
    } finally {
      await rm(copy, { force: true });
    }
  }
  const file = await open(input, 'r');
  const encoder = new PieceEncoder();
  try {
    const before = await file.stat();
    const { size } = before;
    await eachPiece(file, size, (bytes, at) => {
      encoder.count(bytes);
      onProgress?.(at, 2 * size);
    });
    await replacing(output, async (temporary) => {
      const target = await open(temporary, 'wx');
      try {
        if (size > 0) {
          encoder.start();
          let read = 0;
          await eachPiece(file, size, async (bytes, at) => {
            const parts = [];
            read = at;
            encoder.encode(bytes, at === size, (part) => parts.push(part));
            for (const part of parts) await target.write(part);
            onProgress?.(size + at, 2 * size);
          });
          // A file cut short since it was counted.
          if (read !== size) encoder.encode(new Uint8Array(0), true, () => {});
        }
        // Bytes written in place keep the size: the time of the last change
        // tells.
        const after = await file.stat();
        if (after.size !== size || after.mtimeMs !== before.mtimeMs) throw failure(INPUT_CHANGED);
        await target.sync();
      } finally {
        await target.close();
      }
    });
  } finally {
    encoder.close();
    await file.close();
  }
}

/** Restores the file `input` into the file `output`; `onProgress(done,
 * total)` is told the compressed bytes read. */
export async function decompressFile(input, output, { onProgress } = {}) {
  const { size } = await stat(input);
  let done = 0;
  const counted = new Transform({
    transform(chunk, encoding, next) {
      done += chunk.length;
      onProgress?.(done, size);
      next(null, chunk);
    },
  });
  await replacing(output, async (temporary) => {
    await pipeline(createReadStream(input), counted, createDecompress(),
                   createWriteStream(temporary, { flags: 'wx' }));
  });
}
