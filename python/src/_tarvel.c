/* The tarvel codec for Python, on its C interface: whole buffers, a
 * decompressor fed in pieces, a counter and an encoder for the two passes of
 * a file written in pieces, and the calls on files. Every call that codes
 * data releases the GIL. */
#define PY_SSIZE_T_CLEAN
#include <Python.h>
#include <structmember.h>
#include <errno.h>
#include <limits.h>
#include <string.h>
#include <tarvel.h>

/* Makes the exception for a failure: the package's Python part hands in a
 * callable error(kind, errno, text), kind 0 for invalid data, 1 for an
 * input that changed, 2 for a failure of the system. */
static PyObject* ErrorFactory = NULL;

/* Raises the exception for a failed status: memory as MemoryError, a bad
 * argument as ValueError, the rest as the package makes them, with the
 * reason the programs print and, for a failure of the system, the errno. */
static PyObject* RaiseStatus(int status, int error) {
  if (status == TARVEL_ERROR_OUT_OF_MEMORY) return PyErr_NoMemory();
  const char* text = tarvel_status_text(status);
  if (status == TARVEL_ERROR_ARGUMENT || ErrorFactory == NULL) {
    PyErr_SetString(PyExc_ValueError, text);
    return NULL;
  }
  const int kind = tarvel_is_invalid_data(status)            ? 0
                   : status == TARVEL_ERROR_INPUT_CHANGED ? 1
                                                           : 2;
  PyObject* raised = PyObject_CallFunction(ErrorFactory, "iis", kind, error, text);
  if (raised != NULL) {
    PyErr_SetObject((PyObject*)Py_TYPE(raised), raised);
    Py_DECREF(raised);
  }
  return NULL;
}

/* A thread count: 0 to choose, a number of threads (more than the cores
 * allowed are not started), never a negative one. */
static int Threads(PyObject* value, int* threads) {
  if (value == NULL) return 1;
  int overflow = 0;
  const long asked = PyLong_AsLongAndOverflow(value, &overflow);
  if (asked == -1 && PyErr_Occurred()) return 0;
  if (asked < 0 || overflow < 0) {
    PyErr_SetString(PyExc_ValueError, "threads must not be negative");
    return 0;
  }
  *threads = overflow > 0 || asked > INT_MAX ? INT_MAX : (int)asked;
  return 1;
}

/* ---- Whole buffers ---- */

/* The arguments of compress() and decompress(): (data, threads=0). False
 * with the error raised and nothing held. */
static int BufferAndThreads(PyObject* args, PyObject* keywords, Py_buffer* data, int* threads) {
  static char* names[] = {"data", "threads", NULL};
  PyObject* threadsArgument = NULL;
  *threads = 0;
  if (!PyArg_ParseTupleAndKeywords(args, keywords, "y*|O", names, data, &threadsArgument)) {
    return 0;
  }
  if (!Threads(threadsArgument, threads)) {
    PyBuffer_Release(data);
    return 0;
  }
  return 1;
}

static PyObject* Compress(PyObject* module, PyObject* args, PyObject* keywords) {
  Py_buffer data;
  int threads = 0;
  (void)module;
  if (!BufferAndThreads(args, keywords, &data, &threads)) return NULL;
  const size_t bound = tarvel_compress_bound((size_t)data.len);
  PyObject* out = bound == 0 ? NULL : PyBytes_FromStringAndSize(NULL, (Py_ssize_t)bound);
  if (out == NULL) {
    PyBuffer_Release(&data);
    return bound == 0 ? PyErr_NoMemory() : NULL;
  }
  size_t size = 0;
  int status;
  Py_BEGIN_ALLOW_THREADS status =
      tarvel_compress(data.buf, (size_t)data.len, PyBytes_AS_STRING(out), bound, &size, threads);
  Py_END_ALLOW_THREADS PyBuffer_Release(&data);
  if (status != TARVEL_OK) {
    Py_DECREF(out);
    return RaiseStatus(status, 0);
  }
  if (_PyBytes_Resize(&out, (Py_ssize_t)size) != 0) return NULL;
  return out;
}

