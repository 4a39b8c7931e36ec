/* tarvel: a file compressor with a static Huffman code built for each input,
 * as a C library.
 *
 * The compressed form is a byte-aligned header of code lengths, then the code
 * of every byte and of an end symbol, then zero bits to the byte boundary. It
 * has no signature, no length and no checksum, and the same input gives the
 * same bytes on every machine and for any number of threads.
 *
 * Every function returns what happened: none prints, exits, raises a signal
 * or throws. A status is 0 (TARVEL_OK) on success and negative on failure;
 * the streaming calls also return 1 (TARVEL_DONE) when they are done. Every
 * `threads` argument is 0 to choose as the programs do (one thread below a
 * megabyte, else up to four), or a number of threads, of which no more are
 * started than the CPU affinity allows; a negative one is
 * TARVEL_ERROR_ARGUMENT. Every function may be
 * called from several threads at once on different objects. Nothing that the
 * library allocates is handed to the caller except the opaque handles, which
 * the matching _free function releases.
 *
 * This header compiles as C99 and as C++. */
#ifndef TARVEL_H
#define TARVEL_H

#include <stddef.h>
#include <stdint.h>

#define TARVEL_VERSION_MAJOR 0
#define TARVEL_VERSION_MINOR 2
#define TARVEL_VERSION_PATCH 0
/* MAJOR * 10000 + MINOR * 100 + PATCH, for a compile-time check. */
#define TARVEL_VERSION_NUMBER \
  (TARVEL_VERSION_MAJOR * 10000 + TARVEL_VERSION_MINOR * 100 + TARVEL_VERSION_PATCH)

/* What the library exports: on Windows, from the DLL as it is built (its
 * users need nothing: the import library leads the calls there); elsewhere,
 * what the shared library shows of itself. */
#if defined(_WIN32)
#if defined(TARVEL_BUILDING_DLL)
#define TARVEL_C_API __declspec(dllexport)
#else
#define TARVEL_C_API
#endif
#elif defined(__GNUC__) || defined(__clang__)
#define TARVEL_C_API __attribute__((visibility("default")))
#else
#define TARVEL_C_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Statuses. Each failure has its own value; tarvel_status_text() names it.
 * Where a failure comes from the system (an open, a read, a write), errno
 * holds its reason when the call returns. */
enum {
  TARVEL_DONE = 1, /* a streaming call has written everything */
  TARVEL_OK = 0,
  TARVEL_ERROR_OPEN_INPUT = -1,       /* the input cannot be opened, or is a directory */
  TARVEL_ERROR_OPEN_OUTPUT = -2,      /* the output cannot be written */
  TARVEL_ERROR_SAME_FILE = -3,        /* the input and the output are one file */
  TARVEL_ERROR_READ_INPUT = -4,       /* a read failed before the end of the input */
  TARVEL_ERROR_INPUT_CHANGED = -5,    /* the input is not what was counted */
  TARVEL_ERROR_TEMPORARY_COPY = -6,   /* no temporary copy of a read-once input */
  TARVEL_ERROR_WRITE_OUTPUT = -7,     /* a write, flush or close of the output failed */
  TARVEL_ERROR_REPLACE_OUTPUT = -8,   /* the output could not be renamed into place */
  TARVEL_ERROR_OUTPUT_TOO_SMALL = -9, /* the output buffer is too small */
  TARVEL_ERROR_OUT_OF_MEMORY = -10,   /* memory ran out */
  TARVEL_ERROR_CANCELLED = -11,       /* the progress callback asked to stop */
  TARVEL_ERROR_ARGUMENT = -12,        /* a null pointer, a position beyond its size,
                                         a negative thread count */
  /* The data do not follow the layout, one value per reason; every value
   * from TARVEL_ERROR_INVALID_FIRST down to TARVEL_ERROR_INVALID_LAST is one
   * (tarvel_is_invalid_data()), and later versions may add more there. */
  TARVEL_ERROR_HEADER_TRUNCATED = -101,
  TARVEL_ERROR_UNKNOWN_FLAGS = -102,
  TARVEL_ERROR_ODD_BYTE = -103,
  TARVEL_ERROR_TOO_MANY_RECORDS = -104,
  TARVEL_ERROR_END_POSITION = -105,
  TARVEL_ERROR_TWO_RECORDS = -106,
  TARVEL_ERROR_ZERO_LENGTH = -107,
  TARVEL_ERROR_LENGTH_TOO_LONG = -108,
  TARVEL_ERROR_LENGTHS_OVERFLOW = -109,
  TARVEL_ERROR_SHORTENED_CODE = -110,
  TARVEL_ERROR_LAST_CODE = -111,
  TARVEL_ERROR_ENDS_BEFORE_END_SYMBOL = -112,
  TARVEL_ERROR_ENDS_INSIDE_CODE = -113,
  TARVEL_ERROR_FILL_NOT_ZERO = -114,
  TARVEL_ERROR_DATA_AFTER_END = -115,
  TARVEL_ERROR_INVALID_FIRST = -101,
  TARVEL_ERROR_INVALID_LAST = -199
};

