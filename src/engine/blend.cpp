// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
#include "blend.h"

#include <cmath>

namespace
{

// Where between its samples a position lies, in [0, 1).
double fraction(double v)
{
  v = std::fmod(v, 1.0);
  return v < 0.0 ? v + 1.0 : v;
}

// Weights each channel of dest by the samples and writes it with store; T is the
// channel type, store how a blended value becomes one.
template <typename T, typename Store>
void blend(T *dest, double x, double y, int channels, bool has_alpha,
           const T *const samples[4], Store store)
{
  x = fraction(x);
  y = fraction(y);
  if (!has_alpha) {
    for (int i = 0; i < channels; i++) {
      const double m0 = (1.0 - x) * samples[0][i] + x * samples[1][i];
      const double m1 = (1.0 - x) * samples[2][i] + x * samples[3][i];
      dest[i] = store((1.0 - y) * m0 + y * m1);
    }
    return;
  }

  const int ai = channels - 1;
  const double alpha0 = samples[0][ai], alpha1 = samples[1][ai];
  const double alpha2 = samples[2][ai], alpha3 = samples[3][ai];
  const double alpha = ((1.0 - y) * ((1.0 - x) * alpha0 + x * alpha1) +
                        y * ((1.0 - x) * alpha2 + x * alpha3));
  dest[ai] = store(alpha);
  if (dest[ai] == 0) {
    for (int i = 0; i < ai; i++)
      dest[i] = samples[0][i];
    return;
  }
  // Colour premultiplied by alpha, so transparent samples add nothing to it.
  for (int i = 0; i < ai; i++) {
    const double m0 = ((1.0 - x) * samples[0][i] * alpha0 + x * samples[1][i] * alpha1);
    const double m1 = ((1.0 - x) * samples[2][i] * alpha2 + x * samples[3][i] * alpha3);
    dest[i] = store(((1.0 - y) * m0 + y * m1) / alpha);
  }
}

} // namespace

void blend_samples_8(uint8_t *dest, double x, double y, int channels, bool has_alpha,
                     const uint8_t *const samples[4])
{
  blend(dest, x, y, channels, has_alpha, samples,
        [](double v) { return static_cast<uint8_t>(v); });
}

void blend_samples_double(double *dest, double x, double y, int channels, bool has_alpha,
                          const double *const samples[4])
{
  blend(dest, x, y, channels, has_alpha, samples, [](double v) { return v; });
}
