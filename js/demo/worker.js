// The work, off the page's thread: a file named *.tarvel is restored as a
// stream, any other compressed as a Blob read twice; progress goes to the
// page as a share of the work done.
//
// The codec is imported here, not above: a static import would hold this
// module's body, and so the handler below, until the WebAssembly module has
// loaded, and a file posted meanwhile would find no handler and be lost.
const codec = import('../src/index.js');

const kSuffix = '.tarvel';

async function restore(file, { TarvelDecompressionStream }) {
  let read = 0;
  const counted = new TransformStream({
    transform(chunk, controller) {
      read += chunk.length;
      postMessage({ progress: file.size > 0 ? read / file.size : 1 });
      controller.enqueue(chunk);
    },
  });
  // Read here, not through a Response, which would hide the stream's error.
  const reader = file.stream().pipeThrough(counted).pipeThrough(new TarvelDecompressionStream())
    .getReader();
  const parts = [];
  for (let part = await reader.read(); !part.done; part = await reader.read()) parts.push(part.value);
  return new Blob(parts);
}

onmessage = async ({ data: file }) => {
  const start = performance.now();
  const restoring = file.name.endsWith(kSuffix) && file.name.length > kSuffix.length;
  try {
    const loaded = await codec;
    const blob = restoring ? await restore(file, loaded)
      : await loaded.compressBlob(file, { onProgress: (done, total) => postMessage({ progress: done / total }) });
    postMessage({
      blob, inputSize: file.size, milliseconds: performance.now() - start,
      name: restoring ? file.name.slice(0, -kSuffix.length) : file.name + kSuffix,
    });
  } catch (error) {
    // The program's messages for the codec's failures (the codec may not
    // have loaded, so they are told by name).
    const message = error?.name !== 'TarvelError' ? String(error)
      : restoring && error.status <= -100
        ? `error : '${file.name}' is not a valid tarvel file: ${error.message}.`
        : `error : ${file.name}: ${error.message}.`;
    postMessage({ error: message });
  }
};