/* A growing bytes object that a decoder writes into. */
typedef struct {
  PyObject* bytes;
  size_t size;
} Growing;

static int Grow(Growing* out, size_t least) {
  size_t capacity = out->bytes == NULL ? 0 : (size_t)PyBytes_GET_SIZE(out->bytes);
  if (capacity >= least) return 1;
  size_t wanted = capacity < 65536 ? 65536 : capacity * 2;
  if (wanted < least) wanted = least;
  if (out->bytes == NULL) {
    out->bytes = PyBytes_FromStringAndSize(NULL, (Py_ssize_t)wanted);
    return out->bytes != NULL;
  }
  return _PyBytes_Resize(&out->bytes, (Py_ssize_t)wanted) == 0;
}

static PyObject* Finished(Growing* out) {
  if (out->bytes == NULL) return PyBytes_FromStringAndSize(NULL, 0);
  if (_PyBytes_Resize(&out->bytes, (Py_ssize_t)out->size) != 0) return NULL;
  return out->bytes;
}

static PyObject* Decompress(PyObject* module, PyObject* args, PyObject* keywords) {
  Py_buffer data;
  int threads = 0;
  (void)module;
  if (!BufferAndThreads(args, keywords, &data, &threads)) return NULL;
  /* A first guess at the size, then the size the call says it needs. */
  Growing out = {NULL, 0};
  size_t guess = (size_t)data.len * 3 + 64;
  int status = TARVEL_ERROR_OUTPUT_TOO_SMALL;
  for (int attempt = 0; attempt < 2 && status == TARVEL_ERROR_OUTPUT_TOO_SMALL; ++attempt) {
    if (!Grow(&out, guess)) {
      PyBuffer_Release(&data);
      Py_XDECREF(out.bytes);
      return NULL;
    }
    size_t needed = 0;
    const size_t room = (size_t)PyBytes_GET_SIZE(out.bytes);
    char* into = PyBytes_AS_STRING(out.bytes);
    Py_BEGIN_ALLOW_THREADS status =
        tarvel_decompress(data.buf, (size_t)data.len, into, room, &needed, threads);
    Py_END_ALLOW_THREADS out.size = needed;
    guess = needed;
    if (status == TARVEL_ERROR_OUTPUT_TOO_SMALL && needed == 0) break;
  }
  PyBuffer_Release(&data);
  if (status != TARVEL_OK) {
    Py_XDECREF(out.bytes);
    return RaiseStatus(status, 0);
  }
  return Finished(&out);
}

/* Takes `lock`, letting other threads run while it waits. */
static void Take(PyThread_type_lock lock) {
  if (!PyThread_acquire_lock(lock, 0)) {
    Py_BEGIN_ALLOW_THREADS PyThread_acquire_lock(lock, 1);
    Py_END_ALLOW_THREADS
  }
}

/* ---- The decompressor ---- */

typedef struct {
  PyObject_HEAD tarvel_decoder* decoder;
  PyObject* unusedData;
  /* Input not consumed yet, from `pendingPos` on: the last call stopped at
   * its output limit. */
  PyObject* pending;
  Py_ssize_t pendingPos;
  char eof;
  char needsInput;
  PyThread_type_lock lock;
} DecompressorObject;

static PyObject* DecompressorNew(PyTypeObject* type, PyObject* args, PyObject* keywords) {
  static char* names[] = {NULL};
  if (!PyArg_ParseTupleAndKeywords(args, keywords, ":Decompressor", names)) return NULL;
  DecompressorObject* self = (DecompressorObject*)type->tp_alloc(type, 0);
  if (self == NULL) return NULL;
  self->decoder = tarvel_decoder_new();
  self->lock = PyThread_allocate_lock();
  self->unusedData = PyBytes_FromStringAndSize(NULL, 0);
  self->needsInput = 1;
  if (self->decoder == NULL || self->lock == NULL || self->unusedData == NULL) {
    Py_DECREF(self);
    return PyErr_NoMemory();
  }
  return (PyObject*)self;
}

