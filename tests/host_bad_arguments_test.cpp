// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// Wild non-interactive arguments end quickly with a valid image.
#include <sstream>

#include <gtest/gtest.h>

#include "support/gimp_session.h"
#include "support/reference_render.h"

namespace
{

struct ArgumentCase {
  std::string name;
  std::string scale, turbulence; // Scheme expressions
  std::string expected_status;
  bool unchanged; // nothing may be displaced
};

const ArgumentCase argument_cases[] = {
    {"huge-scale", "1e300", "0.5", "success", false},
    {"huge-negative-scale", "-1e300", "0.5", "success", true},
    {"negative-scale", "-40", "0.5", "success", true},
    {"huge-turbulence", "5", "1e300", "success", false},
    {"huge-negative-turbulence", "5", "-1e300", "success", false},
    {"negative-turbulence", "5", "-40", "success", false},
    {"both-huge", "1e300", "1e300", "success", false},
    {"both-negative", "-40", "-40", "success", true},
    {"nan-scale", "not-a-number", "0.5", "calling-error", true},
    {"infinite-scale", "positive-infinity", "0.5", "calling-error", true},
    {"negative-infinite-turbulence", "5", "(- positive-infinity)", "calling-error", true},
    {"nan-turbulence", "5", "not-a-number", "calling-error", true},
};

// On grey, grey with alpha, RGB and RGB with alpha layers.
TEST(HostBadArguments, EndQuicklyWithTheExpectedStatusAndAValidImage)
{
  const std::string work = fresh_work_dir("host_bad_arguments");
  const std::string profile = prepare_profile(work);
  const auto input = [&](int channels) {
    return work + "/input-" + std::to_string(channels) + ".png";
  };
  const auto output = [&](int channels, const ArgumentCase &c) {
    return work + "/" + std::to_string(channels) + "-" + c.name + ".png";
  };

  std::ostringstream program;
  for (int channels = 1; channels <= 4; channels++) {
    write_png(make_test_image(64, 48, channels), input(channels));
    for (const ArgumentCase &c : argument_cases)
      program << "(render-case " << scheme_string(std::to_string(channels) + "-" + c.name)
              << " " << scheme_string(input(channels)) << " #f RUN-NONINTERACTIVE "
              << c.scale << " " << c.turbulence << " "
              << scheme_string(output(channels, c)) << ")\n";
  }
  const GimpRun run = run_gimp_batch(profile, work, program.str(), 300);
  ASSERT_TRUE(run.completed()) << run.log;

  // GIMP's start and exit take a few seconds; each case gets one more.
  const double budget = 10.0 + 1.0 * 4 * std::size(argument_cases);
  EXPECT_LT(run.seconds, budget);

  for (int channels = 1; channels <= 4; channels++) {
    const Image source = read_png(input(channels));
    for (const ArgumentCase &c : argument_cases) {
      const std::string name = std::to_string(channels) + "-" + c.name;
      EXPECT_EQ(run.value(name), c.expected_status) << name;
      const Image rendered = read_png(output(channels, c));
      EXPECT_EQ(rendered.width, source.width);
      EXPECT_EQ(rendered.height, source.height);
      EXPECT_EQ(rendered.channels, source.channels);
      if (c.unchanged) {
        EXPECT_EQ(differing_bytes(source, rendered), 0u) << name;
      }
    }
  }
  EXPECT_TRUE(host_complaints(run.log).empty()) << run.log;
}

} // namespace
