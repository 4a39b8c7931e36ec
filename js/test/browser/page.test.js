// The demo page in a real Chromium (Debian's, driven by playwright-core),
// served from 127.0.0.1: a file set on its input comes back as a download
// with the program's bytes, both ways, and a bad file gives the program's
// message on the page.
import assert from 'node:assert/strict';
import { existsSync, mkdtempSync, readFileSync, writeFileSync } from 'node:fs';
import { createServer } from 'node:http';
import { tmpdir } from 'node:os';
import { extname, join, normalize } from 'node:path';
import { fileURLToPath } from 'node:url';
import { after, before, test } from 'node:test';

import { compress } from '../../src/node.js';

const root = fileURLToPath(new URL('../..', import.meta.url));
const chromium = process.env.CHROMIUM ?? '/usr/bin/chromium';
const types = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm' };

let server;
let browser;
let address;
// The module's bytes are held until the page has its file, so that the file
// always reaches the worker before the module is ready.
let moduleHeld = Promise.resolve();

before(async () => {
  if (!existsSync(chromium)) return;
  server = createServer(async (request, response) => {
    const path = normalize(join(root, decodeURIComponent(new URL(request.url, 'http://x').pathname)));
    if (!path.startsWith(root) || !existsSync(path)) {
      response.writeHead(404).end();
      return;
    }
    if (extname(path) === '.wasm') await moduleHeld;
    response.writeHead(200, { 'content-type': types[extname(path)] ?? 'application/octet-stream' });
    response.end(readFileSync(path));
  });
  await new Promise((done) => server.listen(0, '127.0.0.1', done));
  address = `http://127.0.0.1:${server.address().port}/demo/index.html`;
  const { chromium: launcher } = await import('playwright-core');
  browser = await launcher.launch({
    executablePath: chromium,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
});

after(async () => {
  await browser?.close();
  server?.close();
});

// Sets `file` on the page's input; the download's name and bytes, or the
// message the page shows.
async function throughPage(file) {
  const page = await browser.newPage();
  const requests = [];
  page.on('request', (request) => requests.push(request.url()));
  let releaseModule;
  moduleHeld = new Promise((release) => { releaseModule = release; });
  await page.goto(address);
  await page.setInputFiles('#file', file);
  releaseModule();
  await page.waitForSelector('#download:not([hidden]), #error:not(:empty)');
  const message = await page.textContent('#error');
  let download = null;
  if (!message) {
    const [event] = await Promise.all([page.waitForEvent('download'), page.click('#download')]);
    download = { name: event.suggestedFilename(), bytes: readFileSync(await event.path()) };
  }
  await page.close();
  assert.ok(requests.every((url) => url.startsWith('http://127.0.0.1:') || url.startsWith('blob:')),
            'nothing leaves the machine');
  return { message, download };
}

test('the page compresses and restores a file, and names a bad one\'s fault', async (t) => {
  if (!browser) {
    t.skip(`no Chromium at ${chromium}`);
    return;
  }
  const folder = mkdtempSync(join(tmpdir(), 'tarvel-page-'));
  const data = readFileSync(join(root, '..', 'README.md'));
  writeFileSync(join(folder, 'notes.txt'), data);
  const packed = await throughPage(join(folder, 'notes.txt'));
  assert.equal(packed.download.name, 'notes.txt.tarvel');
  assert.deepEqual(new Uint8Array(packed.download.bytes), compress(data));

  writeFileSync(join(folder, 'notes.txt.tarvel'), packed.download.bytes);
  const restored = await throughPage(join(folder, 'notes.txt.tarvel'));
  assert.equal(restored.download.name, 'notes.txt');
  assert.deepEqual(restored.download.bytes, data);

  writeFileSync(join(folder, 'bad.tarvel'), Buffer.concat([packed.download.bytes, Buffer.from('X')]));
  const bad = await throughPage(join(folder, 'bad.tarvel'));
  assert.equal(bad.message, "error : 'bad.tarvel' is not a valid tarvel file: data follows the end symbol.");
});
