// npm run build: the WebAssembly module, built by the source's CMake preset
// "wasm" with Debian's emscripten, copied to dist/tarvel.wasm, and the
// licence beside it for the package. With --if-missing (before npm pack),
// the module only when there is none yet.
import { execFileSync } from 'node:child_process';
import { copyFileSync, existsSync, mkdirSync } from 'node:fs';
import { fileURLToPath } from 'node:url';

const here = fileURLToPath(new URL('..', import.meta.url));
const source = fileURLToPath(new URL('../..', import.meta.url));
const target = `${here}/dist/tarvel.wasm`;
if (!(process.argv.includes('--if-missing') && existsSync(target))) {
  // emcc's optimizer finds Debian's acorn there when Node is not Debian's.
  const env = { ...process.env, NODE_PATH: [process.env.NODE_PATH, '/usr/share/nodejs']
    .filter(Boolean).join(':') };
  execFileSync('cmake', ['--workflow', '--preset', 'wasm'], { cwd: source, env, stdio: 'inherit' });
  mkdirSync(`${here}/dist`, { recursive: true });
  copyFileSync(`${source}/build/wasm/js/tarvel.wasm`, target);
}
copyFileSync(`${source}/LICENSE`, `${here}/LICENSE`);
