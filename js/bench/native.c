/* The native library's buffer calls on one thread, for the JavaScript
 * benchmark beside it: compresses and restores FILE `rounds` times and
 * prints the best MB/s of each, as JSON.
 *
 * usage: native FILE ROUNDS */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <tarvel.h>
#include <time.h>

static double Now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  FILE* file = fopen(argv[1], "rb");
  if (file == NULL) return 1;
  fseek(file, 0, SEEK_END);
  const size_t size = (size_t)ftell(file);
  fseek(file, 0, SEEK_SET);
  unsigned char* data = malloc(size);
  if (data == NULL || fread(data, 1, size, file) != size) return 1;
  fclose(file);
  const size_t bound = tarvel_compress_bound(size);
  unsigned char* packed = malloc(bound);
  unsigned char* restored = malloc(size + 1);
  size_t packedSize = 0;
  size_t restoredSize = 0;
  double compressBest = 1e30;
  double decompressBest = 1e30;
  for (int round = 0; round < atoi(argv[2]); ++round) {
    double start = Now();
    if (tarvel_compress(data, size, packed, bound, &packedSize, 1) != TARVEL_OK) return 1;
    double middle = Now();
    if (tarvel_decompress(packed, packedSize, restored, size + 1, &restoredSize, 1) != TARVEL_OK ||
        restoredSize != size || memcmp(restored, data, size) != 0) {
      return 1;
    }
    double end = Now();
    if (middle - start < compressBest) compressBest = middle - start;
    if (end - middle < decompressBest) decompressBest = end - middle;
  }
  printf("{\"compress\": %.1f, \"decompress\": %.1f}\n", (double)size / compressBest / 1e6,
         (double)size / decompressBest / 1e6);
  return 0;
}