static void DecompressorDealloc(DecompressorObject* self) {
  tarvel_decoder_free(self->decoder);
  if (self->lock != NULL) PyThread_free_lock(self->lock);
  Py_XDECREF(self->unusedData);
  Py_XDECREF(self->pending);
  Py_TYPE(self)->tp_free((PyObject*)self);
}

/* The input of a call: what is pending, then `data`. */
static PyObject* CallInput(DecompressorObject* self, const Py_buffer* data, Py_ssize_t* from) {
  const Py_ssize_t left =
      self->pending == NULL ? 0 : PyBytes_GET_SIZE(self->pending) - self->pendingPos;
  *from = 0;
  if (left == 0) return PyBytes_FromStringAndSize(data->buf, data->len);
  if (data->len == 0) {
    *from = self->pendingPos;
    Py_INCREF(self->pending);
    return self->pending;
  }
  PyObject* joined = PyBytes_FromStringAndSize(NULL, left + data->len);
  if (joined == NULL) return NULL;
  memcpy(PyBytes_AS_STRING(joined), PyBytes_AS_STRING(self->pending) + self->pendingPos,
         (size_t)left);
  memcpy(PyBytes_AS_STRING(joined) + left, data->buf, (size_t)data->len);
  return joined;
}

static PyObject* DecompressorDecompress(DecompressorObject* self, PyObject* args,
                                        PyObject* keywords) {
  static char* names[] = {"data", "max_length", NULL};
  Py_buffer data;
  Py_ssize_t most = -1;
  if (!PyArg_ParseTupleAndKeywords(args, keywords, "y*|n", names, &data, &most)) return NULL;
  Take(self->lock);
  if (self->eof) {
    PyThread_release_lock(self->lock);
    PyBuffer_Release(&data);
    PyErr_SetString(PyExc_EOFError, "End of stream already reached");
    return NULL;
  }
  Py_ssize_t from = 0;
  PyObject* input = CallInput(self, &data, &from);
  PyBuffer_Release(&data);
  if (input == NULL) {
    PyThread_release_lock(self->lock);
    return NULL;
  }
  Growing out = {NULL, 0};
  tarvel_in in = {PyBytes_AS_STRING(input), (size_t)PyBytes_GET_SIZE(input), (size_t)from};
  const size_t limit = most < 0 ? (size_t)-1 : (size_t)most;
  int status = 0;
  while (out.size < limit) {
    const size_t chunk = limit - out.size < 65536 ? limit - out.size : 65536;
    if (!Grow(&out, out.size + chunk)) {
      status = TARVEL_ERROR_OUT_OF_MEMORY;
      break;
    }
    tarvel_out room = {PyBytes_AS_STRING(out.bytes) + out.size, chunk, 0};
    Py_BEGIN_ALLOW_THREADS status = tarvel_decoder_run(self->decoder, &room, &in, 0);
    Py_END_ALLOW_THREADS out.size += room.pos;
    /* Done, failed, or all input consumed with room to spare. */
    if (status != 0 || room.pos < chunk) break;
  }
  if (status < 0) {
    PyThread_release_lock(self->lock);
    Py_DECREF(input);
    Py_XDECREF(out.bytes);
    return RaiseStatus(status, 0);
  }
  const Py_ssize_t left = (Py_ssize_t)(in.size - in.pos);
  if (status == 1) {
    PyObject* unused = PyBytes_FromStringAndSize(PyBytes_AS_STRING(input) + in.pos, left);
    Py_DECREF(input);
    if (unused == NULL) {
      PyThread_release_lock(self->lock);
      Py_XDECREF(out.bytes);
      return NULL;
    }
    self->eof = 1;
    self->needsInput = 0;
    Py_SETREF(self->unusedData, unused);
    Py_CLEAR(self->pending);
  } else {
    /* Input all consumed and the output limit not met: more input is
     * needed. Else the rest waits for the next call. */
    self->needsInput = left == 0 && out.size < limit;
    Py_XSETREF(self->pending, input);
    self->pendingPos = (Py_ssize_t)in.pos;
  }
  PyThread_release_lock(self->lock);
  return Finished(&out);
}

