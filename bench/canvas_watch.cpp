// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// Times how a part of the screen follows a key press, as a user sees a canvas follow
// a slider: presses KEY with xdotool, then grabs the area every 80 ms until it has not
// changed for SETTLE seconds (or TIMEOUT seconds have passed).
//   canvas_watch X Y WIDTH HEIGHT SETTLE TIMEOUT KEY...
// prints "first F settled S": seconds from the key to the first change and to the last.
// A KEY of "-" presses nothing: it waits for the area to settle.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace
{

double seconds_since(std::chrono::steady_clock::time_point start)
{
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::vector<char> grab(Display *display, int x, int y, int width, int height)
{
  XImage *image = XGetImage(display, DefaultRootWindow(display), x, y, unsigned(width),
                            unsigned(height), AllPlanes, ZPixmap);
  if (!image)
    return {};
  std::vector<char> pixels(image->data,
                           image->data + size_t(image->bytes_per_line) * size_t(height));
  XDestroyImage(image);
  return pixels;
}

} // namespace

int main(int argc, char **argv)
{
  if (argc < 8) {
    std::fprintf(stderr, "usage: canvas_watch X Y WIDTH HEIGHT SETTLE TIMEOUT KEY...\n");
    return 2;
  }
  Display *display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "canvas_watch: cannot open the display\n");
    return 1;
  }
  const int x = std::atoi(argv[1]), y = std::atoi(argv[2]), width = std::atoi(argv[3]),
            height = std::atoi(argv[4]);
  const double settle = std::atof(argv[5]), timeout = std::atof(argv[6]);
  const bool press = std::strcmp(argv[7], "-") != 0;
  std::string keys = "xdotool key";
  for (int i = 7; i < argc; i++)
    keys += std::string(" ") + argv[i];

  std::vector<char> shown = grab(display, x, y, width, height);
  const auto start = std::chrono::steady_clock::now();
  if (press && std::system(keys.c_str()) != 0)
    return 1;
  double first = -1, last = 0;
  while (seconds_since(start) < timeout &&
         ((press && first < 0) || seconds_since(start) - last < settle)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(80));
    std::vector<char> now = grab(display, x, y, width, height);
    if (now != shown) {
      last = seconds_since(start);
      first = first < 0 ? last : first;
      shown.swap(now);
    }
  }
  std::printf("first %.2f settled %.2f\n", first, last);
  XCloseDisplay(display);
  return press && first < 0 ? 1 : 0;
}
