// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
#include "gimp_session.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <stdexcept>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace
{

// Names, kinds and the build folder's paths hold no quotes or backslashes.
std::string quoted(const std::string &text)
{
  return '"' + text + '"';
}

} // namespace

// The work folder's data folder is the user's: the operation is installed there, and
// a desktop entry that takes over HTML pages and records what it is asked to open. In
// German, the locale is made in the work folder, and GTK loads a module that records
// the texts of every dialog into dialog-texts.txt.
GimpRun prepare_run(const std::string &suite, Host host, bool german)
{
  // GIMP 3 lives in a Debian root, where the whole tree is built in /root/ondalux/build.
  // GIMP 3's release: trixie (GIMP 3.0) unless $ONDALUX_GIMP3_RELEASE names another.
  const char *release = std::getenv("ONDALUX_GIMP3_RELEASE");
  GimpRun run;
  run.system = host == Host::gimp2 ? "" : release ? release : "trixie";
  const fs::path work = fs::path(ONDALUX_BUILD_DIR) / "test-work" /
                        (host == Host::gimp2 ? suite : suite + "-" + run.system);
  fs::remove_all(work);
  const fs::path profile = work / "profile";
  fs::create_directories(profile);
  // No help browser plug-in is installed: help goes to the web browser. The canvas
  // shows no layer boundary over the image's edge pixels.
  std::ofstream(profile / "gimprc")
      << "(help-browser web-browser)\n(default-view (show-layer-boundary no))\n";
  run.work = work.string();
  run.profile = profile.string();
  fs::create_directories(work / "home");
  fs::create_directories(work / "xdg/applications");
  std::ofstream(work / "xdg/applications/recorder.desktop")
      << "[Desktop Entry]\nType=Application\nName=Recorder\nMimeType=text/html;\n"
      << "Exec=sh -c 'echo \"$1\" >> " << run.work << "/help-opened.txt' recorder %u\n";
  std::ofstream(work / "xdg/mimeapps.list")
      << "[Default Applications]\ntext/html=recorder.desktop\n";
  const bool gimp2 = host == Host::gimp2;
  const auto in_work = [&](const char *name) {
    return "='" + run.work + "/" + name + "' ";
  };
  run.environment = "HOME" + in_work("home") + "XDG_DATA_HOME" + in_work("xdg") +
                    "XDG_CONFIG_HOME" + in_work("xdg") + (gimp2 ? "GIMP2" : "GIMP3") +
                    "_DIRECTORY" + in_work("profile");
  std::string set_up = "cmake --install '" +
                       std::string(gimp2 ? ONDALUX_BUILD_DIR : "/root/ondalux/build") +
                       "'";
  if (german) {
    run.environment += "LOCPATH" + in_work("locale") + "LC_ALL=de_DE.UTF-8 LANGUAGE=de " +
                       "GTK_MODULES" + in_work("dialog-texts.so") +
                       "ONDALUX_DIALOG_TEXTS" + in_work("dialog-texts.txt");
    set_up += " && mkdir locale && localedef -i de_DE -f UTF-8 locale/de_DE.UTF-8 && g++ "
              "-shared -fPIC -o dialog-texts.so '" ONDALUX_SOURCE_DIR
              "/tests/support/dialog_texts.cpp' $(pkg-config --cflags --libs gtk+-" +
              std::string(gimp2 ? "2.0" : "3.0") + ")";
  }
  const std::string command = in_root(run.system, "cd '" + run.work + "' && export " +
                                                      run.environment + " && " + set_up) +
                              " > '" + run.work + "/set-up.log' 2>&1";
  if (std::system(command.c_str()) != 0)
    throw std::runtime_error("failed: " + command);
  return run;
}