/* Says that no more input comes, and returns the restored bytes that were
 * still to come: an empty stream is an empty file, data that ended early
 * raise their reason, and bytes after the end become unused_data. */
static PyObject* DecompressorFlush(DecompressorObject* self, PyObject* unused) {
  (void)unused;
  Take(self->lock);
  Growing out = {NULL, 0};
  int status = TARVEL_DONE;
  if (!self->eof) {
    tarvel_in in = {NULL, 0, 0};
    if (self->pending != NULL) {
      in.data = PyBytes_AS_STRING(self->pending);
      in.size = (size_t)PyBytes_GET_SIZE(self->pending);
      in.pos = (size_t)self->pendingPos;
    }
    do {
      if (!Grow(&out, out.size + 65536)) {
        status = TARVEL_ERROR_OUT_OF_MEMORY;
        break;
      }
      tarvel_out room = {PyBytes_AS_STRING(out.bytes) + out.size,
                         (size_t)PyBytes_GET_SIZE(out.bytes) - out.size, 0};
      /* Bytes after the end are left, as decompress() leaves them. */
      const int last = in.pos == in.size;
      Py_BEGIN_ALLOW_THREADS status = tarvel_decoder_run(self->decoder, &room, &in, last);
      Py_END_ALLOW_THREADS out.size += room.pos;
    } while (status == TARVEL_OK);
    if (status == TARVEL_DONE) {
      PyObject* rest = PyBytes_FromStringAndSize((const char*)in.data + in.pos,
                                                 (Py_ssize_t)(in.size - in.pos));
      if (rest == NULL) {
        status = TARVEL_ERROR_OUT_OF_MEMORY;
      } else {
        Py_SETREF(self->unusedData, rest);
        self->eof = 1;
        self->needsInput = 0;
        Py_CLEAR(self->pending);
      }
    }
  }
  PyThread_release_lock(self->lock);
  if (status < 0) {
    Py_XDECREF(out.bytes);
    return RaiseStatus(status, 0);
  }
  return Finished(&out);
}

static PyMemberDef DecompressorMembers[] = {
    {"eof", T_BOOL, offsetof(DecompressorObject, eof), READONLY,
     "True once the end of the compressed data has been reached."},
    {"needs_input", T_BOOL, offsetof(DecompressorObject, needsInput), READONLY,
     "False when decompress() can give more output before it needs more input."},
    {"unused_data", T_OBJECT_EX, offsetof(DecompressorObject, unusedData), READONLY,
     "The bytes found after the end of the compressed data."},
    {NULL}};

static PyMethodDef DecompressorMethods[] = {
    {"decompress", (PyCFunction)(void (*)(void))DecompressorDecompress,
     METH_VARARGS | METH_KEYWORDS,
     "decompress(data, max_length=-1)\n--\n\n"
     "Restore data, a bytes-like object, and return the restored bytes: all of them, or at "
     "most max_length when it is not negative (the rest comes from later calls, with b'' as "
     "data). Raises TarvelError on invalid data and EOFError after the end."},
    {"flush", (PyCFunction)DecompressorFlush, METH_NOARGS,
     "flush()\n--\n\nSay that no more input comes, and return the restored bytes still to "
     "come; eof is then true. An empty stream is an empty file; data that ended early raise "
     "TarvelError."},
    {NULL}};

static PyTypeObject DecompressorType = {
    PyVarObject_HEAD_INIT(NULL, 0).tp_name = "tarvel.Decompressor",
    .tp_basicsize = sizeof(DecompressorObject),
    .tp_dealloc = (destructor)DecompressorDealloc,
    .tp_flags = Py_TPFLAGS_DEFAULT,
    .tp_doc = "Decompressor()\n--\n\n"
              "A decompressor of one compressed stream given in pieces, in memory that does not "
              "grow with the stream.",
    .tp_methods = DecompressorMethods,
    .tp_members = DecompressorMembers,
    .tp_new = DecompressorNew,
};

/* ---- The two passes of a file written in pieces ---- */

