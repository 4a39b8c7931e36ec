// The declarations as a user's TypeScript meets them: this compiles with
// tsc --strict (npm run types), or a declaration is wrong.
import {
  TarvelDecompressionStream, TarvelError, compress, compressBlob, compressFile, createDecompress,
  decompress, decompressFile, version,
} from 'tarvel';

const packed = compress(new TextEncoder().encode('abracadabra'));
const restored = decompress(packed.buffer);
const stream: ReadableStream<Uint8Array> =
  new Blob([packed]).stream().pipeThrough(new TarvelDecompressionStream());
const blob: Promise<Blob> = compressBlob(new Blob([restored]), {
  onProgress: (done: number, total: number) => console.log(done / total),
});
const files: Promise<void> = compressFile('in', 'in.tarvel').then(() =>
  decompressFile('in.tarvel', 'back', { onProgress: () => {} }));
createDecompress().on('error', (error: Error) => {
  if (error instanceof TarvelError) console.log(error.code, error.status, version);
});
export { blob, files, stream };