void run_cases(GimpRun &run, Host host, const std::vector<HostCase> &cases,
               int timeout_seconds, bool gui)
{
  const std::string program_path = run.work + "/program.scm";
  const std::string results_path = run.work + "/results.txt";
  std::ofstream program(program_path);
  program << "(define results-path " << quoted(results_path) << ")\n(define work-dir "
          << quoted(run.work)
          << ")\n(load \"" ONDALUX_SOURCE_DIR "/tests/host/common.scm\")\n"
          << "(load \"" ONDALUX_SOURCE_DIR "/tests/host"
          << (host == Host::gimp2 ? "/gimp2" : "/gimp3") << ".scm\")\n";
  for (const HostCase &c : cases) {
    // The row's input, written for the first row that needs it.
    const std::string input = run.work + "/input-" + std::to_string(c.channels) + "-" +
                              std::to_string(c.bits) + "-" + std::to_string(c.width) +
                              "x" + std::to_string(c.height) + ".png";
    if (!fs::exists(input))
      write_png(make_test_image(c.width, c.height, c.channels, c.bits / 8), input);
    if (!c.stored.empty())
      program << "(store-settings '(" << c.stored << "))\n";
    program << "(host-case " << quoted(c.name) << " " << quoted(input) << " "
            << c.precision << " " << quoted(c.kind) << " "
            << (c.box.empty() ? "#f" : "'(" + c.box + ")") << " " << c.run_mode << " "
            << c.settings << " " << (c.expect == Expect::no_pixels ? "#f" : "#t")
            << ")\n";
  }
  program << "(report \"program-complete\")\n(close-output-port results)\n";
  program.close();

  // babl times the paths a conversion could take and keeps the fastest, so two
  // processes may round a pixel differently. Sampled rows are checked against GEGL's
  // sampler in another process: both read the paths that the reference first picks for
  // the formats a sampler converts, from the session's babl cache.
  if (std::any_of(cases.begin(), cases.end(),
                  [](const HostCase &c) { return c.run_mode == "FILTER-CUBIC"; }) &&
      std::system(in_root(run.system,
                          build_gegl_views(run.work) + " && cd '" + run.work +
                              "' && export " + run.environment +
                              " && head -c 16 /dev/zero > babl-paths.data && for format "
                              "in \"Y' u8\" \"Y'A u8\" \"R'G'B' u8\" \"R'G'B'A "
                              "u8\"; do ./gegl-views --sample \"$format\" 2 2 20 1 7 "
                              "babl-paths.data babl-paths.out || exit 1; done")
                      .c_str()) != 0)
    throw std::runtime_error("cannot seed the session's babl paths");

  // GIMP 3 stays running after a failed batch command unless told to quit.
  const std::string batch = "-b '(load " + quoted(program_path) + ")'";
  const std::string gimp =
      host == Host::gimp2
          ? (gui ? "gimp-2.10 -s" : "gimp-console-2.10 -i") + std::string(" -d -f ") +
                batch + " -b '(gimp-quit 0)'"
          : (gui ? "gimp-3 -s" : "gimp-console-3 -i") +
                std::string(" -n --quit --batch-interpreter=plug-in-script-fu-eval ") +
                batch;
  const std::string log_path = run.work + "/gimp.log";
  std::system(("cd '" + run.work + "' && timeout -k 5 " +
               std::to_string(timeout_seconds) + " " +
               in_root(run.system, "env " + run.environment + " " + gimp) +
               " < /dev/null > '" + log_path + "' 2>&1")
                  .c_str());

  run.log = read_file(log_path);
  std::ifstream results(results_path);
  for (std::string key, values; results >> key && std::getline(results, values);)
    run.results[key] = values.empty() ? "" : values.substr(1);
}

Image saved_pixels(const GimpRun &run, const HostCase &c, const std::string &stage,
                   int drawable)
{
  static const int bytes_by_hundred[] = {0, 1, 2, 4, 0, 2, 4, 8}; // of GimpPrecision
  const int channels = c.kind == "mask" || c.kind == "channel" ? 1 : c.channels;
  const int bytes = c.precision ? bytes_by_hundred[c.precision / 100] : c.bits / 8;
  Image image{c.width, c.height, channels, bytes, {}, c.precision >= 500};
  const std::string saved = read_file(run.work + "/" + c.name + "-" + stage + "-" +
                                      std::to_string(drawable) + ".data");
  image.pixels.assign(saved.begin(), saved.end());
  return image;
}

