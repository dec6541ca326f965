// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// The GIMP 3 dialog answered from outside under Xvfb: Cancel changes nothing, OK
// writes exactly what the preview showed and stores the settings for last values.
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "support/dialog_driver.h"
#include "support/gimp_session.h"
#include "support/reference_render.h"

namespace
{

constexpr int width = 160, height = 120;

Image raw_rgb(const std::string &path)
{
  Image image;
  image.width = width;
  image.height = height;
  image.channels = 3;
  std::ifstream file(path, std::ios::binary);
  image.pixels.assign(std::istreambuf_iterator<char>(file), {});
  EXPECT_EQ(image.pixels.size(), size_t(width) * height * 3) << path;
  return image;
}

TEST(Gimp3Dialog, OkAppliesThePreviewedPatternAndCancelChangesNothing)
{
  const std::string work = fresh_work_dir("host3_dialog");
  const std::string profile = prepare_profile(work, Host::gimp3);
  write_png(make_test_image(width, height, 3), work + "/input.png");
  GimpRun run;
  std::thread gimp([&] {
    run = run_gimp_batch(profile, work, R"(
(render-case "cancel" "input.png" PRECISION-U8-NON-LINEAR #f RUN-INTERACTIVE 5.0 0.5)
(render-case "ok" "input.png" PRECISION-U8-NON-LINEAR #f RUN-INTERACTIVE 5.0 0.5)
(render-case "last-values" "input.png" PRECISION-U8-NON-LINEAR #f RUN-WITH-LAST-VALS 60 1)
)",
                         240, Host::gimp3, Interface::gui);
  });
  const std::string screenshot = work + "/dialog.png";
  EXPECT_EQ(answer_dialog({"", "", DialogButton::cancel, "", true}, 90), "");
  EXPECT_EQ(answer_dialog({"", "", DialogButton::ok, screenshot}, 90), "");
  gimp.join();
  ASSERT_TRUE(run.completed()) << run.log;
  EXPECT_TRUE(host_complaints(run.log).empty()) << run.log;
  expect_help_page(work);

  EXPECT_EQ(differing_bytes(raw_rgb(work + "/cancel-before.data"),
                            raw_rgb(work + "/cancel-rendered.data")),
            0u);
  const Image source = raw_rgb(work + "/ok-before.data");
  const Image written = raw_rgb(work + "/ok-rendered.data");
  EXPECT_EQ(run.value("ok"), "success");
  EXPECT_FALSE(
      matching_offsets(source, written, {0, 0, width, height}, 5.0, 0.5).empty());
  int x = 0, y = 0;
  EXPECT_TRUE(find_exact(read_png(screenshot), written, &x, &y))
      << "the written image is not in the dialog's screenshot at 1:1";
  // The OK stored 5 and 0.5, which last values prefer over the arguments given.
  EXPECT_FALSE(matching_offsets(source, raw_rgb(work + "/last-values-rendered.data"),
                                {0, 0, width, height}, 5.0, 0.5)
                   .empty());
}

} // namespace