typedef struct {
  PyObject_HEAD uint64_t counts[256];
  tarvel_encoder* encoder;
  PyThread_type_lock lock;
} EncoderObject;

static PyObject* EncoderNew(PyTypeObject* type, PyObject* args, PyObject* keywords) {
  static char* names[] = {NULL};
  if (!PyArg_ParseTupleAndKeywords(args, keywords, ":_Encoder", names)) return NULL;
  EncoderObject* self = (EncoderObject*)type->tp_alloc(type, 0);
  if (self == NULL) return NULL;
  self->lock = PyThread_allocate_lock();
  if (self->lock == NULL) {
    Py_DECREF(self);
    return PyErr_NoMemory();
  }
  return (PyObject*)self;
}

static void EncoderDealloc(EncoderObject* self) {
  tarvel_encoder_free(self->encoder);
  if (self->lock != NULL) PyThread_free_lock(self->lock);
  Py_TYPE(self)->tp_free((PyObject*)self);
}

/* The first pass: counts a piece. */
static PyObject* EncoderCount(EncoderObject* self, PyObject* args) {
  Py_buffer data;
  if (!PyArg_ParseTuple(args, "y*", &data)) return NULL;
  if (self->encoder != NULL) {
    PyBuffer_Release(&data);
    PyErr_SetString(PyExc_ValueError, "the count is over");
    return NULL;
  }
  Take(self->lock);
  Py_BEGIN_ALLOW_THREADS tarvel_count(self->counts, data.buf, (size_t)data.len);
  Py_END_ALLOW_THREADS PyThread_release_lock(self->lock);
  PyBuffer_Release(&data);
  Py_RETURN_NONE;
}

/* The second pass: codes a piece of the same bytes again, `last` for the
 * final one, and returns the compressed bytes. */
static PyObject* EncoderEncode(EncoderObject* self, PyObject* args) {
  Py_buffer data;
  int last = 0;
  if (!PyArg_ParseTuple(args, "y*p", &data, &last)) return NULL;
  Take(self->lock);
  if (self->encoder == NULL) self->encoder = tarvel_encoder_new(self->counts);
  if (self->encoder == NULL) {
    PyThread_release_lock(self->lock);
    PyBuffer_Release(&data);
    return PyErr_NoMemory();
  }
  Growing out = {NULL, 0};
  tarvel_in in = {data.buf, (size_t)data.len, 0};
  int status = 0;
  do {
    if (!Grow(&out, out.size + 65536)) {
      status = TARVEL_ERROR_OUT_OF_MEMORY;
      break;
    }
    tarvel_out room = {PyBytes_AS_STRING(out.bytes) + out.size,
                       (size_t)PyBytes_GET_SIZE(out.bytes) - out.size, 0};
    Py_BEGIN_ALLOW_THREADS status = tarvel_encoder_run(self->encoder, &room, &in, last);
    Py_END_ALLOW_THREADS out.size += room.pos;
  } while (status == 0 && (in.pos < in.size || last));
  PyThread_release_lock(self->lock);
  PyBuffer_Release(&data);
  if (status < 0) {
    Py_XDECREF(out.bytes);
    return RaiseStatus(status, 0);
  }
  return Finished(&out);
}

static PyMethodDef EncoderMethods[] = {
    {"count", (PyCFunction)EncoderCount, METH_VARARGS, "count(data)\n--\n\nCount a piece."},
    {"encode", (PyCFunction)EncoderEncode, METH_VARARGS,
     "encode(data, last)\n--\n\nCode a piece of the counted bytes again."},
    {NULL}};

static PyTypeObject EncoderType = {
    PyVarObject_HEAD_INIT(NULL, 0).tp_name = "tarvel._Encoder",
    .tp_basicsize = sizeof(EncoderObject),
    .tp_dealloc = (destructor)EncoderDealloc,
    .tp_flags = Py_TPFLAGS_DEFAULT,
    .tp_doc = "The two passes over data written in pieces: count() them all, then encode() "
              "them again.",
    .tp_methods = EncoderMethods,
    .tp_new = EncoderNew,
};

/* ---- Files ---- */