std::vector<int> expect_case(const GimpRun &run, Host host, const HostCase &c)
{
  EXPECT_EQ(run.value(c.name), c.expect == Expect::refused    ? "execution-error"
                               : c.expect == Expect::rejected ? "calling-error"
                                                              : "success")
      << c.name;
  EXPECT_NE(run.value(c.name + "-message").find(c.message), std::string::npos) << c.name;
  if (host == Host::gimp2 && c.run_mode == "RUN-NONINTERACTIVE") {
    EXPECT_EQ(run.value(c.name + "-stored"), "none") << c.name << " stored settings";
  }
  // Only an appended effect stays, through the XCF file.
  EXPECT_EQ(run.value(c.name + "-effects"),
            c.run_mode == "FILTER-APPEND" ? "ondalux:dent" : "")
      << c.name;
  if (c.expect == Expect::no_pixels)
    return {};
  double scale, turbulence;
  std::istringstream(c.renders_with.empty() ? c.settings : c.renders_with) >> scale >>
      turbulence;
  Box box = {0, 0, c.width, c.height}; // "X Y WIDTH HEIGHT", or the whole input
  std::istringstream(c.bounds.empty() ? c.box : c.bounds) >> box.x >> box.y >>
      box.width >> box.height;
  // GEGL's cubic sampler, of 8-bit pixels: the reference is sampled in the system's GEGL.
  if (c.run_mode == "FILTER-CUBIC") {
    const char *const formats[] = {"", "Y' u8", "Y'A u8", "R'G'B' u8", "R'G'B'A u8"};
    EXPECT_EQ(
        std::system(
            in_root(run.system, "cd '" + run.work + "' && export " + run.environment +
                                    " && ./gegl-views --sample \"" + formats[c.channels] +
                                    "\" " + std::to_string(c.width) + " " +
                                    std::to_string(c.height) + " " + c.settings + " 7 " +
                                    c.name + "-before-1.data cubic-reference.data")
                .c_str()),
        0);
    const std::string reference = read_file(run.work + "/cubic-reference.data");
    EXPECT_EQ(saved_pixels(run, c, "after").pixels,
              std::vector<uint8_t>(reference.begin(), reference.end()))
        << c.name;
    return {7};
  }
  // A script gives the operation pattern 7, which means what the command's --pattern 7
  // does.
  const bool pattern_7 =
      c.run_mode.starts_with("FILTER-") && c.run_mode != "FILTER-DIALOG";
  std::set<int> patterns;
  for (int drawable = 1;; drawable++) {
    const Image before = saved_pixels(run, c, "before", drawable);
    const Image after = saved_pixels(run, c, "after", drawable);
    if (drawable > 1 && before.pixels.empty())
      break;
    EXPECT_GT(before.pixels.size(), 0u) << c.name;
    if (c.expect == Expect::valid) {
      EXPECT_EQ(after.pixels.size(), before.pixels.size()) << c.name;
    } else if (c.expect != Expect::reference) {
      EXPECT_EQ(after.pixels, before.pixels) << c.name << " changed";
    }
    if (c.expect != Expect::reference)
      continue;
    EXPECT_EQ(before.pixels.size(), size_t(c.width) * c.height * before.pixel_bytes())
        << c.name;
    EXPECT_NE(after.pixels, before.pixels) << c.name << " left unchanged";
    // Every drawable of a run has the one pattern. The plug-in dents the box within the
    // drawable, the operation the box cut out as an image of its own.
    std::set<int> found;
    for (int pattern :
         matching_offsets(before, after, box, scale, turbulence,
                          c.run_mode.starts_with("FILTER-"), pattern_7 ? 7 : -1))
      if (drawable == 1 || patterns.count(pattern))
        found.insert(pattern);
    patterns = found;
  }
  if (c.expect != Expect::reference)
    return {};
  EXPECT_FALSE(patterns.empty()) << c.name << ": no pattern explains the result";
  return {patterns.begin(), patterns.end()};
}

std::vector<std::string> host_complaints(const std::string &log)
{
  // GLib prefixes messages with "(program:pid)"; the plug-in is "ondalux" until its
  // dialog renames it "Ondalux". Not ours, though under our name: GIMP 3 may close its
  // end of the pipe while an answered plug-in exits; a headless GIMP 3 has no window
  // for a dialog to be transient for; GIMP 2.10's theme asks for GTK's pixmap engine,
  // which Debian's GIMP does not pull in (in German, a Themen-Engine).
  const std::regex complaint(R"(\(ondalux:.*(critical|warning)|crashed)",
                             std::regex::icase),
      benign("broken pipe|gimp_window_transient_on_mapped|theme engine|Themen-Engine",
             std::regex::icase);
  std::vector<std::string> lines;
  std::istringstream stream(log);
  for (std::string line; std::getline(stream, line);)
    if (std::regex_search(line, complaint) && !std::regex_search(line, benign))
      lines.push_back(line);
  return lines;
}
