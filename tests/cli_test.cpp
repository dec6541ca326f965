// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// The ondalux command as a user runs it: results against the reference renderer,
// other channel types, metadata, and every bad input.
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <OpenImageIO/imageio.h>
#include <gtest/gtest.h>
#include <libgimp/gimp.h>

#include "support/reference_render.h"

namespace fs = std::filesystem;

namespace
{

struct Result {
  int exit_status;
  std::string out, err;
};

const std::string work = ONDALUX_BUILD_DIR "/test-work/cli";

std::string path(int channels, int bits)
{
  return work + "/in-" + std::to_string(channels) + "-" + std::to_string(bits) + ".png";
}

Result ondalux(const std::string &arguments)
{
  const int status =
      std::system(("cd '" + work + "' && '" ONDALUX_BUILD_DIR "/ondalux' " + arguments +
                   " > out.txt 2> err.txt")
                      .c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_file(work + "/out.txt"),
          read_file(work + "/err.txt")};
}

std::vector<std::string> temporaries()
{
  std::vector<std::string> names;
  for (const auto &entry : fs::recursive_directory_iterator(work))
    if (entry.path().filename().string().find(".ondalux-") != std::string::npos)
      names.push_back(entry.path().string());
  return names;
}

struct Cli : ::testing::Test {
  static void SetUpTestSuite()
  {
    fs::remove_all(work);
    fs::create_directories(work);
    for (int channels = 1; channels <= 4; channels++)
      for (int bits : {8, 16})
        write_png(make_test_image(90, 64, channels, bits / 8), path(channels, bits));
  }
};

// Pattern -1 lets the command draw one, which it must print. The GEGL operation,
// installed for the user as README says, dents alike through the gegl command.
TEST_F(Cli, ResultsAreTheReferenceRenderOfThePrintedPattern)
{
  ASSERT_EQ(std::system(("HOME='" + work + "/home' XDG_DATA_HOME='" + work +
                         "/data' GIMP2_DIRECTORY='" + work +
                         "/gimp' cmake --install '" ONDALUX_BUILD_DIR "' > '" + work +
                         "/install.log'")
                            .c_str()),
            0);
  const struct {
    int channels, bits;
    std::string region; // --region, or "" for the whole image
    Box bounds;
    double scale, turbulence;
    int pattern;
    bool gegl = false;
  } cases[] = {
      {1, 8, "", {0, 0, 90, 64}, 5.0, 0.5, 0},
      {2, 8, "", {0, 0, 90, 64}, 30.0, 1.0, 77},
      {3, 8, "13,9,61,47", {13, 9, 61, 47}, 20.0, 0.8, 255},
      {4, 8, "", {0, 0, 90, 64}, 5.0, 0.5, 1},
      {3, 8, "", {0, 0, 90, 64}, 20.0, 1.0, -1},
      // Regions at the origin, one pixel across: positions keep their fractions.
      {4, 8, "0,10,1,40", {0, 10, 1, 40}, 50.0, 1.0, 9},
      {3, 8, "20,0,500,1", {20, 0, 70, 1}, 100.0, 1.0, 200},
      {4, 16, "", {0, 0, 90, 64}, 5.0, 0.5, 42},
      {3, 16, "", {0, 0, 90, 64}, 0.0, 0.5, 3},
      {4, 16, "", {0, 0, 90, 64}, 20.0, 0.8, 42, true},
  };
  for (const auto &c : cases) {
    std::ostringstream arguments;
    int pattern = c.pattern;
    if (c.gegl) {
      arguments << "cd '" << work << "' && XDG_DATA_HOME='" << work << "/data' gegl -i "
                << path(c.channels, c.bits)
                << " -o out.png -- ondalux:dent scale=" << c.scale
                << " turbulence=" << c.turbulence << " pattern=" << c.pattern;
      ASSERT_EQ(std::system(arguments.str().c_str()), 0) << arguments.str();
    } else {
      arguments << "-s " << c.scale << " -t " << c.turbulence
                << (c.pattern < 0 ? "" : " --pattern " + std::to_string(c.pattern))
                << (c.region.empty() ? "" : " --region " + c.region) << " -o out.png "
                << path(c.channels, c.bits);
      const Result result = ondalux(arguments.str());
      ASSERT_EQ(result.exit_status, 0) << arguments.str() << "\n" << result.err;
      const size_t printed = result.out.find("(pattern ");
      ASSERT_NE(printed, std::string::npos) << result.out;
      pattern = std::stoi(result.out.substr(printed + 9));
      EXPECT_TRUE(c.pattern < 0 || pattern == c.pattern) << result.out;
    }
    const Image source = read_png(path(c.channels, c.bits));
    const Image written = read_png(work + "/out.png");
    EXPECT_TRUE(reference_render(source, c.bounds, c.scale, c.turbulence,
                                 uint32_t(pattern)) == written)
        << arguments.str();
    EXPECT_EQ(source == written, c.scale == 0) << arguments.str();
  }
}

// PNG to PNG goes through libpng, the rest through OpenImageIO; JPEG has no 16 bits.
TEST_F(Cli, MetadataAndChannelTypeAreKept)
{
  GimpColorProfile *srgb = gimp_color_profile_new_rgb_srgb();
  size_t length = 0;
  const uint8_t *profile = gimp_color_profile_get_icc_profile(srgb, &length);
  for (const std::string name : {"meta.png", "meta.tif", "meta.jpg"}) {
    const OIIO::TypeDesc type =
        name.ends_with(".jpg") ? OIIO::TypeDesc::UINT8 : OIIO::TypeDesc::UINT16;
    OIIO::ImageSpec spec(40, 30, 3, type);
    spec.attribute("ICCProfile", OIIO::TypeDesc(OIIO::TypeDesc::UINT8, length), profile);
    spec.attribute("XResolution", 300.0f);
    spec.attribute("ResolutionUnit", "in");
    spec.attribute("Exif:ImageUniqueID", "ondalux-metadata-test");
    auto output = OIIO::ImageOutput::create(work + "/" + name);
    ASSERT_TRUE(output->open(work + "/" + name, spec) &&
                output->write_image(
                    type, make_test_image(40, 30, 3, int(type.size())).pixels.data()));
    output->close();

    ASSERT_EQ(ondalux(name + " -o dented-" + name).exit_status, 0) << name;
    auto input = OIIO::ImageInput::open(work + "/" + name);
    auto dented = OIIO::ImageInput::open(work + "/dented-" + name);
    ASSERT_TRUE(input && dented && input->spec().find_attribute("ICCProfile")) << name;
    EXPECT_EQ(dented->spec().format, type) << name;
    EXPECT_EQ(dented->spec().nchannels, 3) << name;
    for (const OIIO::ParamValue &given : input->spec().extra_attribs) {
      const OIIO::ParamValue *kept = dented->spec().find_attribute(given.name());
      if (given.name() == "tiff:RowsPerStrip") // the writer's own choice
        continue;
      ASSERT_TRUE(kept) << name << " " << given.name();
      EXPECT_EQ(std::string(static_cast<const char *>(kept->data()), kept->datasize()),
                std::string(static_cast<const char *>(given.data()), given.datasize()))
          << name << " " << given.name();
    }
  }
  g_object_unref(srgb);
}

TEST_F(Cli, BadInputsFailWithAClearLineAndLeaveNothingBehind)
{
  std::ofstream(work + "/notes.png") << "not an image";
  const std::string png = read_file(path(3, 8));
  std::ofstream(work + "/truncated.png", std::ios::binary)
      << png.substr(0, png.size() / 2);
  fs::copy_file(path(1, 8), work + "/own.png", fs::copy_options::overwrite_existing);
  const std::string own = read_file(work + "/own.png");
  const struct {
    std::string arguments, message;
    int exit_status;
  } cases[] = {
      // clang-format off
      {"missing.png", "ondalux: missing.png: no such file", 1},
      {"notes.png", "ondalux: notes.png: cannot read it", 1},
      {"truncated.png", "ondalux: truncated.png: cannot read it", 1},
      {"-o own.png own.png", "own.png: the result would overwrite the input", 1},
      {"-d same own.png other/own.png", "other/own.png: the result would overwrite the result of own.png", 1},
      {"--region 500,0,5,5 own.png", "the region lies outside the 90x64 image", 1},
      {"-s 150 own.png", "Scale must be between 0 and 100, not 150", 2},
      {"-t -1 own.png", "Turbulence must be between 0 and 1, not -1", 2},
      {"--force -s nan own.png", "Scale must be a finite number", 2},
      {"--force -t 1e999 own.png", "Turbulence must be a finite number", 2},
      {"--pattern 256 own.png", "the pattern must be a whole number from 0 to 255", 2},
      {"--region 1,2,0,4 own.png", "the region must be X,Y,WIDTH,HEIGHT", 2},
      {"--no-such-option own.png", "unknown option '--no-such-option'", 2},
      {"", "no input files", 2},
      // clang-format on
  };
  fs::create_directories(work + "/same");
  fs::create_directories(work + "/other");
  fs::copy_file(path(1, 8), work + "/other/own.png",
                fs::copy_options::overwrite_existing);
  for (const auto &c : cases) {
    const Result result = ondalux(c.arguments);
    EXPECT_EQ(result.exit_status, c.exit_status) << c.arguments << "\n" << result.err;
    EXPECT_NE(result.err.find(c.message), std::string::npos) << c.arguments << "\n"
                                                             << result.err;
  }
  EXPECT_FALSE(fs::exists(work + "/notes-ondalux.png"));
  EXPECT_FALSE(fs::exists(work + "/truncated-ondalux.png"));
  EXPECT_EQ(read_file(work + "/own.png"), own);
  EXPECT_TRUE(temporaries().empty());

  // A failed file does not stop the others.
  const Result mixed = ondalux("-d mixed missing.png notes.png own.png");
  EXPECT_EQ(mixed.exit_status, 1);
  EXPECT_TRUE(fs::exists(work + "/mixed/own.png"));
  EXPECT_EQ(ondalux("--in-place -o own.png own.png").exit_status, 0);
  EXPECT_NE(read_file(work + "/own.png"), own);
}

TEST_F(Cli, AnInterruptedRunLeavesOnlyCompleteImages)
{
  write_png(make_test_image(3000, 2000, 4, 2), work + "/big.png");
  // Stopped once a temporary is being written; the shell reports its exit status.
  const int status = std::system(
      ("cd '" + work +
       "' && mkdir -p many interrupted && for i in $(seq 12); do "
       "cp big.png many/in$i.png; done && { '" ONDALUX_BUILD_DIR "/ondalux' -q "
       "-d interrupted many/*.png & for i in $(seq 3000); do "
       "ls interrupted/.*.ondalux-* > /dev/null 2>&1 && break; sleep 0.002; done; "
       "kill -TERM $!; wait $!; }")
          .c_str());
  EXPECT_EQ(WEXITSTATUS(status), 128 + SIGTERM);
  EXPECT_TRUE(temporaries().empty());
  for (const auto &entry : fs::directory_iterator(work + "/interrupted"))
    EXPECT_EQ(read_png(entry.path().string()).width, 3000) << entry.path();
}

} // namespace
