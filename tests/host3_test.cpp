// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// The GIMP 3 host in a real headless GIMP 3: registration, run modes, reference
// renders in every precision, and refusals.
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include <gtest/gtest.h>

#include "support/gimp_session.h"
#include "support/reference_render.h"

namespace fs = std::filesystem;

namespace
{

constexpr int width = 48, height = 36;

struct Gimp3Case {
  std::string name;
  int channels, input_bits;
  std::string precision;
  int channel_bytes;
  std::optional<Box> selection; // none: the whole layer
  std::string run_mode;
  double scale, turbulence;
};

const Gimp3Case gimp3_cases[] = {
    // With nothing stored, GIMP 3 runs with last values on the arguments given (its
    // own Repeat passes the defaults).
    {"last-values-fresh",
     3,
     8,
     "PRECISION-U8-NON-LINEAR",
     1,
     {},
     "RUN-WITH-LAST-VALS",
     60,
     1},
    {"gray-u8", 1, 8, "PRECISION-U8-NON-LINEAR", 1, {}, "RUN-NONINTERACTIVE", 5, 0.5},
    {"graya-u8-box", 2, 8, "PRECISION-U8-NON-LINEAR", 1, Box{7, 5, 30, 25},
     "RUN-NONINTERACTIVE", 30, 1},
    {"rgb-u8", 3, 8, "PRECISION-U8-NON-LINEAR", 1, {}, "RUN-NONINTERACTIVE", 70, 0.8},
    {"rgba-u8", 4, 8, "PRECISION-U8-NON-LINEAR", 1, {}, "RUN-NONINTERACTIVE", 20, 1},
    {"rgba-u8-column", 4, 8, "PRECISION-U8-NON-LINEAR", 1, Box{0, 4, 1, 30},
     "RUN-NONINTERACTIVE", 50, 1},
    {"rgb-u16", 3, 16, "PRECISION-U16-NON-LINEAR", 2, {}, "RUN-NONINTERACTIVE", 5, 0.5},
    {"rgba-u16-linear", 4, 16, "PRECISION-U16-LINEAR", 2, Box{3, 2, 40, 30},
     "RUN-NONINTERACTIVE", 5, 0.5},
    {"graya-u32", 2, 16, "PRECISION-U32-NON-LINEAR", 4, {}, "RUN-NONINTERACTIVE", 5, 0.5},
    {"gray-half", 1, 16, "PRECISION-HALF-LINEAR", 2, {}, "RUN-NONINTERACTIVE", 5, 0.5},
    {"rgba-float",
     4,
     16,
     "PRECISION-FLOAT-NON-LINEAR",
     4,
     {},
     "RUN-NONINTERACTIVE",
     5,
     0.5},
    {"rgb-double", 3, 16, "PRECISION-DOUBLE-LINEAR", 8, {}, "RUN-NONINTERACTIVE", 5, 0.5},
    // Non-interactive runs store nothing: not the 5, 0.5 of the run before.
    {"last-values-after",
     3,
     8,
     "PRECISION-U8-NON-LINEAR",
     1,
     {},
     "RUN-WITH-LAST-VALS",
     60,
     1},
};

std::string input_name(int channels, int bits)
{
  return "input-" + std::to_string(channels) + "-" + std::to_string(bits) + ".png";
}

class Gimp3 : public ::testing::Test
{
protected:
  static void SetUpTestSuite()
  {
    work = fresh_work_dir("host3");
    profile = prepare_profile(work, Host::gimp3);
    for (int channels = 1; channels <= 4; channels++)
      for (int bits : {8, 16})
        write_png(make_test_image(width, height, channels, bits / 8),
                  work + "/" + input_name(channels, bits));
    std::ostringstream program;
    for (const Gimp3Case &c : gimp3_cases) {
      program << "(render-case " << scheme_string(c.name) << " "
              << scheme_string(input_name(c.channels, c.input_bits)) << " " << c.precision
              << " ";
      if (c.selection)
        program << "'(" << c.selection->x << " " << c.selection->y << " "
                << c.selection->width << " " << c.selection->height << ")";
      else
        program << "#f";
      program << " " << c.run_mode << " " << c.scale << " " << c.turbulence << ")\n";
    }
    program << R"(
(let ((image (car (gimp-file-load RUN-NONINTERACTIVE "input-3-8.png"))))
  (gimp-image-convert-indexed image CONVERT-DITHER-NONE CONVERT-PALETTE-GENERATE 32
                              FALSE FALSE "")
  (refused-case "indexed" image (car (gimp-image-get-layers image))))
(let* ((image (car (gimp-image-new 48 36 RGB)))
       (group (car (gimp-group-layer-new image "group")))
       (layer (car (gimp-file-load-layer RUN-NONINTERACTIVE image "input-3-8.png"))))
  (gimp-image-insert-layer image group 0 0)
  (gimp-image-insert-layer image layer group 0)
  (refused-case "group" image (vector group)))
(let ((image (car (gimp-file-load RUN-NONINTERACTIVE "input-4-8.png"))))
  (gimp-item-set-lock-content (layer-of image) TRUE)
  (refused-case "locked" image (car (gimp-image-get-layers image))))
(let* ((image (car (gimp-file-load RUN-NONINTERACTIVE "input-3-8.png")))
       (second (car (gimp-layer-copy (layer-of image)))))
  (gimp-image-insert-layer image second 0 0)
  (refused-case "two-drawables" image (car (gimp-image-get-layers image))))
(let ((image (car (gimp-file-load RUN-NONINTERACTIVE "input-3-8.png"))))
  (refused-case "no-drawable" image (vector)))
)";
    run = run_gimp_batch(profile, work, program.str(), 400, Host::gimp3);
  }

