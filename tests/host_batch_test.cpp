// The batch command, run as a user would, against a private GIMP profile.
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "support/gimp_session.h"
#include "support/reference_render.h"

namespace fs = std::filesystem;

namespace
{

struct Result {
  int exit_status;
  std::string out, err;
};

std::string read_file(const fs::path &path)
{
  std::stringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

class HostBatch : public ::testing::Test
{
protected:
  static void SetUpTestSuite()
  {
    work = fresh_work_dir("host_batch");
    profile = prepare_profile(work);
    write_png(make_test_image(90, 64, 4), work + "/rgba.png");
    write_png(make_test_image(90, 64, 1), work + "/grey.png");
    write_png(make_test_image(90, 64, 3), work + "/rgb.png");
    shell(
        "convert rgb.png -quality 90 photo.jpg && convert rgb.png -colors 16 indexed.gif"
        " && printf 'not an image' > corrupt.png && echo notes > notes.txt");
  }

  static int shell(const std::string &command)
  {
    return std::system(("cd '" + work + "' && " + command).c_str());
  }

  // Runs the batch command in the work folder with the test profile.
  static Result batch(const std::string &arguments)
  {
    const std::string command = "GIMP2_DIRECTORY='" + profile +
                                "' '" ONDALUX_BUILD_DIR "/ondalux-batch' " + arguments +
                                " > batch.out 2> batch.err";
    const int status = shell(command);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_file(work + "/batch.out"),
            read_file(work + "/batch.err")};
  }

  static std::string identify(const std::string &file)
  {
    const std::string out = work + "/identify.txt";
    shell("identify -format '%w %h %m %[channels]' '" + file + "' > '" + out + "'");
    return read_file(out);
  }

  static std::vector<std::string> leftovers(const std::string &folder)
  {
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(work + "/" + folder))
      if (entry.path().filename().string().find(".ondalux-") != std::string::npos)
        names.push_back(entry.path().filename().string());
    return names;
  }

  static std::string work, profile;
};

std::string HostBatch::work, HostBatch::profile;

// Like matching the reference render, except that PNG export drops the colour of
// fully transparent pixels: there only alpha must match.
bool matches_visible_pixels(const Image &source, const Image &written)
{
  const Box whole = {0, 0, source.width, source.height};
  for (int offset = 0; offset < 256; offset++) {
    const Image expected = reference_render(source, whole, 5.0, 0.5, offset);
    bool equal = written.channels == expected.channels && written.width == expected.width;
    for (int y = 0; y < source.height && equal; y++)
      for (int x = 0; x < source.width && equal; x++) {
        const uint8_t *e = expected.at(x, y), *w = written.at(x, y);
        const int alpha = source.channels - 1;
        equal = e[alpha] == w[alpha] && (e[alpha] == 0 || std::equal(e, e + alpha, w));
      }
    if (equal)
      return true;
  }
  return false;
}

TEST_F(HostBatch, FiltersEachFormatWithGimpsOwnLoadersAndSavers)
{
  const Result result = batch("-d out rgba.png grey.png photo.jpg indexed.gif");
  EXPECT_EQ(result.exit_status, 0) << result.err;
  EXPECT_NE(result.out.find("[1/4] rgba.png -> out/rgba.png"), std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find("indexed.gif: indexed image converted to RGB"),
            std::string::npos);
  EXPECT_NE(result.out.find("4 written, 0 failed"), std::string::npos);

  const Image grey = read_png(work + "/grey.png");
  EXPECT_FALSE(matching_offsets(grey, read_png(work + "/out/grey.png"),
                                {0, 0, grey.width, grey.height}, 5.0, 0.5)
                   .empty());
  EXPECT_TRUE(matches_visible_pixels(read_png(work + "/rgba.png"),
                                     read_png(work + "/out/rgba.png")));
  EXPECT_EQ(identify("out/photo.jpg"), "90 64 JPEG srgb");
  EXPECT_EQ(identify("out/indexed.gif"), "90 64 GIF srgb");
  EXPECT_TRUE(leftovers("out").empty());
}

TEST_F(HostBatch, BadFilesAreReportedWhileTheOthersAreWritten)
{
  const std::string before = read_file(work + "/corrupt.png");
  const Result result = batch("-d bad missing.png corrupt.png notes.txt grey.png");
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_NE(result.err.find("missing.png: no such file"), std::string::npos)
      << result.err;
  EXPECT_NE(result.err.find("corrupt.png: cannot load the image"), std::string::npos);
  EXPECT_NE(result.err.find("notes.txt: cannot load the image"), std::string::npos);
  EXPECT_NE(result.out.find("1 written, 3 failed"), std::string::npos) << result.out;
  EXPECT_TRUE(fs::exists(work + "/bad/grey.png"));
  EXPECT_FALSE(fs::exists(work + "/bad/corrupt.png"));
  EXPECT_EQ(read_file(work + "/corrupt.png"), before);
  EXPECT_TRUE(leftovers("bad").empty());
}

