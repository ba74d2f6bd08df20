/* A stand-in for libXinerama.so.1 that reports one or two 1920x1080 heads side by side, the first
 * one at the origin. Put on LD_LIBRARY_PATH under an X screen of 3840x1080 without RandR, it makes
 * Wine see that many monitors. The X server's own answer is not asked for.
 *
 * How many: the number in the file named by ORVEL_MONITOR_COUNT_FILE, read at each query, so that
 * a test can change it while Wine runs. Two when the file is missing or says anything but 1 or 2.
 */
#include <X11/Xlib.h>
#include <stdio.h>
#include <stdlib.h>

/* As libXinerama declares it; its header is not needed for the two functions that Wine calls. */
typedef struct {
  int screen_number;
  short x_org, y_org, width, height;
} XineramaScreenInfo;

Bool XineramaQueryExtension(Display* display, int* event_base, int* error_base) {
  (void)display;
  *event_base = *error_base = 0;
  return True;
}

static int head_count(void) {
  const char* path = getenv("ORVEL_MONITOR_COUNT_FILE");
  FILE* file = path ? fopen(path, "r") : NULL;
  int count = 2;
  if (file) {
    if (fscanf(file, "%d", &count) != 1 || count < 1 || count > 2) count = 2;
    fclose(file);
  }
  return count;
}

/* The caller frees the list with XFree, which is free. */
XineramaScreenInfo* XineramaQueryScreens(Display* display, int* count) {
  (void)display;
  const int heads = head_count();
  XineramaScreenInfo* list = malloc((size_t)heads * sizeof *list);
  *count = list ? heads : 0;
  for (int head = 0; list && head < heads; ++head) {
    list[head] = (XineramaScreenInfo){
        .screen_number = head, .x_org = (short)(1920 * head), .width = 1920, .height = 1080};
  }
  return list;
}
