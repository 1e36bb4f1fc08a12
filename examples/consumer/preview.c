/* Uses the C interface: the screen preview of three pixels with neutral
 * adjustments.  Prints the pixels before and after; exits 1 on an error. */
#include <stdio.h>
#include <string.h>

#include <vantik/vantik.h>

int main(void) {
  ColorAdjustRecord adjust;
  PreviewOptions options;
  PreviewHandle preview = NULL;
  uint8_t pixels[9] = {0, 0, 0, 128, 128, 128, 200, 40, 40};
  uint8_t out[9];
  uint32_t rc;

  memset(&adjust, 0, sizeof adjust);
  memset(&options, 0, sizeof options);
  rc = PreviewNewThk(&adjust, NULL, NULL, NULL, &options, NULL, 1, &preview);
  if (rc != RC_OK) {
    fprintf(stderr, "PreviewNewThk: %s\n", VantikCodeName(rc));
    return 1;
  }
  rc = PreviewTranslateColorsThk(preview, 3, pixels, out, 0, NULL);
  PreviewDeleteThk(preview);
  if (rc != RC_OK) {
    fprintf(stderr, "PreviewTranslateColorsThk: %s\n", VantikCodeName(rc));
    return 1;
  }
  for (int i = 0; i < 3; ++i) {
    printf("%3u %3u %3u -> %3u %3u %3u\n", pixels[3 * i], pixels[3 * i + 1], pixels[3 * i + 2],
           out[3 * i], out[3 * i + 1], out[3 * i + 2]);
  }
  return 0;
}
