// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// The installed plug-in in a real headless GIMP 2.10 and GIMP 3, one session each: its
// registration, and one table of drawables, precisions, selections, settings and run
// modes, each row checked against the reference render or for being left alone.
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "support/gimp_session.h"

namespace
{

// GimpPrecision, whose numbers both hosts share.
constexpr int u8_linear = 100, u16_linear = 200, u16_perceptual = 250,
              u32_perceptual = 350, half_linear = 500, float_linear = 600,
              float_perceptual = 650, double_linear = 700;
constexpr Settings defaults = {5.0, 0.5};

// The 16 bytes GIMP 2.10 stores for these settings.
std::string stored_bytes(double scale, double turbulence)
{
  unsigned char raw[16];
  std::memcpy(raw, &scale, 8);
  std::memcpy(raw + 8, &turbulence, 8);
  std::string list;
  for (unsigned char byte : raw)
    list += std::to_string(int(byte)) + " ";
  return list;
}

std::string repeated(const std::string &text, int times)
{
  std::string result;
  for (int i = 0; i < times; i++)
    result += text;
  return result;
}

std::vector<HostCase> common_cases()
{
  std::vector<HostCase> cases = {
      {.name = "gray", .channels = 1},
      {.name = "graya-box",
       .channels = 2,
       .box = Box{7, 5, 30, 25},
       .scale = "30",
       .turbulence = "1"},
      {.name = "rgb-large", .scale = "70", .turbulence = "0.8"},
      {.name = "rgba", .channels = 4, .scale = "20", .turbulence = "1"},
      // One-pixel selections at the origin keep their positions' fractions: blends.
      {.name = "rgba-column-at-origin",
       .channels = 4,
       .box = Box{0, 4, 1, 30},
       .scale = "50",
       .turbulence = "1"},
      {.name = "rgba-row-at-origin",
       .channels = 4,
       .box = Box{10, 0, 30, 1},
       .scale = "100",
       .turbulence = "1"},
      {.name = "u16-rgba-column-at-origin",
       .channels = 4,
       .bits = 16,
       .precision = u16_perceptual,
       .box = Box{0, 3, 1, 25},
       .scale = "50",
       .turbulence = "1"},
      {.name = "u16-rgb", .bits = 16, .precision = u16_perceptual},
      {.name = "u16-linear-rgba-box",
       .channels = 4,
       .bits = 16,
       .precision = u16_linear,
       .box = Box{3, 2, 40, 30}},
      {.name = "u32-graya", .channels = 2, .bits = 16, .precision = u32_perceptual},
      {.name = "half-gray", .channels = 1, .bits = 16, .precision = half_linear},
      {.name = "float-rgba", .channels = 4, .bits = 16, .precision = float_perceptual},
      {.name = "double-rgb", .bits = 16, .precision = double_linear},
      {.name = "u8-linear-rgb", .precision = u8_linear},
      {.name = "indexed",
       .kind = "indexed",
       .expect = Expect::unchanged,
       .status = "execution-error"},
      {.name = "group",
       .kind = "group",
       .expect = Expect::unchanged,
       .status = "execution-error"},
      {.name = "locked",
       .kind = "locked",
       .expect = Expect::unchanged,
       .status = "execution-error"},
  };
  for (const char *repeat : {"repeat-1", "repeat-2", "repeat-3"})
    cases.push_back({.name = repeat, .scale = "20", .turbulence = "1"});
  return cases;
}

std::vector<HostCase> gimp2_cases()
{
  std::vector<HostCase> cases = {
      {.name = "last-values-fresh",
       .run_mode = "RUN-WITH-LAST-VALS",
       .scale = "60",
       .turbulence = "1",
       .renders_with = defaults},
      {.name = "float-linear-mask",
       .bits = 16,
       .precision = float_linear,
       .kind = "mask"},
      {.name = "u16-channel", .bits = 16, .precision = u16_perceptual, .kind = "channel"},
      // The layer lies at (40, 30): the selection is clipped to it, in its coordinates.
      {.name = "offset-layer",
       .kind = "offset",
       .box = Box{70, 50, 80, 60},
       .scale = "20",
       .turbulence = "1",
       .bounds = Box{30, 20, 18, 16}},
      {.name = "selection-misses",
       .kind = "grown",
       .box = Box{200, 120, 40, 30},
       .expect = Expect::unchanged},
      {.name = "one-pixel", .width = 1, .height = 1, .expect = Expect::unchanged},
      {.name = "wide", .width = 30000, .height = 2, .scale = "50", .turbulence = "1"},
      {.name = "tall",
       .channels = 1,
       .width = 2,
       .height = 30000,
       .scale = "50",
       .turbulence = "1"},
      {.name = "large",
       .channels = 4,
       .width = 8000,
       .height = 8000,
       .expect = Expect::no_pixels},
      // Arguments only a script can give.
      {.name = "huge-scale", .scale = "1e300", .expect = Expect::valid},
      {.name = "negative-scale",
       .channels = 4,
       .scale = "-40",
       .expect = Expect::unchanged},
      {.name = "huge-turbulence",
       .channels = 2,
       .turbulence = "-1e300",
       .expect = Expect::valid},
      {.name = "nan-scale",
       .scale = "not-a-number",
       .expect = Expect::unchanged,
       .status = "calling-error"},
      {.name = "infinite-turbulence",
       .turbulence = "positive-infinity",
       .expect = Expect::unchanged,
       .status = "calling-error"},
  };
  for (HostCase &c : common_cases())
    cases.push_back(c);
  // Last: what a script may leave in the store stays there for later runs.
  for (HostCase stored : std::vector<HostCase>{
           {.name = "stored-too-long", .stored = repeated("7 ", 64)},
           {.name = "stored-too-short", .stored = "0 0 0 0 0 0 20 64"},
           {.name = "stored-infinite-scale",
           .expect = Expect::valid,
           .stored = stored_bytes(std::numeric_limits<double>::infinity(), 0.5)},
           {.name = "stored-nan-scale",
           .expect = Expect::unchanged,
           .stored = stored_bytes(std::nan(""), 0.5)},
       }) {
    stored.run_mode = "RUN-WITH-LAST-VALS";
    stored.scale = "60";
    stored.turbulence = "1";
    stored.renders_with = defaults;
    cases.push_back(stored);
  }
  return cases;
}

std::vector<HostCase> gimp3_cases()
{
  // With nothing stored, libgimp 3 keeps the caller's arguments for last values (GIMP's
  // own Repeat passes the defaults); non-interactive runs store nothing.
  const HostCase last_values = {.name = "last-values-fresh",
                                .run_mode = "RUN-WITH-LAST-VALS",
                                .scale = "60",
                                .turbulence = "1"};
  std::vector<HostCase> cases = {last_values};
  for (HostCase &c : common_cases())
    cases.push_back(c);
  // GIMP 3 checks the arguments' ranges itself.
  cases.push_back({.name = "huge-scale",
                   .scale = "1e300",
                   .expect = Expect::unchanged,
                   .status = "calling-error"});
  cases.push_back({.name = "negative-turbulence",
                   .turbulence = "-3",
                   .expect = Expect::unchanged,
                   .status = "calling-error"});
  cases.push_back({.name = "two-drawables",
                   .kind = "two",
                   .expect = Expect::unchanged,
                   .status = "calling-error"});
  cases.push_back({.name = "no-drawable",
                   .kind = "none",
                   .expect = Expect::unchanged,
                   .status = "calling-error"});
  HostCase last_values_after = last_values;
  last_values_after.name = "last-values-after";
  cases.push_back(last_values_after);
  return cases;
}

void expect_registered(const GimpRun &run, const std::vector<std::string> &entries)
{
  std::stringstream pluginrc;
  pluginrc << std::ifstream(run.profile + "/pluginrc").rdbuf();
  for (const std::string &entry : entries)
    EXPECT_NE(pluginrc.str().find(entry), std::string::npos) << entry;
}

void expect_all_cases(const GimpRun &run, Host host, const std::vector<HostCase> &cases)
{
  ASSERT_TRUE(run.completed()) << run.log;
  EXPECT_TRUE(host_complaints(run.log).empty()) << run.log;
  std::set<std::vector<int>> repeat_patterns;
  for (const HostCase &c : cases) {
    const std::vector<int> patterns = expect_case(run, host, c);
    if (c.name.rfind("repeat-", 0) == 0)
      repeat_patterns.insert(patterns);
  }
  // Three draws of one pattern in 256 happen once in 65536 runs.
  EXPECT_GT(repeat_patterns.size(), 1u) << "repeated runs drew the same pattern";
}

TEST(Gimp2, RegistrationAndEveryRow)
{
  GimpRun run = prepare_run("host-gimp2", Host::gimp2);
  // The plug-in runs behind a wrapper that records its peak resident memory.
  namespace fs = std::filesystem;
  const fs::path plugin = fs::path(run.profile) / "plug-ins/ondalux/ondalux";
  fs::rename(plugin, run.work + "/ondalux");
  fs::copy_file(ONDALUX_BUILD_DIR "/peak_rss_wrapper", plugin);
  setenv("ONDALUX_REAL_PLUGIN", (run.work + "/ondalux").c_str(), 1);
  setenv("ONDALUX_PEAK_LOG", (run.work + "/peak.log").c_str(), 1);

  const std::vector<HostCase> cases = gimp2_cases();
  run_cases(run, Host::gimp2, cases, 600);
  expect_registered(run,
                    {"(proc-def \"plug-in-ondalux\" 1", "\"Dent image\"",
                     "\"Ondalux developers\"", "\"January 2015, 1.0\"", "\"_Ondalux...\"",
                     "(menu-path \"<Image>/Filters/Distorts\")", "\"RGB*, GRAY*\"",
                     "(proc-arg 16 \"drawable\" \"Input drawable\")",
                     "(proc-arg 3 \"scale\" \"Scale\")",
                     "(proc-arg 3 \"disturbance\" \"Turbulence\")",
                     "(help-def \"https://ondalux.org/help\""});
  expect_all_cases(run, Host::gimp2, cases);

  // Peak memory within one copy of the largest layer (8000 x 8000 RGBA) plus 64 MiB.
  long peak_kib = 0;
  std::ifstream log(run.work + "/peak.log");
  for (long kib; log >> kib;)
    peak_kib = std::max(peak_kib, kib);
  EXPECT_GT(peak_kib, 0);
  EXPECT_LE(peak_kib, 8000L * 8000 * 4 / 1024 + 64 * 1024);
}

TEST(Gimp3, RegistrationAndEveryRow)
{
  GimpRun run = prepare_run("host-gimp3", Host::gimp3);
  const std::vector<HostCase> cases = gimp3_cases();
  run_cases(run, Host::gimp3, cases, 600);
  expect_registered(run,
                    {"\"plug-in-ondalux\"", "\"Dent image\"", "\"Ondalux developers\"",
                     "\"January 2015, 1.0\"", "\"_Ondalux...\"",
                     "\"<Image>/Filters/Distorts\"", "\"RGB*, GRAY*\"", "\"scale\"",
                     "\"disturbance\"", "\"https://ondalux.org/help\""});
  expect_all_cases(run, Host::gimp3, cases);
}

} // namespace
