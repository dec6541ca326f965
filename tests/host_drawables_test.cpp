// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// The drawables users actually have: offset and small layers, partial and feathered
// selections, masks, channels, groups, locked and extreme shapes.
#include <sstream>

#include <gtest/gtest.h>

#include "support/gimp_session.h"
#include "support/reference_render.h"

namespace
{

class HostDrawables : public ::testing::Test
{
protected:
  static void SetUpTestSuite()
  {
    work = fresh_work_dir("host_drawables");
    const std::string profile = prepare_profile(work);
    write_png(make_test_image(90, 64, 3), path("rgb"));
    write_png(make_test_image(90, 64, 4), path("rgba"));
    write_png(make_test_image(1, 1, 3), path("one"));
    write_png(make_test_image(30000, 2, 3), path("wide"));
    write_png(make_test_image(2, 30000, 1), path("tall"));

    std::ostringstream program;
    program << "(define rgb " << scheme_string(path("rgb")) << ")\n"
            << "(define rgba " << scheme_string(path("rgba")) << ")\n"
            << "(define (out name) (string-append " << scheme_string(work + "/")
            << " name \".png\"))\n";
    program << R"(
; Saves any drawable (layer, mask or channel) as it stands.
(define (save-drawable image drawable name)
  (file-png-save2 RUN-NONINTERACTIVE image drawable (out name) (out name)
                  0 9 0 0 0 0 0 0 1))
(define (run-on name image drawable scale turbulence)
  (save-drawable image drawable (string-append name "-before"))
  (report name (status-of (lambda () (plug-in-ondalux RUN-NONINTERACTIVE image drawable
                                                      scale turbulence))))
  (save-drawable image drawable name))
(define (layer-in-larger-image)
  (let* ((image (car (gimp-image-new 160 120 RGB)))
         (layer (car (gimp-file-load-layer RUN-NONINTERACTIVE image rgb))))
    (gimp-image-insert-layer image layer 0 0)
    (gimp-layer-set-offsets layer 40 30)
    image))

(let ((image (layer-in-larger-image)))
  (run-on "offset-layer" image (layer-of image) 20.0 1.0))
(let ((image (layer-in-larger-image)))
  (gimp-image-select-rectangle image CHANNEL-OP-REPLACE 70 50 80 60)
  (run-on "partly-outside" image (layer-of image) 20.0 1.0))
(let* ((image (fresh-copy rgb)) (layer (layer-of image)))
  (gimp-context-set-feather TRUE)
  (gimp-context-set-feather-radius 8 8)
  (gimp-image-select-ellipse image CHANNEL-OP-REPLACE 10 8 60 44)
  (gimp-context-set-feather FALSE)
  (save-drawable image (car (gimp-selection-save image)) "feathered-mask")
  (run-on "feathered" image layer 30.0 1.0))
(let* ((image (fresh-copy rgb)) (layer (layer-of image))
       (mask (car (gimp-layer-create-mask layer ADD-MASK-COPY))))
  (gimp-layer-add-mask layer mask)
  (run-on "layer-mask" image mask 20.0 1.0))
(let* ((image (fresh-copy rgb)))
  (gimp-context-set-feather TRUE)
  (gimp-context-set-feather-radius 8 8)
  (gimp-image-select-ellipse image CHANNEL-OP-REPLACE 10 8 60 44)
  (gimp-context-set-feather FALSE)
  (let ((channel (car (gimp-selection-save image))))
    (gimp-selection-none image)
    (run-on "channel" image channel 20.0 1.0)))
(let* ((image (car (gimp-image-new 90 64 RGB)))
       (group (car (gimp-layer-group-new image)))
       (layer (car (gimp-file-load-layer RUN-NONINTERACTIVE image rgb))))
  (gimp-image-insert-layer image group 0 0)
  (gimp-image-insert-layer image layer group 0)
  (save-drawable image layer "group-child-before")
  (report "group" (status-of (lambda () (plug-in-ondalux RUN-NONINTERACTIVE image group
                                                         20.0 1.0))))
  (save-drawable image layer "group-child"))
(let* ((image (fresh-copy rgb)) (layer (layer-of image)))
  (gimp-item-set-lock-content layer TRUE)
  (run-on "locked" image layer 20.0 1.0))
)";
    program << "(let ((image (fresh-copy " << scheme_string(path("one")) << ")))"
            << "  (run-on \"one-pixel\" image (layer-of image) 5.0 0.5))\n"
            << "(let ((image (fresh-copy rgba)))"
            << "  (select-box image '(0 0 1 64))"
            << "  (run-on \"column-at-origin\" image (layer-of image) 50.0 1.0))\n"
            << "(let ((image (fresh-copy rgba)))"
            << "  (select-box image '(0 0 90 1))"
            << "  (run-on \"row-at-origin\" image (layer-of image) 50.0 1.0))\n"
            << "(let ((image (fresh-copy " << scheme_string(path("wide")) << ")))"
            << "  (run-on \"wide\" image (layer-of image) 50.0 1.0))\n"
            << "(let ((image (fresh-copy " << scheme_string(path("tall")) << ")))"
            << "  (run-on \"tall\" image (layer-of image) 50.0 1.0))\n";
    run = run_gimp_batch(profile, work, program.str(), 300);
  }