/* Whether `status` says that the data are not a valid compressed file. */
TARVEL_C_API int tarvel_is_invalid_data(int status);

/* The library's version, "MAJOR.MINOR.PATCH". */
TARVEL_C_API const char* tarvel_version(void);

/* What `status` means, as a phrase without a final full stop: for invalid
 * data, the reason that the untarvel program prints ("the header is
 * truncated"). Never null; "unknown status" for a value that is none. */
TARVEL_C_API const char* tarvel_status_text(int status);

/* ---- Whole buffers ---- */

/* The largest compressed size of `size` bytes of any content, or 0 when that
 * does not fit in a size_t. */
TARVEL_C_API size_t tarvel_compress_bound(size_t size);

/* Compresses the `srcSize` bytes at `src` into `dst`, which has room for
 * `dstCapacity` bytes, and sets *dstSize to the compressed size: the bytes
 * the tarvel program writes for a file holding them (0 for no bytes). Writes
 * nothing beyond `dstCapacity`: when the compressed form does not fit, returns
 * TARVEL_ERROR_OUTPUT_TOO_SMALL with *dstSize the size it needs.
 * tarvel_compress_bound(srcSize) bytes are always enough. `src` may be null
 * when srcSize is 0. Bytes that another thread changes during the call give
 * TARVEL_ERROR_INPUT_CHANGED: a success is always data that restore. */
TARVEL_C_API int tarvel_compress(const void* src, size_t srcSize, void* dst, size_t dstCapacity,
                                 size_t* dstSize, int threads);

/* The most that `srcSize` compressed bytes can restore to, or SIZE_MAX when
 * that does not fit in a size_t. */
TARVEL_C_API size_t tarvel_decompress_bound(size_t srcSize);

/* Restores the `srcSize` compressed bytes at `src` into `dst`, which has room
 * for `dstCapacity` bytes, and sets *dstSize to the restored size. Writes
 * nothing beyond `dstCapacity`: when the restored data do not fit, returns
 * TARVEL_ERROR_OUTPUT_TOO_SMALL with *dstSize the size they need when it is
 * known (the data are valid and were decoded to their end), else 0. On
 * invalid data, returns its status, and what `dst` holds is unspecified. */
TARVEL_C_API int tarvel_decompress(const void* src, size_t srcSize, void* dst, size_t dstCapacity,
                                   size_t* dstSize, int threads);

/* ---- Streams in bounded memory ---- */

/* Input and output for the streaming calls: each call reads from
 * data + pos up to data + size, and writes likewise, and advances `pos` by
 * what it consumed or produced. `data` may be null when `size` is 0.
 *
 * The loop that restores a stream read in pieces (examples/stream.c is it,
 * running); only the source and the sink are the caller's:
 *
 *   tarvel_decoder* decoder = tarvel_decoder_new();
 *   int status = TARVEL_OK;
 *   while (status == TARVEL_OK) {
 *     size_t got = read_piece(source, piece, sizeof piece);  // 0 at its end
 *     int last = got == 0;
 *     tarvel_in in = {piece, got, 0};
 *     do {  // until the piece is used up; at the end, until done
 *       tarvel_out out = {room, sizeof room, 0};
 *       status = tarvel_decoder_run(decoder, &out, &in, last);
 *       write_all(sink, room, out.pos);
 *     } while (status == TARVEL_OK && (in.pos < in.size || last));
 *     // Done before the end of the input, also where the data end with a
 *     // piece: one byte more is data after the end.
 *     if (status == TARVEL_DONE && !last &&
 *         (in.pos < in.size || read_piece(source, piece, sizeof piece) > 0))
 *       status = TARVEL_ERROR_DATA_AFTER_END;
 *   }
 *   // TARVEL_DONE: every byte is out, and nothing followed the data.
 *   // Negative: the data are invalid. (A caller that reads something else
 *   // after the data finds it at piece + in.pos instead.)
 *   tarvel_decoder_free(decoder);
 *
 * 0 from a call means "call again": with more input when it has consumed
 * all of `in`, else with more room. `last` may be given with the final
 * piece or, as here, with an empty one after it; once it is given, the call
 * is repeated (with what is left of `in`) until it returns TARVEL_DONE or a
 * failure. Compressing is the same loop twice: tarvel_count() over every
 * piece, tarvel_encoder_new(), then tarvel_encoder_run() over the same
 * pieces again. */
typedef struct {
  const void* data;
  size_t size;
  size_t pos;
} tarvel_in;

typedef struct {
  void* data;
  size_t size;
  size_t pos;
} tarvel_out;

/* A decoder of one compressed stream given in pieces of any size. Its
 * memory does not grow with the stream: some tens of KiB, and less than a
 * MiB more once it is given pieces of tens of KiB with room for what they
 * restore to, which it decodes several parts at a time. Null when memory
 * runs out. */