  // A raw data file the case wrote, as an image of its layout.
  static Image raw(const std::string &name, int channels, int channel_bytes,
                   const std::string &stage)
  {
    Image image;
    image.width = width;
    image.height = height;
    image.channels = channels;
    image.channel_bytes = channel_bytes;
    std::ifstream file(work + "/" + name + "-" + stage + ".data", std::ios::binary);
    image.pixels.assign(std::istreambuf_iterator<char>(file), {});
    EXPECT_EQ(image.pixels.size(), size_t(width) * height * image.pixel_bytes())
        << name << " " << stage;
    return image;
  }

  static std::string work, profile;
  static GimpRun run;
};

std::string Gimp3::work, Gimp3::profile;
GimpRun Gimp3::run;

TEST_F(Gimp3, RegistersTheProcedureUnderDistorts)
{
  ASSERT_TRUE(run.completed()) << run.log;
  std::stringstream pluginrc;
  pluginrc << std::ifstream(profile + "/pluginrc").rdbuf();
  for (const char *expected :
       {"\"plug-in-ondalux\"", "\"_Ondalux...\"", "\"<Image>/Filters/Distorts\"",
        "\"RGB*, GRAY*\"", "\"Dent image\"", "\"Ondalux developers\"",
        "\"January 2015, 1.0\"", "plug-ins/ondalux/ondalux"})
    EXPECT_NE(pluginrc.str().find(expected), std::string::npos) << expected;
}

TEST_F(Gimp3, RendersTheReferenceInEveryPrecisionAndRunMode)
{
  for (const Gimp3Case &c : gimp3_cases) {
    EXPECT_EQ(run.value(c.name), "success") << c.name << "\n" << run.log;
    const Image before = raw(c.name, c.channels, c.channel_bytes, "before");
    if (c.run_mode == "RUN-NONINTERACTIVE") {
      EXPECT_EQ(run.value(c.name + "-zero"), "success") << c.name;
      EXPECT_EQ(differing_bytes(before, raw(c.name, c.channels, c.channel_bytes, "zero")),
                0u)
          << c.name << ": Scale 0 changed pixels";
    }
    const Image rendered = raw(c.name, c.channels, c.channel_bytes, "rendered");
    EXPECT_GT(differing_bytes(before, rendered), 0u) << c.name << " left unchanged";
    EXPECT_FALSE(matching_offsets(before, rendered,
                                  c.selection.value_or(Box{0, 0, width, height}), c.scale,
                                  c.turbulence)
                     .empty())
        << c.name << ": no pattern explains it";
  }
}

TEST_F(Gimp3, RefusesWithAMessageAndChangesNothing)
{
  const struct {
    std::string name, status;
  } refusals[] = {{"indexed", "execution-error"},
                  {"group", "execution-error"},
                  {"locked", "execution-error"},
                  {"two-drawables", "calling-error"},
                  {"no-drawable", "calling-error"}};
  for (const auto &r : refusals) {
    EXPECT_EQ(run.value(r.name), r.status) << r.name << "\n" << run.log;
    std::stringstream before, after;
    before << std::ifstream(work + "/" + r.name + "-before.data").rdbuf();
    after << std::ifstream(work + "/" + r.name + "-rendered.data").rdbuf();
    EXPECT_FALSE(before.str().empty()) << r.name;
    EXPECT_EQ(before.str(), after.str()) << r.name;
  }
  EXPECT_TRUE(host_complaints(run.log).empty()) << run.log;
}

} // namespace