TEST_F(HostBatch, InputsAreOverwrittenOnlyInPlaceOnRequest)
{
  shell("cp grey.png own.png");
  const std::string original = read_file(work + "/own.png");
  Result result = batch("-o own.png own.png");
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_NE(result.err.find("would overwrite the input (use --in-place"),
            std::string::npos)
      << result.err;
  EXPECT_EQ(read_file(work + "/own.png"), original);

  result = batch("--in-place -s 30 -t 1 -o own.png own.png");
  EXPECT_EQ(result.exit_status, 0) << result.err;
  const Image replaced = read_png(work + "/own.png");
  EXPECT_EQ(replaced.width, 90);
  EXPECT_GT(differing_bytes(replaced, read_png(work + "/grey.png")), 0u);
  EXPECT_TRUE(leftovers(".").empty());
}

TEST_F(HostBatch, SettingsOutsideTheDialogRangesNeedForce)
{
  const struct {
    std::string arguments, message;
  } refused[] = {
      {"--scale 150", "Scale must be between 0 and 100, not 150"},
      {"--turbulence -1", "Turbulence must be between 0 and 1, not -1"},
      {"--force --scale nan", "Scale must be a finite number"},
      {"--force --turbulence inf", "Turbulence must be a finite number"},
      {"--force --scale 1e999", "Scale must be a finite number"},
  };
  for (const auto &c : refused) {
    const Result result = batch(c.arguments + " -o refused.png grey.png");
    EXPECT_EQ(result.exit_status, 2) << c.arguments;
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    EXPECT_FALSE(fs::exists(work + "/refused.png"));
  }
  const Result forced =
      batch("--force --scale 150 --turbulence -3 -o forced.png grey.png");
  EXPECT_EQ(forced.exit_status, 0) << forced.err;
  EXPECT_TRUE(fs::exists(work + "/forced.png"));
}

TEST_F(HostBatch, AnInterruptedRunLeavesOnlyCompleteImages)
{
  shell("mkdir -p many && convert -size 1200x900 plasma:fractal -depth 8 big.png");
  std::string inputs;
  for (int i = 0; i < 8; i++) {
    shell("cp big.png many/in" + std::to_string(i) + ".png");
    inputs += " many/in" + std::to_string(i) + ".png";
  }
  const std::string command = "cd '" + work + "' && GIMP2_DIRECTORY='" + profile +
                              "' exec '" ONDALUX_BUILD_DIR
                              "/ondalux-batch' -d interrupted" +
                              inputs + " > interrupted.out 2>&1";
  const pid_t child = fork();
  if (child == 0) {
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char *>(nullptr));
    _exit(127);
  }
  // Stop it once the first result is in place, in the middle of the run.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!fs::exists(work + "/interrupted/in0.png") &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  kill(child, SIGTERM);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0);

  std::this_thread::sleep_for(std::chrono::seconds(1));
  EXPECT_TRUE(leftovers("interrupted").empty());
  int complete = 0;
  for (const auto &entry : fs::directory_iterator(work + "/interrupted")) {
    const Image written = read_png(entry.path().string());
    EXPECT_EQ(written.width, 1200) << entry.path();
    EXPECT_EQ(written.height, 900) << entry.path();
    complete++;
  }
  EXPECT_GE(complete, 1);
  EXPECT_LT(complete, 8);
}

TEST_F(HostBatch, HelpVersionAndManual)
{
  Result result = batch("--help");
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_NE(result.out.find("Usage: ondalux-batch [OPTION]... INPUT..."),
            std::string::npos);
  result = batch("--version");
  EXPECT_EQ(result.out, "ondalux-batch " ONDALUX_VERSION "\n");
  result = batch("--no-such-option grey.png");
  EXPECT_EQ(result.exit_status, 2);
  EXPECT_EQ(
      shell("man -l '" ONDALUX_SOURCE_DIR "/docs/ondalux-batch.1' > manual.txt 2>&1"), 0);
  EXPECT_NE(read_file(work + "/manual.txt").find("--in-place"), std::string::npos);
}

} // namespace
