// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// Registration, run modes, statuses and stored settings, as a real GIMP sees them.
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>

#include <gtest/gtest.h>

#include "support/gimp_session.h"
#include "support/reference_render.h"

namespace
{

constexpr int width = 90, height = 64;
const Box whole_layer = {0, 0, width, height};
const double inf = std::numeric_limits<double>::infinity();
const double nan = std::numeric_limits<double>::quiet_NaN();

struct StoredCase {
  std::string name;
  double scale, turbulence;
};

// Settings only a script writing the data store directly can leave behind.
const StoredCase stored_cases[] = {
    {"stored-inf-scale", inf, 0.5},       {"stored-nan-turbulence", 5.0, nan},
    {"stored-nan-scale", nan, inf},       {"stored-huge-scale", 1e300, -inf},
    {"stored-negative-inf", -inf, 1e300},
};

std::string settings_bytes(double scale, double turbulence)
{
  unsigned char raw[16];
  std::memcpy(raw, &scale, 8);
  std::memcpy(raw + 8, &turbulence, 8);
  std::ostringstream list;
  list << "'(";
  for (unsigned char byte : raw)
    list << int(byte) << " ";
  list << ")";
  return list.str();
}

class HostRunModes : public ::testing::Test
{
protected:
  static void SetUpTestSuite()
  {
    work = fresh_work_dir("host_run_modes");
    profile = prepare_profile(work);
    write_png(make_test_image(width, height, 3), path("input"));
    const std::string input = scheme_string(path("input"));
    std::ostringstream program;
    program << R"(
(let ((info (gimp-procedural-db-proc-info "plug-in-ondalux")))
  (report-written "proc-info" info)
  (let loop ((i 0))
    (if (< i (list-ref info 6))
        (begin
          (report-written (string-append "arg-" (number->string i))
                          (gimp-procedural-db-proc-arg "plug-in-ondalux" i))
          (loop (+ i 1))))))
(let ((query (gimp-plugins-query "ondalux")))
  (report-written "menu-path" (car (list-ref query 1)))
  (report-written "image-types" (car (list-ref query 7))))
(report-stored "stored-at-start")
)";
    program << "(render-case \"last-values-fresh\" " << input
            << " #f RUN-WITH-LAST-VALS 0 0 " << scheme_string(path("last-values-fresh"))
            << ")\n"
            << "(report-stored \"stored-after-last-values\")\n"
            << "(render-case \"non-interactive\" " << input
            << " #f RUN-NONINTERACTIVE 20.0 1.0 "
            << scheme_string(path("non-interactive")) << ")\n"
            << "(report-stored \"stored-after-non-interactive\")\n";
    // An indexed copy, kept for comparison, then converted back to RGB to be saved.
    program << "(let* ((image (fresh-copy " << input << ")))"
            << R"(
  (gimp-image-convert-indexed image CONVERT-DITHER-NONE CONVERT-PALETTE-GENERATE 32
                              FALSE FALSE "")
  (let ((before (car (gimp-image-duplicate image))))
    (report "indexed" (run-ondalux RUN-NONINTERACTIVE image 20.0 1.0))
    (gimp-image-convert-rgb image)
    (gimp-image-convert-rgb before))"
            << "    (save-layer image " << scheme_string(path("indexed-after")) << ")"
            << "    (save-layer before " << scheme_string(path("indexed-before"))
            << ")))\n"
            << "(report-stored \"stored-after-indexed\")\n";
    // The canvas grows, the layer stays at the origin and the selection misses it.
    program << "(let ((image (fresh-copy " << input << ")))"
            << R"(
  (gimp-image-resize image 300 200 0 0)
  (select-box image '(200 120 40 30))
  (report "selection-misses" (run-ondalux RUN-NONINTERACTIVE image 20.0 1.0)))"
            << "  (save-layer image " << scheme_string(path("selection-misses"))
            << "))\n";
    program << "(store-settings-bytes (vector->list (make-vector 64 7)))\n"
            << "(render-case \"stored-too-long\" " << input
            << " #f RUN-WITH-LAST-VALS 0 0 " << scheme_string(path("stored-too-long"))
            << ")\n"
            << "(store-settings-bytes '(0 0 0 0 0 0 20 64))\n"
            << "(render-case \"stored-too-short\" " << input
            << " #f RUN-WITH-LAST-VALS 0 0 " << scheme_string(path("stored-too-short"))
            << ")\n";
    for (const StoredCase &c : stored_cases)
      program << "(store-settings-bytes " << settings_bytes(c.scale, c.turbulence)
              << ")\n"
              << "(render-case " << scheme_string(c.name) << " " << input
              << " #f RUN-WITH-LAST-VALS 0 0 " << scheme_string(path(c.name)) << ")\n";
    run = new GimpRun(run_gimp_batch(profile, work, program.str(), 300));
  }
  static void TearDownTestSuite() { delete run; }

