// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// The interactive run: the dialog answered from outside under Xvfb, its stored
// settings, and a preview that shows what OK then writes.
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "support/dialog_driver.h"
#include "support/gimp_session.h"
#include "support/reference_render.h"

namespace
{

constexpr int width = 160, height = 120;
const Box whole_layer = {0, 0, width, height};
constexpr int dialog_timeout = 60;

struct DialogCase {
  std::string name;
  bool indexed;
  DialogAnswer answer;
};

std::vector<DialogCase> dialog_cases(const std::string &work)
{
  return {
      {"cancel", false, {"40", "0.9", DialogButton::cancel, "", true}},
      {"close", false, {"41", "0.7", DialogButton::close_window, ""}},
      {"first-ok", false, {"", "", DialogButton::ok, ""}},
      {"typed-ok", false, {"37.5", "0.8", DialogButton::ok, work + "/dialog.png"}},
      {"clamped", false, {"250", "-3", DialogButton::ok, ""}},
      {"indexed", true, {"", "", DialogButton::ok, ""}},
  };
}

// The middle of the bundled sample, small enough for the preview to show it whole
// at 1:1.
Image sample_crop()
{
  const Image sample = read_png(ONDALUX_SOURCE_DIR "/samples/checkerboard.png");
  Image crop = sample;
  crop.width = width;
  crop.height = height;
  crop.pixels.clear();
  const int left = (sample.width - width) / 2, top = (sample.height - height) / 2;
  for (int y = 0; y < height; y++)
    crop.pixels.insert(crop.pixels.end(), sample.at(left, top + y),
                       sample.at(left + width, top + y));
  return crop;
}

class HostDialog : public ::testing::Test
{
protected:
  static void SetUpTestSuite()
  {
    work = fresh_work_dir("host_dialog");
    const std::string profile = prepare_profile(work);
    write_png(sample_crop(), path("input"));
    const std::string input = scheme_string(path("input"));

    std::ostringstream program;
    for (const DialogCase &c : dialog_cases(work)) {
      if (c.indexed)
        program << "(let ((image (fresh-copy " << input << ")))"
                << "  (gimp-image-convert-indexed image CONVERT-DITHER-NONE"
                << "    CONVERT-PALETTE-GENERATE 32 FALSE FALSE \"\")"
                << "  (report \"indexed\" (run-ondalux RUN-INTERACTIVE image 0 0)))\n";
      else
        program << "(render-case " << scheme_string(c.name) << " " << input
                << " #f RUN-INTERACTIVE 0 0 " << scheme_string(path(c.name)) << ")\n";
      program << "(report-stored " << scheme_string("stored-after-" + c.name) << ")\n";
      if (c.name == "typed-ok")
        program << "(render-case \"last-values\" " << input
                << " #f RUN-WITH-LAST-VALS 0 0 " << scheme_string(path("last-values"))
                << ")\n";
    }

    std::thread gimp([&] {
      run =
          run_gimp_batch(profile, work, program.str(), 240, Host::gimp2, Interface::gui);
    });
    for (const DialogCase &c : dialog_cases(work)) {
      const std::string error = answer_dialog(c.answer, dialog_timeout);
      if (!error.empty())
        driver_errors += c.name + ": " + error + "\n";
    }
    gimp.join();
  }

  static std::string path(const std::string &name) { return work + "/" + name + ".png"; }

  static void expect_stored(const std::string &key, double scale, double turbulence)
  {
    double stored_scale = 0, stored_turbulence = 0;
    ASSERT_TRUE(
        decode_stored_settings(run.values(key), &stored_scale, &stored_turbulence))
        << key << ": " << run.value(key);
    EXPECT_EQ(stored_scale, scale) << key;
    EXPECT_EQ(stored_turbulence, turbulence) << key;
  }

  static void expect_rendered(const std::string &name, double scale, double turbulence)
  {
    EXPECT_EQ(run.value(name), "success") << name;
    EXPECT_FALSE(matching_offsets(read_png(path("input")), read_png(path(name)),
                                  whole_layer, scale, turbulence)
                     .empty())
        << name << " does not match the reference render at " << scale << ", "
        << turbulence;
  }

  static std::string work, driver_errors;
  static GimpRun run;
};

std::string HostDialog::work, HostDialog::driver_errors;
GimpRun HostDialog::run;

TEST_F(HostDialog, EveryDialogAppearsAndIsAnsweredWithoutComplaints)
{
  EXPECT_EQ(driver_errors, "");
  ASSERT_TRUE(run.completed()) << run.log;
  EXPECT_TRUE(host_complaints(run.log).empty()) << run.log;
}

TEST_F(HostDialog, CancelAndClosingChangeNothingAndStoreNothing)
{
  const Image source = read_png(path("input"));
  for (const char *name : {"cancel", "close"}) {
    EXPECT_EQ(run.value(name), "success") << name;
    EXPECT_EQ(differing_bytes(source, read_png(path(name))), 0u) << name;
    EXPECT_EQ(run.value(std::string("stored-after-") + name), "none") << name;
  }
}

TEST_F(HostDialog, HelpOpensThePageInstalledWithThePlugIn)
{
  expect_help_page(work);
}

TEST_F(HostDialog, FirstRunStartsFromTheDefaults)
{
  expect_rendered("first-ok", 5.0, 0.5);
  expect_stored("stored-after-first-ok", 5.0, 0.5);
}

TEST_F(HostDialog, TypedValuesRenderAndAreStoredForLastValues)
{
  expect_rendered("typed-ok", 37.5, 0.8);
  expect_stored("stored-after-typed-ok", 37.5, 0.8);
  expect_rendered("last-values", 37.5, 0.8);
}

TEST_F(HostDialog, EntriesClampToTheirRanges)
{
  expect_stored("stored-after-clamped", 100.0, 0.0);
  expect_rendered("clamped", 100.0, 0.0);
}

TEST_F(HostDialog, IndexedImageFailsAfterOkAndStoresNothing)
{
  EXPECT_EQ(run.value("indexed"), "execution-error");
  expect_stored("stored-after-indexed", 100.0, 0.0);
}

TEST_F(HostDialog, PreviewShowsExactlyWhatOkWrites)
{
  const Image screenshot = read_png(path("dialog"));
  ASSERT_EQ(screenshot.channels, 3);
  const Image written = read_png(path("typed-ok"));
  int x = 0, y = 0;
  EXPECT_TRUE(find_exact(screenshot, written, &x, &y))
      << "the written image is not in the dialog's screenshot at 1:1";
  EXPECT_FALSE(find_exact(screenshot, read_png(path("input")), &x, &y))
      << "the preview shows the image undistorted";
}

} // namespace