  static std::string path(const std::string &name) { return work + "/" + name + ".png"; }

  // The run succeeded and wrote the reference render over bounds (the whole drawable
  // when bounds is empty) for some noise offset.
  static void expect_reference(const std::string &name, Box bounds, double scale,
                               double turbulence)
  {
    EXPECT_EQ(run.value(name), "success") << name;
    const Image before = read_png(path(name + "-before"));
    if (bounds.width == 0)
      bounds = {0, 0, before.width, before.height};
    EXPECT_FALSE(
        matching_offsets(before, read_png(path(name)), bounds, scale, turbulence).empty())
        << name;
  }

  // The run named failed and the drawable saved as drawable is as it was.
  static void expect_failed_unchanged(const std::string &name,
                                      const std::string &drawable)
  {
    EXPECT_EQ(run.value(name), "execution-error") << name;
    EXPECT_EQ(
        differing_bytes(read_png(path(drawable + "-before")), read_png(path(drawable))),
        0u)
        << name;
  }

  static std::string work;
  static GimpRun run;
};

std::string HostDrawables::work;
GimpRun HostDrawables::run;

TEST_F(HostDrawables, RunsToTheEndWithoutCrashOrComplaint)
{
  ASSERT_TRUE(run.completed()) << run.log;
  EXPECT_TRUE(host_complaints(run.log).empty()) << run.log;
}

TEST_F(HostDrawables, LayerOffsetsAndSelectionsWorkInLayerCoordinates)
{
  expect_reference("offset-layer", {}, 20.0, 1.0);
  // Selection (70, 50, 80, 60) on a layer at (40, 30) of 90 x 64.
  expect_reference("partly-outside", {30, 20, 60, 44}, 20.0, 1.0);
}

TEST_F(HostDrawables, FeatheredSelectionBlendsTheBoundingBoxThroughTheMask)
{
  EXPECT_EQ(run.value("feathered"), "success");
  const Image mask = read_png(path("feathered-mask"));
  const Image before = read_png(path("feathered-before"));
  const Image after = read_png(path("feathered"));
  Box bounds = {mask.width, mask.height, 0, 0};
  int x2 = 0, y2 = 0;
  for (int y = 0; y < mask.height; y++)
    for (int x = 0; x < mask.width; x++)
      if (*mask.at(x, y)) {
        bounds.x = std::min(bounds.x, x);
        bounds.y = std::min(bounds.y, y);
        x2 = std::max(x2, x + 1);
        y2 = std::max(y2, y + 1);
      }
  bounds.width = x2 - bounds.x;
  bounds.height = y2 - bounds.y;

  bool found = false;
  for (int offset = 0; offset < 256 && !found; offset++) {
    const Image full = reference_render(before, bounds, 30.0, 1.0, offset);
    bool consistent = true;
    for (int y = 0; y < mask.height && consistent; y++)
      for (int x = 0; x < mask.width && consistent; x++)
        for (int c = 0; c < 3 && consistent; c++) {
          const int m = *mask.at(x, y), o = after.at(x, y)[c];
          const int b = before.at(x, y)[c], r = full.at(x, y)[c];
          if (m == 0)
            consistent = o == b;
          else if (m == 255)
            consistent = o == r;
          else
            consistent = o >= std::min(b, r) - 1 && o <= std::max(b, r) + 1;
        }
    found = consistent;
  }
  EXPECT_TRUE(found) << "no noise offset explains the feathered result";
}

TEST_F(HostDrawables, MasksAndChannelsAreDistortedLikeGreyLayers)
{
  expect_reference("layer-mask", {}, 20.0, 1.0);
  expect_reference("channel", {}, 20.0, 1.0);
}

TEST_F(HostDrawables, GroupsAndLockedLayersFailAndStayUnchanged)
{
  expect_failed_unchanged("group", "group-child");
  expect_failed_unchanged("locked", "locked");
}

TEST_F(HostDrawables, ExtremeShapes)
{
  expect_reference("one-pixel", {}, 5.0, 0.5);
  expect_reference("column-at-origin", {0, 0, 1, 64}, 50.0, 1.0);
  expect_reference("row-at-origin", {0, 0, 90, 1}, 50.0, 1.0);
  expect_reference("wide", {}, 50.0, 1.0);
  expect_reference("tall", {}, 50.0, 1.0);
}

} // namespace