  static std::string path(const std::string &name) { return work + "/" + name + ".png"; }

  static std::string work, profile;
  static GimpRun *run;
};

std::string HostRunModes::work, HostRunModes::profile;
GimpRun *HostRunModes::run = nullptr;

TEST_F(HostRunModes, RegistersTheProcedureAndItsArguments)
{
  ASSERT_TRUE(run->completed()) << run->log;
  EXPECT_EQ(run->value("proc-info"), R"(("Ondalux" "Dent image" "Ondalux developers" )"
                                     R"("Ondalux developers" "January 2015, 1.0" 1 5 0))")
      << run->log;
  EXPECT_EQ(
      run->value("arg-0"),
      R"((0 "run-mode" "The run mode { RUN-INTERACTIVE (0), RUN-NONINTERACTIVE (1) }"))");
  EXPECT_EQ(run->value("arg-1"), R"((13 "image" "Input image"))");
  EXPECT_EQ(run->value("arg-2"), R"((16 "drawable" "Input drawable"))");
  EXPECT_EQ(run->value("arg-3"), R"((3 "scale" "Scale"))");
  EXPECT_EQ(run->value("arg-4"), R"((3 "disturbance" "Turbulence"))");
  EXPECT_EQ(run->value("arg-5"), "");
  EXPECT_EQ(run->value("menu-path"), R"("<Image>/Filters/Distorts/Ondalux...")");
  EXPECT_EQ(run->value("image-types"), R"("RGB*, GRAY*")");

  std::stringstream pluginrc;
  pluginrc << std::ifstream(profile + "/pluginrc").rdbuf();
  EXPECT_NE(pluginrc.str().find("\"_Ondalux...\""), std::string::npos);
  EXPECT_NE(pluginrc.str().find("(menu-path \"<Image>/Filters/Distorts\")"),
            std::string::npos);
  EXPECT_NE(pluginrc.str().find("plug-ins/ondalux/ondalux"), std::string::npos);
}

TEST_F(HostRunModes, OnlyInteractiveRunsStoreSettings)
{
  for (const char *key : {"stored-at-start", "stored-after-last-values",
                          "stored-after-non-interactive", "stored-after-indexed"})
    EXPECT_EQ(run->value(key), "none") << key;
}

TEST_F(HostRunModes, LastValuesWithNothingStoredUsesTheDefaults)
{
  EXPECT_EQ(run->value("last-values-fresh"), "success");
  const Image source = read_png(path("input"));
  EXPECT_FALSE(
      matching_offsets(source, read_png(path("last-values-fresh")), whole_layer, 5.0, 0.5)
          .empty());
  EXPECT_EQ(run->value("non-interactive"), "success");
  EXPECT_FALSE(
      matching_offsets(source, read_png(path("non-interactive")), whole_layer, 20.0, 1.0)
          .empty());
}

TEST_F(HostRunModes, IndexedImageIsAnExecutionErrorAndStaysUnchanged)
{
  EXPECT_EQ(run->value("indexed"), "execution-error") << run->log;
  EXPECT_EQ(
      differing_bytes(read_png(path("indexed-before")), read_png(path("indexed-after"))),
      0u);
}

TEST_F(HostRunModes, SelectionMissingTheLayerSucceedsWithoutChange)
{
  EXPECT_EQ(run->value("selection-misses"), "success");
  EXPECT_EQ(differing_bytes(read_png(path("input")), read_png(path("selection-misses"))),
            0u);
}

TEST_F(HostRunModes, StoredSettingsOfTheWrongSizeAreIgnored)
{
  const Image source = read_png(path("input"));
  for (const char *name : {"stored-too-long", "stored-too-short"}) {
    EXPECT_EQ(run->value(name), "success") << name;
    EXPECT_FALSE(
        matching_offsets(source, read_png(path(name)), whole_layer, 5.0, 0.5).empty())
        << name << " did not render with the defaults";
  }
}

TEST_F(HostRunModes, NonFiniteStoredSettingsRenderAValidImage)
{
  const Image source = read_png(path("input"));
  for (const StoredCase &c : stored_cases) {
    EXPECT_EQ(run->value(c.name), "success") << c.name;
    const Image rendered = read_png(path(c.name));
    EXPECT_EQ(rendered.width, width);
    EXPECT_EQ(rendered.height, height);
    // Without a positive scale nothing is displaced.
    if (!(c.scale > 0)) {
      EXPECT_EQ(differing_bytes(source, rendered), 0u) << c.name;
    }
  }
  EXPECT_TRUE(host_complaints(run->log).empty()) << run->log;
}

} // namespace
