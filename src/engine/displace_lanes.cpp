// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// The vector kernel of displace_points, compiled once per instruction set with
// ONDALUX_LANES (2 for SSE2, 4 for AVX2, 8 for AVX-512) and ONDALUX_LANES_FUNCTION
// naming its entry.
// It repeats the scalar arithmetic of noise.cpp and displace.cpp operation for
// operation, in the same order, so every result is bit-identical; points whose
// coordinates are not finite or are too large for 32-bit cells go the scalar way.
// Nothing here is inline or shared with other files, so no instruction of this set
// leaks into code that runs without it.
#include <array>
#include <cstdint>
#include <cstring>

#include <immintrin.h>

#include "displace.h"

namespace
{

constexpr int lanes = ONDALUX_LANES;
typedef double Doubles __attribute__((vector_size(8 * lanes)));
typedef int64_t Masks __attribute__((vector_size(8 * lanes)));
typedef int32_t Ints __attribute__((vector_size(4 * lanes)));

// Noise inputs beyond this take the scalar way: their cells stay far inside 32 bits.
constexpr double safe_limit = 67108864.0;

// Whole numbers to doubles. GCC splits the generic conversion of four or eight lanes
// into halves; AVX and AVX-512 convert them in one instruction.
Doubles to_doubles(Ints v)
{
#if ONDALUX_LANES == 8
  // The zero-masked forms: GCC 12 warns of the plain ones' undefined fill.
  return Doubles(_mm512_maskz_cvtepi32_pd(0xff, __m256i(v)));
#elif defined __AVX__
  return Doubles(_mm256_cvtepi32_pd(__m128i(v)));
#else
  return __builtin_convertvector(v, Doubles);
#endif
}

// table[index[k]] for every lane. Lane by lane: AVX2's gather instructions are
// slower than that on the processors measured.
Ints gather(const uint8_t *table, Ints index)
{
  Ints values;
  for (int k = 0; k < lanes; k++)
    values[k] = table[index[k]];
  return values;
}

// Whether a comparison held in every lane, tested at once rather than lane by lane.
bool every_lane(Masks holds)
{
#if ONDALUX_LANES == 8
  return _mm512_movepi64_mask(__m512i(holds)) == 0xff;
#elif ONDALUX_LANES == 4
  return _mm256_movemask_pd(__m256d(holds)) == 0xf;
#else
  return _mm_movemask_pd(__m128d(holds)) == 0x3;
#endif
}

bool every_lane(Ints holds)
{
#if ONDALUX_LANES == 8
  return _mm256_movemask_epi8(__m256i(holds)) == -1;
#elif ONDALUX_LANES == 4
  return _mm_movemask_epi8(__m128i(holds)) == 0xffff;
#else
  return holds[0] && holds[1];
#endif
}

bool same_in_every_lane(Ints v)
{
  return every_lane(v == v[0]);
}

// The first two components of the gradients 0..11 of the table in noise.cpp, worked
// out rather than looked up: x is +-1 (odd indices negative) below 8, else 0; y is
// +-1 below 4 (indices 2 and 3 negative), 0 from 4 to 7, and +-1 from 8 (odd
// negative).
Doubles gradient_x(Ints index)
{
  const Ints sign = 1 - 2 * (index & 1);
  return to_doubles(index < 8 ? sign : Ints{});
}

Doubles gradient_y(Ints index)
{
  const Ints low = 1 - (index & 2);
  const Ints high = 1 - 2 * (index & 1);
  return to_doubles(index < 4 ? low : index < 8 ? Ints{} : high);
}

// fastfloor for every lane, as whole doubles; lanes within the safe limit.
Doubles fastfloor(Doubles v)
{
#if ONDALUX_LANES == 8
  const Doubles truncated = Doubles(_mm512_maskz_roundscale_pd(
      0xff, __m512d(v), _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC));
#elif defined __AVX__
  const Doubles truncated =
      Doubles(_mm256_round_pd(__m256d(v), _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC));
#else
  const Doubles truncated = to_doubles(__builtin_convertvector(v, Ints));
#endif
  return v > 0.0 ? truncated : truncated - 1.0;
}

Doubles corner(Doubles gx, Doubles gy, Doubles x, Doubles y)
{
  const Doubles t = kernel_radius - x * x - y * y;
  const Doubles contribution = (t * t) * (t * t) * (gx * x + gy * y);
  return t < 0.0 ? Doubles{} : contribution;
}

// A point's place among the simplex cells: its offsets from the three corners and
// where the corners' gradients stand in the table.
struct Simplex {
  Doubles x0, y0, x1, y1, x2, y2;
  Masks lower;
  Ints cell;
};

struct CornerGradients {
  Doubles x0, y0, x1, y1, x2, y2;
};

// Inlined, as is all that follows, so that the evaluations for a group of points can
// overlap.
[[gnu::always_inline]] inline Simplex locate(Doubles xin, Doubles yin)
{
  const Doubles s = (xin + yin) * skew_factor;
  // Sums and differences of whole doubles below 2^27 are exact, as in 32 bits.
  const Doubles floor_x = fastfloor(xin + s), floor_y = fastfloor(yin + s);
  const Doubles t = (floor_x + floor_y) * unskew_factor;
  const Doubles x0 = xin - (floor_x - t);
  const Doubles y0 = yin - (floor_y - t);
  const Ints i = __builtin_convertvector(floor_x, Ints);
  const Ints j = __builtin_convertvector(floor_y, Ints);

  const Masks lower = x0 > y0;
  const Doubles i1 = lower ? Doubles{} + 1.0 : Doubles{};
  const Doubles j1 = lower ? Doubles{} : Doubles{} + 1.0;
  // Masking keeps every index in the table.
  return {x0,
          y0,
          (x0 - i1) + unskew_factor,
          (y0 - j1) + unskew_factor,
          (x0 - 1.0) + 2.0 * unskew_factor,
          (y0 - 1.0) + 2.0 * unskew_factor,
          lower,
          (j & 255) * corner_stride + (i & 255)};
}

// The first two components of each gradient, as doubles.
struct GradientDoubles {
  double x, y;
};

constexpr std::array<GradientDoubles, gradient_table.size()> gradient_doubles = [] {
  std::array<GradientDoubles, gradient_table.size()> doubles = {};
  for (size_t k = 0; k < gradient_table.size(); k++)
    doubles[k] = {double(gradient_table[k].x), double(gradient_table[k].y)};
  return doubles;
}();

Doubles broadcast(double v)
{
  return Doubles{} + v;
}

// The gradients when every lane lies in one cell: one look-up per corner serves all.
[[gnu::always_inline]] inline CornerGradients
shared_gradients(const uint8_t *corner_gradient, const Simplex &simplex)
{
  const uint8_t *first = corner_gradient + simplex.cell[0];
  const GradientDoubles &g0 = gradient_doubles[first[0]];
  const GradientDoubles &g1_lower = gradient_doubles[first[1]];
  const GradientDoubles &g1_upper = gradient_doubles[first[corner_stride]];
  const GradientDoubles &g2 = gradient_doubles[first[corner_stride + 1]];
  const Masks lower = simplex.lower;
  return {broadcast(g0.x),
          broadcast(g0.y),
          lower ? broadcast(g1_lower.x) : broadcast(g1_upper.x),
          lower ? broadcast(g1_lower.y) : broadcast(g1_upper.y),
          broadcast(g2.x),
          broadcast(g2.y)};
}

[[gnu::always_inline]] inline CornerGradients gradients(const uint8_t *corner_gradient,
                                                        const Simplex &simplex)
{
  if (same_in_every_lane(simplex.cell))
    return shared_gradients(corner_gradient, simplex);
  const Ints cell = simplex.cell;
  const Ints gi0 = gather(corner_gradient, cell);
  const Ints gi1 =
      gather(corner_gradient,
             cell + (__builtin_convertvector(simplex.lower, Ints) ? 1 : corner_stride));
  const Ints gi2 = gather(corner_gradient, cell + corner_stride + 1);
  return {gradient_x(gi0), gradient_y(gi0), gradient_x(gi1),
          gradient_y(gi1), gradient_x(gi2), gradient_y(gi2)};
}

[[gnu::always_inline]] inline Doubles noise(const Simplex &simplex,
                                            const CornerGradients &g)
{
  const Doubles c0 = corner(g.x0, g.y0, simplex.x0, simplex.y0);
  const Doubles c1 = corner(g.x1, g.y1, simplex.x1, simplex.y1);
  const Doubles c2 = corner(g.x2, g.y2, simplex.x2, simplex.y2);
  return output_factor * ((c0 + c1) + c2);
}

// fold_coordinate for every lane, when each lane's whole part lies within one period
// of the fold (as it does for all but extreme settings); false, with nothing written,
// otherwise.
bool fold_lanes(Doubles v, int32_t limit, Doubles *folded)
{
  if (!every_lane((v < 1073741824.0) & (v > -1073741824.0)))
    return false;
  const Ints truncated = __builtin_convertvector(v, Ints);
  const Ints whole = truncated < 0 ? -truncated : truncated;
  if (limit >= 1073741824) { // beyond every whole part here
    *folded = to_doubles(whole);
    return true;
  }
  const int32_t period = 2 * limit;
  if (!every_lane(whole < period))
    return false;
  *folded = to_doubles(whole <= limit ? whole : period - whole);
  return true;
}

// fold_displaced for every lane.
void fold_all(const DisplaceParams &params, Doubles *dx, Doubles *dy, double *nx,
              double *ny)
{
  const int32_t limit_x = params.sel_x2 - 1, limit_y = params.sel_y2 - 1;
  if ((limit_x == 0 || fold_lanes(*dx, limit_x, dx)) &&
      (limit_y == 0 || fold_lanes(*dy, limit_y, dy))) {
    std::memcpy(nx, dx, sizeof *dx);
    std::memcpy(ny, dy, sizeof *dy);
    return;
  }
  for (int k = 0; k < lanes; k++) {
    nx[k] = (*dx)[k];
    ny[k] = (*dy)[k];
    fold_displaced(params, &nx[k], &ny[k]);
  }
}

bool all_safe(Doubles u, Doubles v)
{
  return every_lane((u < safe_limit) & (u > -safe_limit) & (v < safe_limit) &
                    (v > -safe_limit));
}

} // namespace

