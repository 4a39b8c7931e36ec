/* Restores a compressed stream from standard input to standard output, 4 KiB
 * at a time, after checking a round trip in memory. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <tarvel.h>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#if TARVEL_VERSION_NUMBER < 200
#error "tarvel 0.2.0 or later is needed"
#endif

static int RoundTrip(void) {
  static const char text[] = "abracadabra, abracadabra, abracadabra";
  const size_t size = sizeof text - 1;
  size_t packedSize = 0;
  size_t restoredSize = 0;
  unsigned char* packed = malloc(tarvel_compress_bound(size));
  char restored[sizeof text];
  int status = packed == NULL ? TARVEL_ERROR_OUT_OF_MEMORY
                              : tarvel_compress(text, size, packed, tarvel_compress_bound(size),
                                                &packedSize, 0);
  if (status == TARVEL_OK) {
    status = tarvel_decompress(packed, packedSize, restored, sizeof restored, &restoredSize, 0);
  }
  free(packed);
  if (status != TARVEL_OK || restoredSize != size || memcmp(restored, text, size) != 0) {
    fprintf(stderr, "round trip failed: %s\n", tarvel_status_text(status));
    return 0;
  }
  fprintf(stderr, "tarvel %s: %zu bytes in %zu bytes\n", tarvel_version(), size, packedSize);
  return 1;
}

int main(void) {
  unsigned char piece[4096];
  unsigned char room[4096];
  tarvel_decoder* decoder = NULL;
  int status = TARVEL_OK;
#ifdef _WIN32
  /* Every byte as it is: no translation of line ends. */
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  if (!RoundTrip()) return 1;
  decoder = tarvel_decoder_new();
  if (decoder == NULL) return 1;
  while (status == TARVEL_OK) {
    const size_t got = fread(piece, 1, sizeof piece, stdin);
    const int last = got == 0;
    tarvel_in in = {NULL, 0, 0};
    if (ferror(stdin)) {
      fprintf(stderr, "cannot read standard input\n");
      return 1;
    }
    in.data = piece;
    in.size = got;
    do {
      tarvel_out out = {NULL, sizeof room, 0};
      out.data = room;
      status = tarvel_decoder_run(decoder, &out, &in, last);
      if (fwrite(room, 1, out.pos, stdout) != out.pos) status = TARVEL_ERROR_WRITE_OUTPUT;
    } while (status == TARVEL_OK && (in.pos < in.size || last));
    /* Done before the end of the input, also where the data end with a
     * piece: one byte more is data after the end. */
    if (status == TARVEL_DONE && !last &&
        (in.pos < in.size || fread(piece, 1, sizeof piece, stdin) > 0)) {
      status = TARVEL_ERROR_DATA_AFTER_END;
    }
  }
  tarvel_decoder_free(decoder);
  if (ferror(stdin)) {
    fprintf(stderr, "cannot read standard input\n");
    return 1;
  }
  if (status < 0) {
    fprintf(stderr, "standard input: %s\n", tarvel_status_text(status));
    return 1;
  }
  return fflush(stdout) == 0 ? 0 : 1;
}
