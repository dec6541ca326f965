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

TEST(HostBadArguments, EndQuicklyWithTheExpectedStatusAndAValidImage)
{
  const std::string work = fresh_work_dir("host_bad_arguments");
  const std::string profile = prepare_profile(work);
  const std::string input = work + "/input.png";
  write_png(make_test_image(64, 48, 4), input);

  std::ostringstream program;
  for (const ArgumentCase &c : argument_cases)
    program << "(render-case " << scheme_string(c.name) << " " << scheme_string(input)
            << " #f RUN-NONINTERACTIVE " << c.scale << " " << c.turbulence << " "
            << scheme_string(work + "/" + c.name + ".png") << ")\n";
  const GimpRun run = run_gimp_batch(profile, work, program.str(), 120);
  ASSERT_TRUE(run.completed()) << run.log;

  // GIMP's start and exit take a few seconds; each case gets two more.
  const double budget = 10.0 + 2.0 * std::size(argument_cases);
  EXPECT_LT(run.seconds, budget);

  const Image source = read_png(input);
  for (const ArgumentCase &c : argument_cases) {
    EXPECT_EQ(run.value(c.name), c.expected_status) << c.name;
    const Image rendered = read_png(work + "/" + c.name + ".png");
    EXPECT_EQ(rendered.width, source.width);
    EXPECT_EQ(rendered.height, source.height);
    if (c.unchanged) {
      EXPECT_EQ(differing_bytes(source, rendered), 0u) << c.name;
    }
  }
  EXPECT_TRUE(host_complaints(run.log).empty()) << run.log;
}

} // namespace
