/* A C program that uses the library through its C ABI alone: it creates a
 * preview instance with neutral settings, translates a few RGB pixels and
 * deletes the instance.  Built and run by the test suite. */
#include <stdio.h>
#include <string.h>

#include <vantik/vantik.h>

int main(void) {
  ColorAdjustRecord adjust;
  PreviewOptions options;
  PreviewHandle preview = NULL;
  uint8_t pixels[3 * 4] = {0, 0, 0, 255, 255, 255, 200, 30, 30, 10, 120, 240};
  uint8_t out[3 * 4];
  uint32_t rc;

  memset(&adjust, 0, sizeof adjust);
  memset(&options, 0, sizeof options);
  rc = PreviewNewThk(&adjust, NULL, NULL, NULL, &options, NULL, 1, &preview);
  if (rc != RC_OK) {
    fprintf(stderr, "PreviewNewThk: %s\n", VantikCodeName(rc));
    return 1;
  }
  rc = PreviewTranslateColorsThk(preview, 4, pixels, out, 0, NULL);
  if (rc != RC_OK) {
    fprintf(stderr, "PreviewTranslateColorsThk: %s\n", VantikCodeName(rc));
    PreviewDeleteThk(preview);
    return 1;
  }
  printf("white -> %u %u %u\n", out[3], out[4], out[5]);
  return PreviewDeleteThk(preview) == RC_OK ? 0 : 1;
}
