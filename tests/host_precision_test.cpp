// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// Every precision and drawable kind GIMP 2.10 offers, read back exactly through
// pixel reads: Scale 0 changes nothing, and a render copies each pixel from the
// reference position of one of the 256 patterns.
#include <optional>
#include <sstream>

#include <gtest/gtest.h>

#include "support/gimp_session.h"
#include "support/reference_render.h"

namespace
{

constexpr int width = 40, height = 30;

struct PrecisionCase {
  std::string name, kind, precision; // kind and precision as the Scheme helper takes them
  int channels, channel_bytes;
  std::optional<Box> selection; // none: the whole drawable
};

const PrecisionCase precision_cases[] = {
    {"u16-perceptual-rgb", "rgb", "PRECISION-U16-GAMMA", 3, 2, std::nullopt},
    {"u16-linear-rgba", "rgba", "PRECISION-U16-LINEAR", 4, 2, Box{5, 4, 30, 22}},
    {"u32-perceptual-graya", "graya", "PRECISION-U32-GAMMA", 2, 4, std::nullopt},
    {"half-linear-gray", "gray", "PRECISION-HALF-LINEAR", 1, 2, std::nullopt},
    {"float-perceptual-rgba", "rgba", "PRECISION-FLOAT-GAMMA", 4, 4, std::nullopt},
    {"double-linear-rgb", "rgb", "PRECISION-DOUBLE-LINEAR", 3, 8, std::nullopt},
    {"u8-linear-rgb", "rgb", "PRECISION-U8-LINEAR", 3, 1, std::nullopt},
    {"float-linear-mask", "mask", "PRECISION-FLOAT-LINEAR", 1, 4, std::nullopt},
    {"u16-perceptual-channel", "channel", "PRECISION-U16-GAMMA", 1, 2, std::nullopt},
    // A one-pixel column at the origin keeps its fractions and blends.
    {"u16-perceptual-rgba-column", "rgba", "PRECISION-U16-GAMMA", 4, 2, Box{0, 3, 1, 25}},
};

class HostPrecision : public ::testing::Test
{
protected:
  static void SetUpTestSuite()
  {
    const std::string work = fresh_work_dir("host_precision");
    std::ostringstream program;
    for (const PrecisionCase &c : precision_cases) {
      program << "(precision-case " << scheme_string(c.name) << " "
              << scheme_string(c.kind) << " " << c.precision << " " << width << " "
              << height << " ";
      if (c.selection)
        program << "'(" << c.selection->x << " " << c.selection->y << " "
                << c.selection->width << " " << c.selection->height << ")";
      else
        program << "#f";
      program << " 5.0 0.5)\n";
    }
    run = run_gimp_batch(prepare_profile(work), work, program.str(), 400);
  }

  // The bytes reported under key as an image of the case's layout.
  static Image reported(const PrecisionCase &c, const std::string &key)
  {
    Image image;
    image.width = width;
    image.height = height;
    image.channels = c.channels;
    image.channel_bytes = c.channel_bytes;
    for (const std::string &byte : run.values(c.name + "-" + key + "-bytes"))
      image.pixels.push_back(uint8_t(std::stoi(byte)));
    EXPECT_EQ(image.pixels.size(), size_t(width) * height * image.pixel_bytes())
        << c.name << " " << key;
    return image;
  }

  static GimpRun run;
};

GimpRun HostPrecision::run;

TEST_F(HostPrecision, ScaleZeroLeavesEveryByte)
{
  ASSERT_TRUE(run.completed()) << run.log;
  EXPECT_TRUE(host_complaints(run.log).empty()) << run.log;
  for (const PrecisionCase &c : precision_cases) {
    EXPECT_EQ(run.value(c.name + "-zero"), "success") << c.name;
    EXPECT_EQ(differing_bytes(reported(c, "before"), reported(c, "zero")), 0u) << c.name;
  }
}

TEST_F(HostPrecision, RendersTheReferenceOfOnePatternInTheDrawablesOwnFormat)
{
  for (const PrecisionCase &c : precision_cases) {
    EXPECT_EQ(run.value(c.name + "-rendered"), "success") << c.name;
    const Image source = reported(c, "zero");
    const Image rendered = reported(c, "rendered");
    const Box bounds = c.selection.value_or(Box{0, 0, width, height});
    EXPECT_GT(differing_bytes(source, rendered), 0u) << c.name << " left unchanged";
    EXPECT_FALSE(matching_offsets(source, rendered, bounds, 5.0, 0.5).empty())
        << c.name << ": no pattern explains it; bytes differing from pattern 0: "
        << differing_bytes(reference_render(source, bounds, 5.0, 0.5, 0), rendered);
  }
}

} // namespace
