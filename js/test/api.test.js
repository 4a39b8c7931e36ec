// The package in Node: the program's exact bytes, round trips through every
// entry point, streams in random pieces, and every kind of bad data.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { existsSync, mkdtempSync, readFileSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { Readable, Writable } from 'node:stream';
import { pipeline } from 'node:stream/promises';
import { test } from 'node:test';

import {
  TarvelDecompressionStream, TarvelError, compress, compressBlob, compressFile, createDecompress,
  decompress, decompressFile,
} from '../src/node.js';
import { module } from '../src/wasm.js';

const text = (s) => new TextEncoder().encode(s);
const hex = (h) => Uint8Array.from(h.split(' ').filter(Boolean), (b) => parseInt(b, 16));

// Bytes that look like text, skewed bytes and random ones, from a seed.
function generated(size, seed) {
  const bytes = new Uint8Array(size);
  let state = seed;
  for (let k = 0; k < size; k += 1) {
    state = (state * 1103515245 + 12345) >>> 0;
    bytes[k] = seed % 3 === 0 ? 97 + ((state >>> 16) % 26) / (1 + (state & 3))
      : seed % 3 === 1 ? (state >>> 24) : 32 + (state >>> 27);
  }
  return bytes;
}

// The program built beside the package, when it is there.
const program = new URL('../../build/default/tarvel', import.meta.url).pathname;

test('the program\'s exact bytes', () => {
  const cases = [
    ['', ''],
    ['a', '00 00 00 00 00 00 01 61 01 80'],
    ['aaaaaaaa', '00 00 00 00 00 00 01 61 01 FF 00'],
    ['ab', '00 01 00 00 00 00 02 62 02 61 01 A0'],
    ['abc', '00 02 00 00 00 01 03 61 01 63 03 62 02 76 00'],
    ['abracadabra', '00 04 00 00 00 02 05 61 01 62 02 64 05 63 04 72 03 5D AC AE C0'],
  ];
  for (const [input, expected] of cases) {
    assert.deepEqual(compress(text(input)), hex(expected), input);
    assert.deepEqual(decompress(hex(expected)), text(input), input);
  }
  if (!existsSync(program)) return;
  const folder = mkdtempSync(join(tmpdir(), 'tarvel-js-'));
  for (let seed = 0; seed < 3; seed += 1) {
    const data = generated(300_000 + seed, seed);
    writeFileSync(join(folder, 'in'), data);
    execFileSync(program, [join(folder, 'in'), join(folder, 'out')]);
    assert.deepEqual(compress(data), new Uint8Array(readFileSync(join(folder, 'out'))));
  }
});

test('round trips through every entry point, in pieces of any size', async () => {
  const folder = mkdtempSync(join(tmpdir(), 'tarvel-js-'));
  for (const data of [new Uint8Array(0), text('a'), generated(1_500_000, 3), generated(70_000, 4)]) {
    const packed = compress(data);
    assert.deepEqual(decompress(packed.buffer), data);
    assert.deepEqual(compress(new DataView(data.buffer)), packed);
    // Chunks of 1 byte up to 300 KiB, as they come.
    const chunks = [];
    for (let at = 0, k = 1; at < packed.length; k += 1) {
      const size = Math.min(packed.length - at, (k * 7919) % (k % 2 ? 300_000 : 13) + 1);
      chunks.push(packed.subarray(at, at += size));
    }
    const streamed = new Response(new Blob(chunks).stream()
      .pipeThrough(new TarvelDecompressionStream()));
    assert.deepEqual(new Uint8Array(await streamed.arrayBuffer()), data);
    const restored = [];
    await pipeline(Readable.from(chunks.map((c) => Buffer.from(c))), createDecompress(),
                   new Writable({ write(c, e, done) { restored.push(c); done(); } }));
    assert.deepEqual(new Uint8Array(Buffer.concat(restored)), data);
    const progress = [];
    const blob = await compressBlob(new Blob([data]), { onProgress: (d, t) => progress.push(d / t) });
    assert.deepEqual(new Uint8Array(await blob.arrayBuffer()), packed);
    assert.equal(progress.at(-1) ?? 1, 1);

    writeFileSync(join(folder, 'in'), data);
    writeFileSync(join(folder, 'out'), 'replaced');
    await compressFile(join(folder, 'in'), join(folder, 'out'));
    assert.deepEqual(new Uint8Array(readFileSync(join(folder, 'out'))), packed);
    await decompressFile(join(folder, 'out'), join(folder, 'back'));
    assert.deepEqual(new Uint8Array(readFileSync(join(folder, 'back'))), data);
  }
});

test('bad data never gives a success', async () => {
  const packed = compress(generated(100_000, 0));
  const cases = [
    [packed.subarray(0, 3), 'TARVEL_ERROR_HEADER_TRUNCATED'],
    [hex('08'), 'TARVEL_ERROR_UNKNOWN_FLAGS'],
    [packed.subarray(0, packed.length - 1), 'TARVEL_ERROR_ENDS_INSIDE_CODE'],
    [Uint8Array.of(...packed, 0), 'TARVEL_ERROR_DATA_AFTER_END'],
    [Uint8Array.of(...compress(text('abracadabra')), 0x58), 'TARVEL_ERROR_DATA_AFTER_END'],
    [hex('00 04 00 00 00 02 05 61 01 62 02 64 05 63 04 72 03 5D AC AE C1'),
     'TARVEL_ERROR_FILL_NOT_ZERO'],
  ];
  const folder = mkdtempSync(join(tmpdir(), 'tarvel-js-'));
  for (const [bad, code] of cases) {
    const failsWith = async (promise) => {
      await assert.rejects(promise, (e) => e instanceof TarvelError && e.code === code, code);
    };
    await failsWith(async () => decompress(bad));
    await failsWith(new Response(new Blob([bad]).stream()
      .pipeThrough(new TarvelDecompressionStream())).arrayBuffer());
    writeFileSync(join(folder, 'bad'), bad);
    writeFileSync(join(folder, 'out'), 'kept');
    await failsWith(decompressFile(join(folder, 'bad'), join(folder, 'out')));
    assert.equal(readFileSync(join(folder, 'out'), 'utf8'), 'kept');
  }
  assert.throws(() => compress('text'), TypeError);
});

test('a large Blob, in bounded memory', async () => {
  const data = generated(48 << 20, 0);
  const blob = await compressBlob(new Blob([data]));
  const restored = new Response(blob.stream().pipeThrough(new TarvelDecompressionStream()));
  assert.deepEqual(new Uint8Array(await restored.arrayBuffer()), data);
  // The heap never shrinks: its size is the peak of every test so far.
  assert.ok(module().exports.memory.buffer.byteLength < 16 << 20);
  assert.deepEqual(new Uint8Array(await blob.arrayBuffer()), compress(data));
});