static PyObject* OnFiles(PyObject* args, PyObject* keywords, int compress) {
  static char* names[] = {"src", "dst", "threads", NULL};
  PyObject* source = NULL;
  PyObject* target = NULL;
  PyObject* threadsArgument = NULL;
  int threads = 0;
  if (!PyArg_ParseTupleAndKeywords(args, keywords, "O&O&|O", names, PyUnicode_FSConverter,
                                   &source, PyUnicode_FSConverter, &target, &threadsArgument)) {
    Py_XDECREF(source);
    return NULL;
  }
  int status = 0;
  int error = 0;
  if (Threads(threadsArgument, &threads)) {
    const char* from = PyBytes_AS_STRING(source);
    const char* to = PyBytes_AS_STRING(target);
    Py_BEGIN_ALLOW_THREADS status = compress ? tarvel_compress_file(from, to, threads, NULL, NULL)
                                             : tarvel_decompress_file(from, to, threads, NULL, NULL);
    error = errno;
    Py_END_ALLOW_THREADS
  } else {
    status = 1;
  }
  Py_DECREF(source);
  Py_DECREF(target);
  if (status == 1) return NULL;
  /* One file named twice is no failure of the system: errno says nothing. */
  if (status == TARVEL_ERROR_SAME_FILE) error = 0;
  if (status != TARVEL_OK) return RaiseStatus(status, error);
  Py_RETURN_NONE;
}

static PyObject* CompressFile(PyObject* module, PyObject* args, PyObject* keywords) {
  (void)module;
  return OnFiles(args, keywords, 1);
}

static PyObject* DecompressFile(PyObject* module, PyObject* args, PyObject* keywords) {
  (void)module;
  return OnFiles(args, keywords, 0);
}

/* Hands in the package's maker of exceptions. */
static PyObject* SetErrorFactory(PyObject* module, PyObject* factory) {
  (void)module;
  Py_INCREF(factory);
  Py_XSETREF(ErrorFactory, factory);
  Py_RETURN_NONE;
}

static PyMethodDef ModuleMethods[] = {
    {"compress", (PyCFunction)(void (*)(void))Compress, METH_VARARGS | METH_KEYWORDS,
     "compress(data, threads=0)\n--\n\nThe compressed form of data, a bytes-like object."},
    {"decompress", (PyCFunction)(void (*)(void))Decompress, METH_VARARGS | METH_KEYWORDS,
     "decompress(data, threads=0)\n--\n\nThe bytes that data, a whole compressed stream, "
     "restores to."},
    {"compress_file", (PyCFunction)(void (*)(void))CompressFile, METH_VARARGS | METH_KEYWORDS,
     "compress_file(src, dst, threads=0)\n--\n\nCompress the file src into the file dst."},
    {"decompress_file", (PyCFunction)(void (*)(void))DecompressFile,
     METH_VARARGS | METH_KEYWORDS,
     "decompress_file(src, dst, threads=0)\n--\n\nRestore the file src into the file dst."},
    {"_set_error_factory", SetErrorFactory, METH_O, NULL},
    {NULL}};

static struct PyModuleDef Module = {
    PyModuleDef_HEAD_INIT,
    .m_name = "_tarvel",
    .m_doc = "The tarvel codec on its C interface.",
    .m_size = -1,
    .m_methods = ModuleMethods,
};

PyMODINIT_FUNC PyInit__tarvel(void) {
  if (PyType_Ready(&DecompressorType) < 0 || PyType_Ready(&EncoderType) < 0) return NULL;
  PyObject* module = PyModule_Create(&Module);
  if (module == NULL) return NULL;
  Py_INCREF(&DecompressorType);
  Py_INCREF(&EncoderType);
  if (PyModule_AddObject(module, "Decompressor", (PyObject*)&DecompressorType) < 0 ||
      PyModule_AddObject(module, "_Encoder", (PyObject*)&EncoderType) < 0 ||
      PyModule_AddStringConstant(module, "__version__", tarvel_version()) < 0) {
    Py_DECREF(module);
    return NULL;
  }
  return module;
}