// Displaces the points in groups of lanes; count is a multiple of lanes.
void ONDALUX_LANES_FUNCTION(const NoiseTables &tables, const DisplaceParams &params,
                            const uint8_t *corner_gradient, const double *x,
                            const double *y, int32_t count, double *nx, double *ny)
{
  const double turbulence = params.turbulence;
  for (int32_t first = 0; first < count; first += lanes) {
    Doubles xv, yv;
    std::memcpy(&xv, x + first, sizeof xv);
    std::memcpy(&yv, y + first, sizeof yv);
    const Doubles u = xv / params.scale_px;
    const Doubles v = yv / params.scale_px;
    if (!all_safe(u, v)) {
      for (int k = first; k < first + lanes; k++)
        displace(tables, params, x[k], y[k], &nx[k], &ny[k]);
      continue;
    }
    const Simplex at = locate(u, v), right = locate(u + 1.0, v),
                  below = locate(u, v + 1.0);
    Doubles a, b, c;
    // Mostly all three lie in one cell each: then the code has no branch to keep the
    // evaluations apart.
    if (same_in_every_lane(at.cell) && same_in_every_lane(right.cell) &&
        same_in_every_lane(below.cell)) {
      a = noise(at, shared_gradients(corner_gradient, at));
      b = noise(right, shared_gradients(corner_gradient, right));
      c = noise(below, shared_gradients(corner_gradient, below));
    } else {
      a = noise(at, gradients(corner_gradient, at));
      b = noise(right, gradients(corner_gradient, right));
      c = noise(below, gradients(corner_gradient, below));
    }
    a *= turbulence;
    b *= turbulence;
    c *= turbulence;
    Doubles dx = (b - a) * params.scale_px + xv;
    Doubles dy = ((c - a) * params.scale_px) * turbulence + yv;
    fold_all(params, &dx, &dy, nx + first, ny + first);
  }
}
