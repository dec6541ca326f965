// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// The ondalux command as a user runs it: results against the reference renderer,
// other channel types, pages and frames, metadata, and every bad input.
#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <OpenImageIO/imageio.h>
#include <gtest/gtest.h>

#include "support/reference_render.h"

namespace fs = std::filesystem;

namespace
{

// The build here or, with $ONDALUX_COMMAND_RELEASE, the one README's commands made in
// that Debian root, whose programs run there; the command is the one in
// $ONDALUX_COMMAND_BUILD if set, such as one with sanitizers.
const char *const release = std::getenv("ONDALUX_COMMAND_RELEASE");
const char *const command_build = std::getenv("ONDALUX_COMMAND_BUILD");
const std::string work =
    ONDALUX_BUILD_DIR "/test-work/cli" + (release ? std::string("-") + release : "");
const std::string build = release ? "/root/ondalux/build" : ONDALUX_BUILD_DIR;
const std::string ondalux_path = (command_build ? command_build : build) + "/ondalux";

struct Result : Outcome {
  long peak_kib; // resident memory at most, behind the wrapper
};

// Runs a shell command in the work folder.
Result run(const std::string &command)
{
  fs::remove(work + "/peak.log");
  return {run_in(work, command, release ? release : ""),
          std::atol(read_file(work + "/peak.log").c_str())};
}

// The command, behind the wrapper that records its peak resident memory.
Result ondalux(const std::string &arguments)
{
  return run("ONDALUX_REAL_PLUGIN='" + ondalux_path +
             "' ONDALUX_PEAK_LOG=peak.log '" ONDALUX_BUILD_DIR "/peak_rss_wrapper' " +
             arguments);
}

// The command's temporary files anywhere in the work folder.
long temporaries()
{
  return std::count_if(fs::recursive_directory_iterator(work), {}, [](const auto &entry) {
    return entry.path().filename().string().find(".ondalux-") != std::string::npos;
  });
}

struct Cli : ::testing::Test {
  static void SetUpTestSuite()
  {
    fs::remove_all(work);
    fs::create_directories(work);
    for (int channels = 1; channels <= 4; channels++)
      for (int bits : {8, 16})
        write_png(make_test_image(90, 64, channels, bits / 8),
                  work + "/in-" + std::to_string(channels) + "-" + std::to_string(bits) +
                      ".png");
    write_png(make_test_image(2000, 1500, 4, 2), work + "/large.png");
    // Pages, frames, CMYK, float samples and metadata (an ICC profile, resolution,
    // EXIF): files that ImageMagick and OpenImageIO made of such images; and bad ones.
    fs::copy(ONDALUX_SOURCE_DIR "/tests/data", work);
  }
};

// Pattern -1 lets the command draw one, which it must print. Every page and frame of
// a file is dented with one pattern. The GEGL operation, installed for the user as
// README says, dents alike through the gegl command, after another operation whose
// output it takes, on an image large enough that GEGL renders it in parts on several
// threads.
TEST_F(Cli, ResultsAreTheReferenceRenderOfThePrintedPattern)
{
  const std::string install = "cmake --install '" + build + "'";
  ASSERT_EQ(
      run("HOME=home XDG_DATA_HOME=data GIMP3_DIRECTORY=gimp " + install).exit_status, 0);
  const struct {
    std::string input;
    std::string region; // --region, or "" for the whole of every image
    Box bounds;
    double scale, turbulence;
    int pattern;
    std::string how = ""; // "in place", or the operation before it in the gegl command
  } cases[] = {
      // clang-format off
      {"in-1-8.png", "", {}, 5.0, 0.5, 0},
      {"in-2-8.png", "", {}, 30.0, 1.0, 77},
      {"in-3-8.png", "13,9,61,47", {13, 9, 61, 47}, 20.0, 0.8, 255},
      {"in-4-8.png", "", {}, 5.0, 0.5, 1},
      {"in-3-8.png", "", {}, 20.0, 1.0, -1},
      {"in-4-16.png", "", {}, 5.0, 0.5, 42},
      {"in-3-16.png", "", {}, 0.0, 0.5, 3},
      // Regions at the origin, one pixel across: positions keep their fractions.
      {"in-4-8.png", "0,10,1,40", {0, 10, 1, 40}, 50.0, 1.0, 9},
      {"in-3-8.png", "20,0,500,1", {20, 0, 70, 1}, 100.0, 1.0, 200},
      {"in-4-16.png", "0,5,1,50", {0, 5, 1, 50}, 50.0, 1.0, 11},
      {"float.tif", "10,0,60,1", {10, 0, 60, 1}, 100.0, 1.0, 12},
      {"pages.tif", "", {}, 20.0, 1.0, 5},
      {"pages.tif", "", {}, 20.0, 1.0, 6, "in place"},
      {"anim.gif", "", {}, 20.0, 1.0, 9},
      {"cmyk.tif", "", {}, 20.0, 1.0, 13},
      {"cmyk.tif", "", {}, 0.0, 0.5, 14},
      {"large.png", "", {}, 20.0, 1.0, 42, "gegl:invert-gamma"},
      // clang-format on
  };
  for (const auto &c : cases) {
    const std::string output = "out" + fs::path(c.input).extension().string();
    std::ostringstream arguments;
    arguments << "-s " << c.scale << " -t " << c.turbulence
              << (c.pattern < 0 ? "" : " --pattern " + std::to_string(c.pattern))
              << (c.region.empty() ? "" : " --region " + c.region) << " -o " << output
              << " " << (c.how == "in place" ? "--in-place " + output : c.input);
    if (c.how == "in place")
      fs::copy_file(work + "/" + c.input, work + "/" + output,
                    fs::copy_options::overwrite_existing);
    const bool gegl = c.how.starts_with("gegl:");
    const auto run_gegl = [&](const std::string &output, const std::string &operations) {
      return run("XDG_DATA_HOME=data gegl -i " + c.input + " -o " + output + " -- " +
                 c.how + operations);
    };
    const Result result =
        gegl ? run_gegl(output, " ondalux:dent scale=" + std::to_string(c.scale) +
                                    " turbulence=" + std::to_string(c.turbulence) +
                                    " pattern=" + std::to_string(c.pattern))
             : ondalux(arguments.str());
    ASSERT_EQ(result.exit_status, 0) << arguments.str() << "\n" << result.err;
    const size_t printed = result.out.find("(pattern ");
    const int pattern = gegl ? c.pattern : std::stoi(result.out.substr(printed + 9));
    EXPECT_TRUE(c.pattern < 0 || pattern == c.pattern) << result.out;
    // After another operation, the reference is rendered from that one's output alone.
    if (gegl) {
      ASSERT_EQ(run_gegl("before.png", "").exit_status, 0);
    }
    const std::vector<Image> sources =
        read_images(work + "/" + (gegl ? "before.png" : c.input));
    const std::vector<Image> written = read_images(work + "/" + output);
    ASSERT_EQ(written.size(), sources.size()) << arguments.str();
    for (size_t i = 0; i < sources.size(); i++) {
      const Box whole = {0, 0, sources[i].width, sources[i].height};
      EXPECT_TRUE(reference_render(sources[i], c.region.empty() ? whole : c.bounds,
                                   c.scale, c.turbulence,
                                   uint32_t(pattern)) == written[i])
          << arguments.str() << ", image " << i;
      EXPECT_EQ(sources[i] == written[i], c.scale == 0) << arguments.str();
    }
  }
}

// PNG, JPEG and single-image TIFF stream through a window of rows: results equal the
// whole image's across band edges, moves of the window and regions, in a fraction of
// its memory, and other readers open them. An interlaced PNG is read whole. A file
// found damaged after some rows went out leaves nothing.
TEST_F(Cli, StreamedFilesAreDentedAsWholeImages)
{
  write_png(make_test_image(300, 1100, 4, 2), work + "/tall-4-16.png");
  write_png(make_test_image(1, 700, 2, 2), work + "/tall-2-16.png");
  write_png(make_test_image(257, 900, 3, 1), work + "/tall-3-8.png");
  write_png(make_test_image(3000, 2000, 3, 1), work + "/wide-3-8.png");
  ASSERT_EQ(
      run("convert tall-3-8.png -compress zip tall-3-8.tif && convert tall-3-8.png "
          "-interlace PNG tall-interlaced.png && convert tall-3-8.png -quality 95 "
          "tall.jpg && convert tall-4-16.png -compress zip tall-4-16.tif && convert "
          "tall-4-16.png -define tiff:endian=msb -compress none tall-msb.tif")
          .exit_status,
      0);
  const struct {
    std::string input, region;
    Box bounds;
    double scale, turbulence;
  } cases[] = {
      // clang-format off
      {"tall-4-16.png", "", {}, 5.0, 0.5},
      {"tall-3-8.png", "", {}, 30.0, 1.0},
      {"tall-3-8.png", "40,70,200,700", {40, 70, 200, 700}, 20.0, 1.0},
      {"tall-3-8.png", "0,100,1,500", {0, 100, 1, 500}, 50.0, 1.0},
      {"tall-2-16.png", "", {}, 100.0, 1.0},
      {"tall-3-8.tif", "", {}, 30.0, 1.0},
      {"tall-4-16.tif", "10,300,250,333", {10, 300, 250, 333}, 40.0, 0.9},
      {"cmyk16.tif", "", {}, 20.0, 1.0},
      {"tall-msb.tif", "", {}, 30.0, 1.0},
      {"tall-interlaced.png", "", {}, 30.0, 1.0},
      {"tall.jpg", "", {}, 30.0, 1.0},
      {"wide-3-8.png", "", {}, 5.0, 0.5},
      // clang-format on
  };
  for (const auto &c : cases) {
    const std::string output = "streamed" + fs::path(c.input).extension().string();
    std::ostringstream arguments;
    arguments << "-s " << c.scale << " -t " << c.turbulence << " --pattern 7"
              << (c.region.empty() ? "" : " --region " + c.region) << " -o " << output
              << " " << c.input;
    const Result result = ondalux(arguments.str());
    ASSERT_EQ(result.exit_status, 0) << arguments.str() << "\n" << result.err;
    const Image source = read_images(work + "/" + c.input).at(0);
    const Image written = read_images(work + "/" + output).at(0);
    const Box whole = {0, 0, source.width, source.height};
    const Image reference = reference_render(source, c.region.empty() ? whole : c.bounds,
                                             c.scale, c.turbulence, 7);
    if (c.input.ends_with(".jpg")) {
      EXPECT_GT(psnr(written, reference), 30.0) << arguments.str();
      continue;
    }
    EXPECT_TRUE(reference == written) << arguments.str();
    // The Debian roots have ImageMagick among the tests' tools, and no vips.
    const std::string vips = release ? "" : " && vips copy " + output + " streamed.v";
    EXPECT_EQ(run("identify -regard-warnings " + output + vips).exit_status, 0)
        << arguments.str();
    if (c.input.starts_with("wide") && !command_build) { // sanitizers take their own
      EXPECT_LT(result.peak_kib * 1024, long(source.pixels.size())) << arguments.str();
    }
  }

  // Cut short, or damaged within, after the first rows.
  for (const std::string name : {"tall-3-8.png", "tall.jpg", "tall-3-8.tif"}) {
    const std::string bytes = read_file(work + "/" + name);
    for (const double at : {0.3, 0.7, 0.999}) {
      std::string damaged = bytes;
      const size_t cut = size_t(double(bytes.size()) * at);
      if (name.ends_with(".tif"))
        std::fill_n(damaged.begin() + std::ptrdiff_t(cut / 2), 64, '\x5a');
      else
        damaged.resize(cut);
      const std::string input = "damaged" + fs::path(name).extension().string();
      std::ofstream(work + "/" + input, std::ios::binary) << damaged;
      const Result result = ondalux("-o out-" + input + " " + input);
      EXPECT_EQ(result.exit_status, 1) << name << " " << at;
      EXPECT_NE(result.err.find(input + ": cannot read it"), std::string::npos)
          << name << " " << at << "\n"
          << result.err;
      EXPECT_FALSE(fs::exists(work + "/out-" + input)) << name << " " << at;
    }
  }
  EXPECT_EQ(temporaries(), 0);
}

// PNG to PNG goes through libpng, JPEG to JPEG through libjpeg, GIF to GIF through
// giflib, the rest through OpenImageIO. Every image keeps its channel type and
// metadata, and a JPEG its quality and colour model, a GIF its delays and disposal, as
// ImageMagick reads them.
TEST_F(Cli, MetadataAndChannelTypeAreKept)
{
  for (const std::string name :
       {"meta.png", "meta.tif", "meta.jpg", "cmyk.jpg", "pages.tif", "anim.gif"}) {
    ASSERT_EQ(ondalux(name + " -o dented-" + name).exit_status, 0) << name;
    auto input = OIIO::ImageInput::open(work + "/" + name);
    auto dented = OIIO::ImageInput::open(work + "/dented-" + name);
    ASSERT_TRUE(input && dented) << name;
    for (int i = 0; input->seek_subimage(i, 0); i++) {
      ASSERT_TRUE(dented->seek_subimage(i, 0)) << name << " lost image " << i;
      EXPECT_EQ(dented->spec().format, input->spec().format) << name;
      EXPECT_EQ(dented->spec().nchannels, input->spec().nchannels) << name;
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
    const std::string estimate = "identify -format '%Q %[colorspace] %T %D ' ";
    if (!name.ends_with(".png") && !name.ends_with(".tif")) {
      EXPECT_EQ(run(estimate + "dented-" + name).out, run(estimate + name).out) << name;
    }
  }
}

TEST_F(Cli, BadInputsFailWithAClearLineAndLeaveNothingBehind)
{
  ASSERT_EQ(run("convert cmyk16.tif -compress lzw cmyk16-lzw.tif").exit_status, 0);
  fs::create_directories(work + "/other");
  fs::copy_file(work + "/in-1-8.png", work + "/own.png");
  fs::copy_file(work + "/in-1-8.png", work + "/other/own.png");
  const std::string own = read_file(work + "/own.png");
  const struct {
    std::string arguments, message;
    int exit_status;
    bool cheap = false; // refused in under 100 MB
  } cases[] = {
      // clang-format off
      // A header is a claim: it is weighed before anything is allocated for it.
      {"hostile.png", "hostile.png: cannot read it", 1, true},
      {"--memory-limit 1G hostile.png", "claims 1.1 GiB for the rows its offsets reach at once, beyond the memory limit", 1, true},
      {"hostile.tif", "claims 40.2 GiB for its pixels with their result, beyond the memory limit", 1, true},
      {"--memory-limit 8K own.png", "beyond the memory limit of 8.0 KiB", 1, true},
      // Nothing is dropped: no page, no frame, no bit of a sample.
      {"animated.png", "is an animated PNG", 1, true},
      {"partial.gif", "frame 2 covers only part of the picture", 1, true},
      {"-f png pages.tif", "it holds 3 images (pages or frames), and a png file holds one", 1},
      {"cmyk16-lzw.tif", "the tiff writer would store its uint16 samples as uint8", 1},
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
      {"--quality 0 own.jpg", "the quality must be a whole number from 1 to 100", 2},
      {"--memory-limit lots own.png", "the memory limit must be a size such as 800M", 2},
      {"--region 1,2,0,4 own.png", "the region must be X,Y,WIDTH,HEIGHT", 2},
      {"--no-such-option own.png", "unknown option '--no-such-option'", 2},
      {"", "no input files", 2},
      // clang-format on
  };
  for (const auto &c : cases) {
    const Result result = ondalux(c.arguments);
    EXPECT_EQ(result.exit_status, c.exit_status) << c.arguments << "\n" << result.err;
    EXPECT_NE(result.err.find(c.message), std::string::npos) << c.arguments << "\n"
                                                             << result.err;
    EXPECT_TRUE(!c.cheap || result.peak_kib < 100 * 1024)
        << c.arguments << ": " << result.peak_kib << " KiB";
  }
  EXPECT_FALSE(fs::exists(work + "/notes-ondalux.png"));
  EXPECT_FALSE(fs::exists(work + "/truncated-ondalux.png"));
  EXPECT_EQ(read_file(work + "/own.png"), own);
  EXPECT_EQ(temporaries(), 0);

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
  EXPECT_EQ(run("mkdir -p many interrupted && for i in $(seq 12); do cp big.png "
                "many/in$i.png; done && { '" +
                ondalux_path +
                "' -q -d interrupted "
                "many/*.png & for i in $(seq 3000); do ls interrupted/.*.ondalux-* > "
                "/dev/null 2>&1 && break; sleep 0.002; done; kill -TERM $!; wait $!; }")
                .exit_status,
            128 + SIGTERM);
  EXPECT_EQ(temporaries(), 0);
  for (const auto &entry : fs::directory_iterator(work + "/interrupted"))
    EXPECT_EQ(read_images(entry.path().string()).at(0).width, 3000) << entry.path();
}

} // namespace
