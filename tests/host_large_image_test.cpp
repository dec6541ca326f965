// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// A large RGBA layer: the run succeeds and the plug-in's peak memory stays within
// one copy of the layer plus 64 MiB.
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "support/gimp_session.h"

namespace fs = std::filesystem;

TEST(HostLargeImage, EightThousandSquareRgbaWithinTheMemoryBudget)
{
  const std::string work = fresh_work_dir("host_large_image");
  const std::string profile = prepare_profile(work);
  // The plug-in runs behind a wrapper that records its peak resident memory.
  const fs::path plugin = fs::path(profile) / "plug-ins/ondalux/ondalux";
  fs::copy_file(plugin, work + "/ondalux", fs::copy_options::overwrite_existing);
  fs::copy_file(ONDALUX_BUILD_DIR "/peak_rss_wrapper", plugin,
                fs::copy_options::overwrite_existing);
  const std::string peak_log = work + "/peak.log";
  setenv("ONDALUX_REAL_PLUGIN", (work + "/ondalux").c_str(), 1);
  setenv("ONDALUX_PEAK_LOG", peak_log.c_str(), 1);

  constexpr int side = 8000;
  const GimpRun run = run_gimp_batch(profile, work, R"(
(let* ((image (car (gimp-image-new 8000 8000 RGB)))
       (layer (car (gimp-layer-new image 8000 8000 RGBA-IMAGE "large" 100
                                   LAYER-MODE-NORMAL))))
  (gimp-image-insert-layer image layer 0 0)
  (gimp-context-set-foreground '(250 40 20))
  (gimp-context-set-background '(10 90 240))
  (gimp-context-set-gradient-fg-bg-rgb)
  (gimp-context-set-gradient-repeat-mode REPEAT-TRIANGULAR)
  (gimp-drawable-edit-gradient-fill layer GRADIENT-RADIAL 0 FALSE 1 0 TRUE 4000 4000 4037 4000)
  (report "before" (vector->list (cadr (gimp-drawable-get-pixel layer 3999 2000))))
  (report "large" (run-ondalux RUN-NONINTERACTIVE image 5.0 0.5))
  (report "after" (vector->list (cadr (gimp-drawable-get-pixel layer 3999 2000)))))
)",
                                     600);
  ASSERT_TRUE(run.completed()) << run.log;
  EXPECT_EQ(run.value("large"), "success");
  EXPECT_NE(run.value("before"), run.value("after")) << "nothing changed";
  EXPECT_TRUE(host_complaints(run.log).empty()) << run.log;

  long peak_kib = 0;
  std::ifstream log(peak_log);
  for (long kib; log >> kib;)
    peak_kib = std::max(peak_kib, kib);
  const long budget_kib = long(side) * side * 4 / 1024 + 64 * 1024;
  EXPECT_GT(peak_kib, 0);
  EXPECT_LE(peak_kib, budget_kib) << "peak " << peak_kib / 1024 << " MiB";
  std::cout << "peak " << peak_kib / 1024 << " MiB of a " << budget_kib / 1024
            << " MiB budget, run in " << run.seconds << " s\n";
}
