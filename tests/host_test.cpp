// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// The installed plug-in in a real GIMP 2.10 and GIMP 3. Headless, one session each:
// its registration, and one table of drawables, precisions, selections, settings and
// run modes, each row checked against the reference render or for being left alone.
// Under Xvfb, one session each: the dialog.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "support/gegl_cases.h"
#include "support/gimp_session.h"

namespace
{

// GimpPrecision, whose numbers both hosts share.
constexpr int u8_linear = 100, u16_linear = 200, u16_perceptual = 250,
              u32_perceptual = 350, half_linear = 500, float_linear = 600,
              float_perceptual = 650, double_linear = 700;
const std::string last_values = "RUN-WITH-LAST-VALS";

// One row a line.
// clang-format off
const std::vector<HostCase> common_cases = {
    {.name = "gray", .channels = 1},
    {.name = "graya-box", .channels = 2, .box = "7 5 30 25", .settings = "30 1"},
    {.name = "rgb-large", .settings = "70 0.8"},
    {.name = "rgba", .channels = 4, .settings = "20 1"},
    // One-pixel selections at the origin keep their positions' fractions: blends.
    {.name = "rgba-column", .channels = 4, .box = "0 4 1 30", .settings = "50 1"},
    {.name = "rgba-row", .channels = 4, .box = "10 0 30 1", .settings = "100 1"},
    {.name = "u16-rgba-column", .channels = 4, .bits = 16, .precision = u16_perceptual, .box = "0 3 1 25", .settings = "50 1"},
    // Whole layers one pixel across: GIMP's merge through a selection mask would round
    // float and double results through floats in linear light.
    {.name = "float-rgba-column", .channels = 4, .bits = 16, .precision = float_perceptual, .settings = "50 1", .width = 1, .height = 30},
    {.name = "double-rgb-row", .bits = 16, .precision = double_linear, .settings = "100 1", .width = 30, .height = 1},
    {.name = "u16-rgb", .bits = 16, .precision = u16_perceptual},
    {.name = "u16-linear-rgba", .channels = 4, .bits = 16, .precision = u16_linear, .box = "3 2 40 30"},
    {.name = "u32-graya", .channels = 2, .bits = 16, .precision = u32_perceptual},
    {.name = "half-gray", .channels = 1, .bits = 16, .precision = half_linear},
    {.name = "float-rgba", .channels = 4, .bits = 16, .precision = float_perceptual},
    {.name = "double-rgb", .bits = 16, .precision = double_linear},
    {.name = "u8-linear-rgb", .precision = u8_linear},
    {.name = "zero-scale-float", .channels = 4, .bits = 16, .precision = float_perceptual, .settings = "0 1", .expect = Expect::unchanged},
    {.name = "zero-scale-box", .channels = 2, .box = "7 5 30 25", .settings = "0 0.5", .expect = Expect::unchanged},
    // Bands of rows: each is rendered once the rows its offsets reach are read, and the
    // rows above its reach are given up as the window of rows moves down.
    {.name = "bands", .settings = "30 1", .width = 64, .height = 300},
    {.name = "window", .settings = "30 1", .width = 60, .height = 1500},
    {.name = "indexed", .kind = "indexed", .expect = Expect::refused, .message = "convert the image to RGB or greyscale"},
    {.name = "group", .kind = "group", .expect = Expect::refused, .message = "pick a layer inside it"},
    {.name = "locked", .kind = "locked", .expect = Expect::refused},
    {.name = "repeat-1", .settings = "20 1"},
    {.name = "repeat-2", .settings = "20 1"},
    {.name = "repeat-3", .settings = "20 1"},
    {.name = "float-mask", .bits = 16, .precision = float_linear, .kind = "mask"},
    {.name = "u16-channel", .bits = 16, .precision = u16_perceptual, .kind = "channel"},
    // The layer lies at (40, 30): the selection is clipped to it, in its coordinates.
    {.name = "offset-layer", .kind = "offset", .box = "70 50 80 60", .settings = "20 1", .bounds = "30 20 18 16"},
    {.name = "selection-misses", .kind = "grown", .box = "200 120 40 30", .expect = Expect::unchanged},
    {.name = "one-pixel", .expect = Expect::unchanged, .width = 1, .height = 1},
    {.name = "wide", .settings = "50 1", .width = 30000, .height = 2},
    {.name = "tall", .channels = 1, .settings = "50 1", .width = 2, .height = 30000},
};

std::vector<HostCase> gimp2_cases()
{
  std::vector<HostCase> cases = {
      {.name = "last-values-fresh", .settings = "60 1", .run_mode = last_values, .renders_with = "5 0.5"},
      {.name = "large", .channels = 4, .expect = Expect::no_pixels, .width = 8000, .height = 8000},
      // Arguments only a script can give.
      {.name = "huge-scale", .settings = "1e300 0.5", .expect = Expect::valid},
      {.name = "negative-scale", .channels = 4, .settings = "-40 0.5", .expect = Expect::unchanged},
      {.name = "huge-turbulence", .channels = 2, .settings = "5 -1e300", .expect = Expect::valid},
      {.name = "nan-scale", .settings = "not-a-number 0.5", .expect = Expect::rejected},
      {.name = "infinite-turbulence", .settings = "5 positive-infinity", .expect = Expect::rejected},
  };
  cases.insert(cases.end(), common_cases.begin(), common_cases.end());
  // Last: what a script leaves in the store stays there for later runs. GIMP 2.10
  // stores the settings as two little-endian doubles: here infinity or NaN, and 0.5.
  cases.insert(cases.end(), {
      {.name = "stored-too-long", .settings = "60 1", .run_mode = last_values, .renders_with = "5 0.5", .stored = "0 0 0 0 0 0 52 64 0 0 0 0 0 0 224 63 7"},
      {.name = "stored-too-short", .settings = "60 1", .run_mode = last_values, .renders_with = "5 0.5", .stored = "0 0 0 0 0 0 20 64"},
      {.name = "stored-inf-scale", .settings = "60 1", .expect = Expect::valid, .run_mode = last_values, .stored = "0 0 0 0 0 0 240 127 0 0 0 0 0 0 224 63"},
      {.name = "stored-nan-scale", .settings = "60 1", .expect = Expect::unchanged, .run_mode = last_values, .stored = "0 0 0 0 0 0 248 127 0 0 0 0 0 0 224 63"}});
  return cases;
}

// With nothing stored, libgimp 3 keeps the caller's arguments for last values (GIMP's
// own Repeat passes the defaults); non-interactive runs store nothing. GIMP 3 checks
// the arguments' ranges itself.
std::vector<HostCase> gimp3_cases()
{
  std::vector<HostCase> cases = {{.name = "last-values-fresh", .settings = "60 1", .run_mode = last_values}};
  cases.insert(cases.end(), common_cases.begin(), common_cases.end());
  cases.insert(cases.end(), {
      {.name = "huge-scale", .settings = "1e300 0.5", .expect = Expect::rejected},
      {.name = "negative-turbulence", .settings = "5 -3", .expect = Expect::rejected},
      // Several layers, one pattern; a refused one stops the run before any changes.
      {.name = "two-layers", .kind = "two", .settings = "20 1"},
      {.name = "two-locked", .kind = "two-locked", .expect = Expect::refused, .message = "unlock them first"},
      {.name = "no-drawable", .kind = "none", .expect = Expect::rejected},
      // The operation in GIMP's own filter pipeline, given pattern 7: merged at once,
      // kept as an effect through an XCF file, or on top of another effect, on a layer
      // large enough that GIMP's projection renders it in parts. Under a selection it
      // dents the box cut out as an image of its own.
      {.name = "op-rgb", .settings = "20 1", .run_mode = "FILTER-MERGE"},
      {.name = "op-u16-rgba", .channels = 4, .bits = 16, .precision = u16_perceptual, .run_mode = "FILTER-MERGE"},
      {.name = "op-float-rgba", .channels = 4, .bits = 16, .precision = float_linear, .settings = "30 1", .run_mode = "FILTER-MERGE"},
      {.name = "op-gray-box", .channels = 1, .box = "7 5 30 25", .settings = "30 1", .run_mode = "FILTER-MERGE"},
      {.name = "op-float-column", .channels = 4, .bits = 16, .precision = float_perceptual, .settings = "50 1", .run_mode = "FILTER-MERGE", .width = 1, .height = 30},
      {.name = "op-zero-scale", .settings = "0 1", .expect = Expect::unchanged, .run_mode = "FILTER-MERGE"},
      {.name = "op-cubic", .settings = "20 1", .run_mode = "FILTER-CUBIC"},
      {.name = "op-cubic-rgba", .channels = 4, .settings = "30 0.6", .run_mode = "FILTER-CUBIC", .width = 200, .height = 150},
      {.name = "op-effect-xcf", .channels = 4, .settings = "20 0.8", .run_mode = "FILTER-APPEND"},
      {.name = "op-after-effect", .kind = "inverted", .settings = "20 1", .run_mode = "FILTER-STACK", .width = 1200, .height = 900},
      {.name = "last-values-after", .settings = "60 1", .run_mode = last_values}});
  return cases;
}
// clang-format on

void expect_registered(const GimpRun &run, const std::vector<std::string> &entries)
{
  const std::string pluginrc = read_file(run.profile + "/pluginrc");
  for (const std::string &entry : entries)
    EXPECT_NE(pluginrc.find(entry), std::string::npos) << entry;
}

void expect_all_cases(const GimpRun &run, Host host, const std::vector<HostCase> &cases)
{
  ASSERT_TRUE(run.results.count("program-complete")) << run.log;
  EXPECT_TRUE(host_complaints(run.log).empty()) << run.log;
  std::set<std::vector<int>> repeat_patterns;
  for (const HostCase &c : cases)
    if (const std::vector<int> patterns = expect_case(run, host, c);
        c.name.starts_with("repeat-"))
      repeat_patterns.insert(patterns);
  // Three draws of one pattern in 256 happen once in 65536 runs; dialogs draw none.
  EXPECT_NE(repeat_patterns.size(), 1u) << "repeated runs drew the same pattern";
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

  // Every run within one copy of the largest layer (8000 x 8000 RGBA) plus 64 MiB.
  std::ifstream log(run.work + "/peak.log");
  const std::vector<long> peak_kib{std::istream_iterator<long>(log), {}};
  ASSERT_FALSE(peak_kib.empty());
  EXPECT_LE(*std::max_element(peak_kib.begin(), peak_kib.end()),
            8000L * 8000 * 4 / 1024 + 64 * 1024);
}

TEST(Gimp3, RegistrationAndEveryRow)
{
  GimpRun run = prepare_run("host-gimp3", Host::gimp3);
  const std::vector<HostCase> cases = gimp3_cases();
  run_cases(run, Host::gimp3, cases, 600);
  expect_registered(run,
                    {"\"plug-in-ondalux\"", "\"Dent image\"", "\"Ondalux developers\"",
                     "\"January 2015, 1.0\"", "\"_Ondalux...\"",
                     "\"<Image>/Filters/Distorts\"", "\"scale\"",
                     // Sensitive with one drawable selected and with several (1 | 4).
                     "\"RGB*, GRAY*\"\n         5\n", "\"disturbance\"",
                     "\"https://ondalux.org/help\""});
  expect_all_cases(run, Host::gimp3, cases);
}

// Each host's dialog answered from outside under Xvfb in German, as a user would, with
// the keys that the row names (GIMP 2.10's Cancel is _Abbrechen, GIMP 3's Abbre_chen):
// Help opens the German page installed with the plug-in; Cancel and closing change and
// store nothing; the first dialog starts from the defaults; OK writes exactly what the
// preview shows and stores the values for last values; entries clamp to their ranges.
// GIMP 2.10's rows type into the entries, with decimal commas; GIMP 3's dialog orders
// its widgets differently, so its rows keep the values shown. Last values follow the
// shown row. In GIMP 3 the operation's menu entry opens GIMP's own dialog, whose
// on-canvas preview at 100% shows exactly what OK merges; there the operation is the
// module built here, on Debian 12's GEGL 0.4.42, which must render in every Linux GIMP
// 3. Every dialog shows its German labels.
// clang-format off
std::vector<HostCase> dialog_cases(Host host)
{
  const auto row = [](const std::string &name, Expect expect, std::string renders_with,
                      std::string answer, std::string kind = "layer") {
    // No answer: a script's run with last values, whose own settings must not count.
    return HostCase{.name = name, .kind = kind, .settings = answer.empty() ? "60 1" : "5 0.5",
                    .expect = expect, .run_mode = answer.empty() ? last_values : answer.starts_with("live") ? "FILTER-DIALOG" : "RUN-INTERACTIVE",
                    .renders_with = renders_with, .width = 160, .height = 120, .answer = answer};
  };
  // Filte_r > Ver_zerren (which opens at once) > Ondalux auf der _Leinwand after
  // _Lupeneffekt anwenden, and Filter _vereinen after _Vorschau.
  if (host == Host::gimp3)
    return {row("cancel", Expect::unchanged, "", "- - alt+c help"),
            row("shown", Expect::reference, "5 0.5", "- - alt+o screenshot"),
            row("last-values", Expect::reference, "5 0.5", ""),
            row("live", Expect::reference, "5 0.5", "live alt+r,z,l,l,Return alt+v,alt+v,space")};
  return {row("cancel", Expect::unchanged, "", "40 0,9 alt+a help"),
          row("close", Expect::unchanged, "", "41 0,7 Escape"),
          row("first-ok", Expect::reference, "5 0.5", "- - alt+o"),
          row("shown", Expect::reference, "37.5 0.8", "37,5 0,8 alt+o screenshot"),
          row("last-values", Expect::reference, "37.5 0.8", ""),
          row("clamped", Expect::reference, "100 1", "250 1,7 alt+o"),
          row("indexed", Expect::refused, "", "- - alt+o", "indexed")};
}
// clang-format on

void expect_dialogs(Host host, const std::string &suite)
{
  GimpRun run = prepare_run(suite, host, true);
  if (host == Host::gimp3)
    std::filesystem::copy_file(ONDALUX_BUILD_DIR "/ondalux-dent.so",
                               run.work + "/xdg/gegl-0.4/plug-ins/ondalux-dent.so",
                               std::filesystem::copy_options::overwrite_existing);
  const std::vector<HostCase> cases = dialog_cases(host);
  std::thread gimp([&] { run_cases(run, host, cases, 300, true); });
  for (const HostCase &c : cases)
    EXPECT_TRUE(c.answer.empty() ||
                std::system(("cd '" + run.work + "' && ROW=" + c.name +
                             " '" ONDALUX_SOURCE_DIR "/tests/support/answer_dialog.sh' " +
                             c.answer)
                                .c_str()) == 0)
        << c.name;
  gimp.join();
  expect_all_cases(run, host, cases);

  // Help opened the plug-in's own German page, once.
  EXPECT_EQ(read_file(run.work + "/help-opened.txt"),
            run.profile + "/plug-ins/ondalux/help/de/index.html\n");

  for (const HostCase &c : cases) {
    if (c.answer.find("screenshot") == std::string::npos && !c.answer.starts_with("live"))
      continue;
    const Image shown = read_images(run.work + "/" + c.name + ".png").at(0);
    EXPECT_TRUE(contains_exactly(shown, saved_pixels(run, c, "after")))
        << c.name << ": the written image is not in the screenshot at 1:1";
    EXPECT_FALSE(contains_exactly(shown, saved_pixels(run, c, "before")))
        << c.name << ": the preview shows the image undistorted";
  }
  // The dialogs showed their German labels, GIMP 3's operation among them (its sliders'
  // labels have no mnemonics; its list of resampling methods is GEGL's), and GIMP knows
  // the plug-in's domain (2.10) or its German blurb (3).
  const std::string texts = "\n" + read_file(run.work + "/dialog-texts.txt");
  const bool gimp2 = host == Host::gimp2;
  const std::vector<std::string> msgids =
      gimp2 ? std::vector<std::string>{"Scale:", "Turbulence:"}
            : std::vector<std::string>{"_Scale",     "_Turbulence", "Scale",
                                       "Turbulence", "Pattern",     "Resampling method"};
  for (const std::string &msgid : msgids) {
    EXPECT_NE(german(msgid), msgid) << msgid << " is not translated";
    EXPECT_NE(texts.find("\t" + german(msgid) + "\t"), std::string::npos) << texts;
  }
  if (!gimp2) {
    EXPECT_NE(texts.find("\n" + german("Ondalux Live") + " (ondalux:dent)\t"),
              std::string::npos);
  }
  expect_registered(run, {gimp2 ? "(locale-def \"ondalux\"" : german("Dent image")});
}

TEST(Gimp2, Dialogs)
{
  expect_dialogs(Host::gimp2, "dialog-gimp2");
}

TEST(Gimp3, Dialogs)
{
  expect_dialogs(Host::gimp3, "dialog-gimp3");
}

// The operation in GEGL itself, as a canvas asks for it, in the root of Debian 12, 13
// or testing, for each row of the table in support/gegl_cases.h. At 100% a view is the
// reference render's part, pixel for pixel, and shows the painted block; zoomed out it
// is close to the reference scaled down.
TEST(Gegl, ViewsInPartsAfterChanges)
{
  const std::string release = std::getenv("ONDALUX_GIMP3_RELEASE");
  const std::string work = ONDALUX_BUILD_DIR "/test-work/gegl-" + release;
  const int width = gegl_layer_width, height = gegl_layer_height;
  std::filesystem::remove_all(work);
  std::filesystem::create_directories(work + "/modules");
  ASSERT_EQ(
      std::system(in_root(release, build_gegl_views(work) + " && cd '" + work +
                                       "' && cp /root/ondalux/build/ondalux-dent.so "
                                       "modules/ && ./gegl-views modules > gegl.log 2>&1")
                      .c_str()),
      0)
      << read_file(work + "/gegl.log");

  for (const GeglCase &c : gegl_cases) {
    const int bytes = c.format == std::string("float") ? 4
                      : c.format == std::string("u16") ? 2
                                                       : 1;
    const auto read_raw = [&](const std::string &suffix, GeglArea box) {
      const std::string data = read_file(work + "/" + c.name + suffix);
      return Image{box.width, box.height, 4, bytes, {data.begin(), data.end()},
                   bytes == 4};
    };
    const Image source = read_raw("-source.data", {0, 0, width, height});
    const Image view = read_raw("-view.data", c.view);
    const Image whole = c.sampler == std::string("nearest")
                            ? reference_render(source, {0, 0, width, height}, c.scale,
                                               c.turbulence, c.pattern, true)
                            : read_raw("-reference.data", {0, 0, width, height});
    if (c.zoom < 1) {
      EXPECT_GT(psnr(view, whole, c.view.x, c.view.y, int(1 / c.zoom)), 34) << c.name;
      continue;
    }
    bool same = true;
    for (int y = 0; y < c.view.height; y++)
      same &= std::equal(view.at(0, y), view.at(0, y) + c.view.width * view.pixel_bytes(),
                         whole.at(c.view.x, c.view.y + y));
    EXPECT_TRUE(same) << c.name;
    // Some pixel of the view comes from the painted block.
    const uint8_t *painted = source.at(c.paint.x, c.paint.y);
    bool shown = c.paint.width == 0;
    for (int i = 0; i < c.view.width * c.view.height; i++)
      shown |= std::equal(painted, painted + 4 * bytes,
                          view.at(i % c.view.width, i / c.view.width));
    EXPECT_TRUE(shown) << c.name;
  }
}

// The release archive where users are: in a fresh system of Debian 12, 13 or testing
// with GIMP and nothing else, a user with a fresh home unpacks it and runs install.sh.
// Each GIMP then renders with the plug-in and, in GIMP 3, the operation as the
// reference render does; in testing, so does a GIMP 3.2 run with the folders of the
// Flatpak, which the user had started once. --uninstall removes exactly what install.sh
// listed.
TEST(Release, InstallsForEachGimp)
{
  namespace fs = std::filesystem;
  const std::string release = std::getenv("ONDALUX_GIMP3_RELEASE");
  const Host host = release == "bookworm" ? Host::gimp2 : Host::gimp3;
  GimpRun run;
  run.work = ONDALUX_BUILD_DIR "/test-work/release-" + release;
  const std::string home = run.work + "/home", flatpak = home + "/.var/app/org.gimp.GIMP",
                    in_flatpak = "XDG_CONFIG_HOME='" + flatpak +
                                 "/config' XDG_DATA_HOME='" + flatpak + "/data' ";
  fs::remove_all(run.work);
  fs::create_directories(home);
  // Runs command in the system (or here) in the work folder, its output in out.txt.
  const auto in_work = [&](const std::string &command, bool here = false) {
    return std::system(
        in_root(here ? "" : run.system, "cd '" + run.work + "' && export HOME='" + home +
                                            "' && { " + command + "; } > out.txt 2>&1")
            .c_str());
  };
  const auto out = [&] { return read_file(run.work + "/out.txt"); };
  ASSERT_EQ(
      in_work("'" ONDALUX_SOURCE_DIR "/tools/debian-root' --gimp-only " + release, true),
      0)
      << out();
  const std::string made_system = out(); // the path comes last, after any progress
  run.system = made_system.substr(made_system.rfind('\n', made_system.size() - 2) + 1);
  run.system.pop_back();
  fs::create_directories(flatpak + "/config/GIMP/3.2"); // made at the Flatpak's start
  ASSERT_EQ(
      in_work("tar xzf '" ONDALUX_BUILD_DIR "'/release/*.tar.gz && ondalux-*/install.sh"),
      0)
      << out();
  for (const std::string &folder :
       {flatpak + "/config/GIMP/3.2", home + "/.config/GIMP/" +
                                          (host == Host::gimp2  ? "2.10"
                                           : release == "forky" ? "3.2"
                                                                : "3.0")})
    EXPECT_NE(out().find(" (" + folder + "): the plug-in"), std::string::npos) << out();
  // The archive's command dents PNG, JPEG and GIF, and names the module other files need.
  if (host == Host::gimp2) {
    write_png(make_test_image(48, 36, 3), run.work + "/in.png");
    EXPECT_EQ(in_work("ondalux-*/bin/ondalux -q -o out.png in.png"), 0);
    EXPECT_NE(in_work("ondalux-*/bin/ondalux -q -o out.tif in.png"), 0);
    EXPECT_NE(out().find("ondalux-openimageio.so is not installed"), std::string::npos);
  }

  std::vector<HostCase> cases = {{.name = "archive-plugin", .settings = "20 1"}};
  if (host == Host::gimp3)
    cases.push_back(
        {.name = "archive-operation", .settings = "20 1", .run_mode = "FILTER-MERGE"});
  for (const std::string &folders : {std::string(), in_flatpak}) {
    run.environment = "HOME='" + home + "' " + folders;
    run_cases(run, host, cases, 300);
    expect_all_cases(run, host, cases);
    if (release != "forky")
      break;
  }

  // The home's files but those install.sh listed stay; no folder it made stays empty.
  std::set<std::string> left = paths_under(home), made;
  std::istringstream listed(read_file(home + "/.local/share/ondalux/installed"));
  for (std::string path; std::getline(listed, path);)
    EXPECT_TRUE(fs::is_directory(path) ? made.insert(path).second : left.erase(path))
        << path;
  left.erase(home + "/.local/share/ondalux/installed");
  ASSERT_EQ(in_work("ondalux-*/install.sh --uninstall"), 0) << out();
  EXPECT_EQ(paths_under(home), left);
  for (const std::string &folder : made)
    EXPECT_FALSE(fs::is_directory(folder) && fs::is_empty(folder)) << folder;
}

} // namespace