typedef struct tarvel_decoder tarvel_decoder;
TARVEL_C_API tarvel_decoder* tarvel_decoder_new(void);

/* Consumes what it can of `in` and writes restored bytes to `out`. Returns
 * 1 once the end symbol and its fill are consumed and every restored byte
 * is out, with in->pos just past the compressed data; 0 when it needs more
 * input (it then has consumed all of `in`) or more room in `out`; a
 * negative status on invalid data. `last` non-zero says that `in` holds the
 * rest of the input: data that end early then give their status (an empty
 * input as a whole is an empty file, which gives 1), and so do bytes after
 * the end. Without `last`, bytes after the end are left in `in`, for the
 * caller to use; given to a later call, they are TARVEL_ERROR_DATA_AFTER_END.
 * Once it has returned a negative status, the decoder returns it again.
 * Any split of the input gives the same bytes as tarvel_decompress(). */
TARVEL_C_API int tarvel_decoder_run(tarvel_decoder* decoder, tarvel_out* out, tarvel_in* in,
                                    int last);

/* Readies the decoder for a new stream, as if it were new, keeping its
 * memory: for a caller that restores many streams one after the other. */
TARVEL_C_API void tarvel_decoder_reset(tarvel_decoder* decoder);

/* Releases the decoder; null is allowed. */
TARVEL_C_API void tarvel_decoder_free(tarvel_decoder* decoder);

/* Adds the byte counts of `size` bytes at `data` to counts[byte value]: the
 * first of the encoder's two passes, over pieces of any size. */
TARVEL_C_API void tarvel_count(uint64_t counts[256], const void* data, size_t size);

/* An encoder for data with the byte counts `counts` (as tarvel_count() made
 * them over the whole input). Null when memory runs out, and for counts that
 * no input can have: a total above INT64_MAX, or more compressed bits than
 * INT64_MAX. */
typedef struct tarvel_encoder tarvel_encoder;
TARVEL_C_API tarvel_encoder* tarvel_encoder_new(const uint64_t counts[256]);

/* The size of the encoder's whole output, known from the counts alone. */
TARVEL_C_API uint64_t tarvel_encoder_size(const tarvel_encoder* encoder);

/* The second pass: consumes what it can of `in` (the same bytes again, in
 * pieces of any size) and writes compressed bytes to `out`. Returns 1 when
 * everything, the end symbol's code and the fill included, has been written;
 * 0 when it needs more input or more room in `out`;
 * TARVEL_ERROR_INPUT_CHANGED when the bytes given are not those counted (a
 * byte value with no count, more bytes than counted, bytes given after it
 * returned 1, or, with `last`, fewer). Once it has returned a negative
 * status, the encoder returns it again. `last` non-zero says that `in` holds
 * the rest of the input. The bytes equal those of tarvel_compress() of the
 * whole input. */
TARVEL_C_API int tarvel_encoder_run(tarvel_encoder* encoder, tarvel_out* out, tarvel_in* in,
                                    int last);

/* Releases the encoder; null is allowed. */
TARVEL_C_API void tarvel_encoder_free(tarvel_encoder* encoder);

/* ---- Files and descriptors ---- */

/* Told how far a file or descriptor call has come: `done` bytes of the
 * input read of `total` (0 when not known ahead), at most a few times a
 * second, from the calling thread or one of its helpers. Returning non-zero
 * ends the call with TARVEL_ERROR_CANCELLED, and the output as a failure
 * leaves it. Null for none. */
typedef int (*tarvel_progress)(void* user, uint64_t done, uint64_t total);

/* Compresses the file named `input` into the file named `output` in two
 * passes, as the tarvel program does, without its report: an input that can
 * be read only once is copied aside in $TMPDIR; the output is complete or
 * absent (written at a temporary name and renamed into place), an existing
 * output is left as it was on any failure, and a link is written through. */
TARVEL_C_API int tarvel_compress_file(const char* input, const char* output, int threads,
                                      tarvel_progress progress, void* user);

/* Restores the file named `input` into the file named `output`, with the
 * same rules. */
TARVEL_C_API int tarvel_decompress_file(const char* input, const char* output, int threads,
                                        tarvel_progress progress, void* user);

/* Compresses what descriptor `input` reads into descriptor `output`. A
 * seekable regular input is read twice by position, from its current offset
 * to its end; any other is copied aside in $TMPDIR on the first pass. The
 * output is written from its current position; neither descriptor is
 * closed. On failure part of the output may have been written. */
TARVEL_C_API int tarvel_compress_fd(int input, int output, int threads, tarvel_progress progress,
                                    void* user);

/* Restores what descriptor `input` reads into descriptor `output`, with the
 * same rules. */
TARVEL_C_API int tarvel_decompress_fd(int input, int output, int threads, tarvel_progress progress,
                                      void* user);

#ifdef __cplusplus
}
#endif

#endif /* TARVEL_H */
