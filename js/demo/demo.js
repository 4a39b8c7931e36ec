// The page: hands the chosen or dropped file to the worker, shows its
// progress, and offers what it made as a download.
const $ = (id) => document.getElementById(id);
const worker = new Worker(new URL('./worker.js', import.meta.url), { type: 'module' });
let url = null;

function bytes(n) {
  return n < 1024 ? `${n} bytes` : n < 1 << 20 ? `${(n / 1024).toFixed(1)} KiB`
    : `${(n / (1 << 20)).toFixed(1)} MiB`;
}

function start(file) {
  if (!file) return;
  $('error').textContent = '';
  $('result').hidden = true;
  $('download').hidden = true;
  $('progress').hidden = false;
  $('progress').value = 0;
  $('file').disabled = true;
  worker.postMessage(file);
}

worker.onmessage = ({ data }) => {
  if (data.progress !== undefined) {
    $('progress').value = data.progress;
    return;
  }
  $('file').disabled = false;
  $('progress').hidden = true;
  if (data.error) {
    $('error').textContent = data.error;
    return;
  }
  if (url) URL.revokeObjectURL(url);
  url = URL.createObjectURL(data.blob);
  $('input-size').textContent = bytes(data.inputSize);
  $('output-size').textContent = bytes(data.blob.size);
  $('ratio').textContent = data.inputSize > 0
    ? `${(100 * data.blob.size / data.inputSize).toFixed(1)} %` : '-';
  $('time').textContent = `${(data.milliseconds / 1000).toFixed(3)} s`;
  $('result').hidden = false;
  const link = $('download');
  link.href = url;
  link.download = data.name;
  link.textContent = `Download ${data.name}`;
  link.hidden = false;
};

// The worker itself did not load: said on the page, not a silent wait.
worker.onerror = (event) => {
  $('file').disabled = false;
  $('progress').hidden = true;
  $('error').textContent = `error : ${event.message || 'the page\'s worker did not start'}.`;
};

$('file').addEventListener('change', () => start($('file').files[0]));
const drop = $('drop');
drop.addEventListener('dragover', (event) => {
  event.preventDefault();
  drop.classList.add('over');
});
drop.addEventListener('dragleave', () => drop.classList.remove('over'));
drop.addEventListener('drop', (event) => {
  event.preventDefault();
  drop.classList.remove('over');
  start(event.dataTransfer.files[0]);
});
