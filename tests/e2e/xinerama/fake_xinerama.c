/* A stand-in for libXinerama.so.1 that reports two 1920x1080 heads side by side, the first one at
 * the origin. Put on LD_LIBRARY_PATH under an X screen of 3840x1080 without RandR, it makes Wine
 * see two monitors. The X server's own answer is not asked for. */
#include <X11/Xlib.h>
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

/* The caller frees the list with XFree, which is free. */
XineramaScreenInfo* XineramaQueryScreens(Display* display, int* count) {
  (void)display;
  XineramaScreenInfo* heads = malloc(2 * sizeof *heads);
  *count = heads ? 2 : 0;
  for (int head = 0; heads && head < 2; ++head) {
    heads[head] = (XineramaScreenInfo){
        .screen_number = head, .x_org = (short)(1920 * head), .width = 1920, .height = 1080};
  }
  return heads;
}
