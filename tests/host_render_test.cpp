// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// What the filter writes into real GIMP drawables, compared pixel for pixel with an
// independent reference render.
#include <optional>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "support/gimp_session.h"
#include "support/reference_render.h"

namespace
{

constexpr int width = 100, height = 70;

struct RenderCase {
  std::string name;
  int channels;
  std::optional<Box> selection; // none: the whole layer
  double scale, turbulence;
};

const char *type_name(int channels)
{
  static const char *names[] = {"", "gray", "graya", "rgb", "rgba"};
  return names[channels];
}

std::vector<RenderCase> render_cases()
{
  std::vector<RenderCase> cases;
  for (int channels = 1; channels <= 4; channels++) {
    const std::string type = type_name(channels);
    cases.push_back({type + "-whole-defaults", channels, std::nullopt, 5.0, 0.5});
    cases.push_back({type + "-box-strong", channels, Box{13, 9, 61, 47}, 30.0, 1.0});
    cases.push_back({type + "-whole-large", channels, std::nullopt, 70.0, 0.8});
    // sel_x2 = 1 and sel_y2 = 1: positions keep their fractions and really blend.
    cases.push_back({type + "-column-at-origin", channels, Box{0, 10, 1, 40}, 50.0, 1.0});
    cases.push_back({type + "-row-at-origin", channels, Box{20, 0, 50, 1}, 100.0, 1.0});
    cases.push_back({type + "-scale-zero", channels, Box{13, 9, 61, 47}, 0.0, 1.0});
  }
  for (int repeat = 0; repeat < 3; repeat++)
    cases.push_back({"rgb-repeat-" + std::to_string(repeat), 3, std::nullopt, 20.0, 1.0});
  return cases;
}

class HostRender : public ::testing::Test
{
protected:
  static void SetUpTestSuite()
  {
    work = fresh_work_dir("host_render");
    const std::string profile = prepare_profile(work);
    std::ostringstream program;
    for (int channels = 1; channels <= 4; channels++)
      write_png(make_test_image(width, height, channels), input_path(channels));
    for (const RenderCase &c : render_cases()) {
      program << "(render-case " << scheme_string(c.name) << " "
              << scheme_string(input_path(c.channels)) << " ";
      if (c.selection)
        program << "'(" << c.selection->x << " " << c.selection->y << " "
                << c.selection->width << " " << c.selection->height << ")";
      else
        program << "#f";
      program << " RUN-NONINTERACTIVE " << c.scale << " " << c.turbulence << " "
              << scheme_string(output_path(c.name)) << ")\n";
    }
    run = new GimpRun(run_gimp_batch(profile, work, program.str(), 300));
  }
  static void TearDownTestSuite() { delete run; }

  static std::string input_path(int channels)
  {
    return work + "/input-" + type_name(channels) + ".png";
  }
  static std::string output_path(const std::string &name)
  {
    return work + "/" + name + ".png";
  }

  static std::string work;
  static GimpRun *run;
};

std::string HostRender::work;
GimpRun *HostRender::run = nullptr;

TEST_F(HostRender, EveryCaseSucceedsWithoutPluginComplaints)
{
  ASSERT_TRUE(run->completed()) << run->log;
  for (const RenderCase &c : render_cases())
    EXPECT_EQ(run->value(c.name), "success") << c.name << "\n" << run->log;
  EXPECT_TRUE(host_complaints(run->log).empty()) << run->log;
}

TEST_F(HostRender, MatchesTheReferenceRenderForOneNoiseOffset)
{
  for (const RenderCase &c : render_cases()) {
    const Image source = read_png(input_path(c.channels));
    const Image rendered = read_png(output_path(c.name));
    ASSERT_EQ(rendered.channels, source.channels) << c.name;
    const Box bounds = c.selection.value_or(Box{0, 0, width, height});
    const std::vector<int> offsets =
        matching_offsets(source, rendered, bounds, c.scale, c.turbulence);
    EXPECT_FALSE(offsets.empty())
        << c.name << ": no noise offset reproduces it; bytes differing from offset 0: "
        << differing_bytes(reference_render(source, bounds, c.scale, c.turbulence, 0),
                           rendered);
    if (c.scale > 0) {
      EXPECT_GT(differing_bytes(source, rendered), 0u) << c.name << " left unchanged";
    }
  }
}

TEST_F(HostRender, ScaleZeroLeavesTheLayerByteForByte)
{
  for (int channels = 1; channels <= 4; channels++) {
    const std::string name = std::string(type_name(channels)) + "-scale-zero";
    EXPECT_EQ(
        differing_bytes(read_png(input_path(channels)), read_png(output_path(name))), 0u)
        << name;
  }
}

TEST_F(HostRender, RepeatedRunsDrawNewPatterns)
{
  const Image source = read_png(input_path(3));
  std::set<std::vector<int>> patterns;
  for (int repeat = 0; repeat < 3; repeat++) {
    const std::vector<int> offsets = matching_offsets(
        source, read_png(output_path("rgb-repeat-" + std::to_string(repeat))),
        Box{0, 0, width, height}, 20.0, 1.0);
    ASSERT_FALSE(offsets.empty());
    patterns.insert(offsets);
  }
  // Three draws of one pattern in 256 happen once in 65536 runs.
  EXPECT_GT(patterns.size(), 1u);
}

} // namespace
