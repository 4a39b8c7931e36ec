// The package's speed beside the native library (one thread, in memory, by
// bench/native.c) and beside fflate, pako and Node's zlib, in alternating
// rounds on the same text, and the peak of the WebAssembly heap for a large
// Blob and a large stream.
//
// usage: node bench/bench.js [--file FILE] [--mb 30] [--rounds 3] [--native PROGRAM]
//                            [--memory-mb 1024]
// Without --file, the text is the first MB of /usr/include's headers. The
// native program is built from bench/native.c against ../build/default.
import { execFileSync } from 'node:child_process';
import { readFileSync, readdirSync, statSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { parseArgs } from 'node:util';
import zlib from 'node:zlib';

import * as fflate from 'fflate';
import pako from 'pako';

import {
  TarvelDecompressionStream, compress, compressBlob, decompress,
} from '../src/index.js';
import { module } from '../src/wasm.js';

const { values: options } = parseArgs({
  options: {
    file: { type: 'string' },
    mb: { type: 'string', default: '30' },
    rounds: { type: 'string', default: '3' },
    native: { type: 'string' },
    'memory-mb': { type: 'string', default: '1024' },
  },
});

function headers(size) {
  const parts = [];
  let total = 0;
  const walk = (folder) => {
    for (const name of readdirSync(folder).sort()) {
      if (total >= size) return;
      const path = join(folder, name);
      const info = statSync(path, { throwIfNoEntry: false });
      if (info?.isDirectory()) walk(path);
      else if (info?.isFile()) {
        parts.push(readFileSync(path));
        total += info.size;
      }
    }
  };
  walk('/usr/include');
  return new Uint8Array(Buffer.concat(parts).subarray(0, size));
}

const size = Number(options.mb) << 20;
const data = options.file ? new Uint8Array(readFileSync(options.file)) : headers(size);
const file = join(tmpdir(), 'tarvel-bench-text');
writeFileSync(file, data);

const here = new URL('.', import.meta.url).pathname;
let native = options.native;
if (!native) {
  native = join(tmpdir(), 'tarvel-bench-native');
  execFileSync('cc', ['-O2', '-I', `${here}../../include`, `${here}native.c`, '-o', native,
                      `${here}../../build/default/libtarvel.a`, '-lstdc++', '-lm', '-pthread']);
}

// MB/s of the fastest of three calls, after one that is not timed.
function speed(call) {
  call();
  let best = Infinity;
  for (let k = 0; k < 3; k += 1) {
    const start = performance.now();
    call();
    best = Math.min(best, performance.now() - start);
  }
  return data.length / best / 1000;
}

// First, on a fresh heap: the WebAssembly heap for a large Blob compressed
// and a large stream restored, which do not hold the data on the heap.
const memoryBytes = Number(options['memory-mb']) << 20;
if (memoryBytes > 0) {
  const before = module().exports.memory.buffer.byteLength;
  const piece = data.subarray(0, 1 << 20);
  const parts = Array.from({ length: memoryBytes >> 20 }, () => piece);
  const blob = await compressBlob(new Blob(parts));
  const afterBlob = module().exports.memory.buffer.byteLength;
  let restored = 0;
  const reader = blob.stream().pipeThrough(new TarvelDecompressionStream()).getReader();
  for (let part = await reader.read(); !part.done; part = await reader.read()) {
    restored += part.value.length;
  }
  if (restored !== memoryBytes) throw new Error('the stream restored other bytes');
  const afterStream = module().exports.memory.buffer.byteLength;
  const mib = (n) => `${(n / (1 << 20)).toFixed(1)} MiB`;
  console.log(`WebAssembly heap: ${mib(before)} before, ${mib(afterBlob)} after a ` +
              `${mib(memoryBytes)} Blob compressed, ${mib(afterStream)} after it was ` +
              'restored as a stream (the heap never shrinks: these are peaks)');
}

const packed = compress(data);
const gzipped = zlib.gzipSync(data, { level: 6 });
const contenders = {
  'tarvel, WebAssembly': [() => compress(data), () => decompress(packed)],
  'tarvel, native': null,
  'zlib (Node, native)': [() => zlib.gzipSync(data, { level: 6 }), () => zlib.gunzipSync(gzipped)],
  fflate: [() => fflate.gzipSync(data, { level: 6 }), () => fflate.gunzipSync(gzipped)],
  pako: [() => pako.gzip(data, { level: 6 }), () => pako.ungzip(gzipped)],
};

const results = {};
for (let round = 0; round < Number(options.rounds); round += 1) {
  for (const [name, calls] of Object.entries(contenders)) {
    const figures = calls ? calls.map(speed)
      : Object.values(JSON.parse(execFileSync(native, [file, '4'], { encoding: 'utf8' })));
    (results[name] ??= []).push(figures);
  }
}

console.log(`${(data.length / 1e6).toFixed(1)} MB of text, ${options.rounds} rounds (MB/s of the ` +
            'text; in parentheses, the ratio to the native library in the same round)');
console.log('| | compress | decompress |\n|---|---|---|');
for (const [name, rounds] of Object.entries(results)) {
  const cells = [0, 1].map((k) => rounds.map((figures, round) => {
    const ratio = figures[k] / results['tarvel, native'][round][k];
    return `${figures[k].toFixed(0)} (${ratio.toFixed(2)}x)`;
  }).join(', '));
  console.log(`| ${name} | ${cells[0]} | ${cells[1]} |`);
}
const sizes = { tarvel: packed.length, gzip: gzipped.length };
console.log(`sizes: tarvel ${(100 * sizes.tarvel / data.length).toFixed(1)} %, ` +
            `gzip -6 ${(100 * sizes.gzip / data.length).toFixed(1)} %`);

