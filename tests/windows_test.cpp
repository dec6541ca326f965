// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// Ondalux for Windows as the release zip holds it, under Wine beside the Linux build:
// the engine's raw numbers, the operation's views in Windows builds of GEGL 0.4.42 and
// 0.4.72 against the Linux operation's in the same GEGLs, the command, and install.cmd.
#include <filesystem>

#include <pwd.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/gegl_cases.h"
#include "support/image.h"

namespace fs = std::filesystem;

namespace
{

const std::string work = ONDALUX_BUILD_DIR "/test-work/windows";
// Where tools/make-release --windows built the zip's binaries, and the test programs.
const std::string built = ONDALUX_BUILD_DIR "/release-windows-work/build";

// Runs a shell command in the work folder, where wine runs Windows programs in a Wine
// prefix of its own, finding DLLs in the bin folders of the Windows prefixes given.
Outcome run(const std::string &command, const std::vector<std::string> &prefixes = {})
{
  std::string path;
  for (const std::string &prefix : prefixes)
    path += (path.empty() ? "" : ";") + prefix + "/bin";
  return run_in(work, "export WINEPREFIX='" + work +
                          "/wine' WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' "
                          "LC_ALL=C.UTF-8" +
                          (path.empty() ? "" : " WINEPATH='" + path + "'") + " && " +
                          command);
}

// The Windows prefix of a GEGL that tools/windows-prefix built, and the one it lies over.
std::vector<std::string> windows_gegl(const std::string &gegl)
{
  const std::string made =
      run("'" ONDALUX_SOURCE_DIR "/tools/windows-prefix' " + gegl).out;
  const fs::path prefix = made.substr(0, made.find('\n'));
  return {prefix.string(), (prefix.parent_path() / "gegl-0.4.42").string()};
}

// The rows under area of a layer's pixels of pixel_bytes each.
std::string part_of(const std::string &layer, const GeglArea &area, size_t pixel_bytes)
{
  if (layer.size() != size_t(gegl_layer_width) * gegl_layer_height * pixel_bytes)
    return {};
  std::string part;
  for (int y = area.y; y < area.y + area.height; y++)
    part += layer.substr((size_t(y) * gegl_layer_width + size_t(area.x)) * pixel_bytes,
                         size_t(area.width) * pixel_bytes);
  return part;
}

struct Windows : ::testing::Test {
  static void SetUpTestSuite()
  {
    fs::remove_all(work);
    fs::create_directories(work);
    ASSERT_EQ(run("unzip -q '" ONDALUX_BUILD_DIR "'/release-windows/*.zip && mv "
                  "ondalux-*-windows-x86_64 zip")
                  .exit_status,
              0);
  }
};

// Noise and displaced positions from the scalar engine and each vector kernel.
TEST_F(Windows, EngineGivesTheBitsItGivesOnLinux)
{
  const Outcome windows = run("wine '" + built + "/engine_numbers.exe'");
  ASSERT_EQ(windows.exit_status, 0) << windows.err;
  EXPECT_EQ(windows.out, run("'" ONDALUX_BUILD_DIR "/engine_numbers'").out);
}

// The table of gegl_cases.h as the Linux operation rendered it in Debian 12 (GEGL
// 0.4.42) and testing (0.4.72): what each effect hands the operation, and each view,
// byte for byte; a view through a sampler equals the sampled reference.
TEST_F(Windows, OperationRendersAsOnLinux)
{
  for (const auto &[release, gegl] :
       {std::pair("bookworm", "gegl-0.4.42"), std::pair("forky", "gegl-0.4.72")}) {
    const std::string on_linux =
        ONDALUX_BUILD_DIR "/test-work/gegl-" + std::string(release) + "/";
    const Outcome rendered =
        run("mkdir " + std::string(gegl) + " && cd " + gegl + " && wine '" + built +
                "/gegl_views.exe' '" + work + "/zip/gegl-0.4/plug-ins'",
            windows_gegl(gegl));
    ASSERT_EQ(rendered.exit_status, 0) << gegl << rendered.err;
    for (const GeglCase &c : gegl_cases) {
      const std::string name = work + "/" + gegl + "/" + c.name;
      const std::string source = read_file(name + "-source.data"),
                        view = read_file(name + "-view.data");
      EXPECT_TRUE(!source.empty() &&
                  source == read_file(on_linux + c.name + "-source.data"))
          << gegl << c.name;
      // A sampler interpolates in float, converted by babl, whose versions round
      // differently: the view is the reference sampled in the same GEGL.
      const size_t pixel_bytes = source.size() / gegl_layer_width / gegl_layer_height;
      const std::string expected =
          std::string(c.sampler) != "nearest" && c.zoom == 1
              ? part_of(read_file(name + "-reference.data"), c.view, pixel_bytes)
              : read_file(on_linux + c.name + "-view.data");
      EXPECT_TRUE(!view.empty() && view == expected) << gegl << c.name;
    }
  }
}

// PNG and GIF to the Linux command's pixels and JPEG within 50 dB of them, names in any
// script, an output replaced, and bad files refused with the Linux command's line.
TEST_F(Windows, CommandDentsAsOnLinux)
{
  write_png(make_test_image(90, 64, 4, 2), work + "/in.png");
  fs::copy_file(work + "/in.png", work + "/Straße ünï 名.png");
  for (const std::string name : {"anim.gif", "meta.jpg", "truncated.png", "hostile.png"})
    fs::copy_file(ONDALUX_SOURCE_DIR "/tests/data/" + name, work + "/" + name);
  const struct {
    std::string input, arguments, output;
  } dents[] = {{"in.png", "-s 20 -t 1 -p 5", "out.png"},
               {"Straße ünï 名.png", "-p 77 --region 10,5,60,40", "Ünï 名 dented.png"},
               {"anim.gif", "-p 9", "out.gif"},
               {"meta.jpg", "-p 3 -s 30", "out.jpg"},
               {"in.png", "-p 6", "out.png"}};
  for (const auto &d : dents) {
    const std::string arguments = " -q " + d.arguments + " -o '";
    const Outcome windows = run("wine zip/bin/ondalux.exe" + arguments + "windows-" +
                                d.output + "' '" + d.input + "'");
    ASSERT_EQ(windows.exit_status, 0) << d.arguments << windows.err;
    ASSERT_EQ(run("'" ONDALUX_BUILD_DIR "/ondalux'" + arguments + "linux-" + d.output +
                  "' '" + d.input + "'")
                  .exit_status,
              0);
    const std::vector<Image> on_windows = read_images(work + "/windows-" + d.output),
                             on_linux = read_images(work + "/linux-" + d.output);
    if (d.output.ends_with(".jpg"))
      EXPECT_GT(psnr(on_windows.at(0), on_linux.at(0)), 50) << d.output;
    else
      EXPECT_TRUE(on_windows == on_linux) << d.arguments;
  }
  for (const std::string arguments :
       {"truncated.png", "hostile.png", "--memory-limit 1M in.png", "-s 150 in.png"}) {
    const Outcome windows = run("wine zip/bin/ondalux.exe " + arguments),
                  on_linux = run("'" ONDALUX_BUILD_DIR "/ondalux' " + arguments);
    EXPECT_EQ(windows.exit_status, on_linux.exit_status) << arguments;
    EXPECT_EQ(windows.err, on_linux.err) << arguments;
  }
}

// install.cmd puts the operation where GEGL finds it without being told, with its
// German title, and the command into its folder; /uninstall takes away all it added.
TEST_F(Windows, InstallsForTheUserAndUninstalls)
{
  const std::vector<std::string> gegl = windows_gegl("gegl-0.4.42");
  const std::string local =
      work + "/wine/drive_c/users/" + getpwuid(getuid())->pw_name + "/AppData/Local";
  const Outcome before = run("wine '" + built + "/gegl_views.exe' --title", gegl);
  EXPECT_EQ(before.out, "(not found)\n");
  const std::set<std::string> left = paths_under(local, true);
  const Outcome installed = run("cd zip && wine cmd /c install.cmd");
  ASSERT_EQ(installed.exit_status, 0) << installed.out << installed.err;
  EXPECT_NE(installed.out.find("Ondalux installed: "), std::string::npos)
      << installed.out;
  EXPECT_TRUE(fs::exists(local + "/Programs/Ondalux/ondalux.exe"));
  const Outcome title =
      run("LANGUAGE=de wine '" + built + "/gegl_views.exe' --title", gegl);
  EXPECT_EQ(title.out, german("Ondalux Live") + "\n") << title.err;
  const Outcome removed = run("cd zip && wine cmd /c install.cmd /uninstall");
  EXPECT_EQ(removed.exit_status, 0) << removed.out;
  EXPECT_EQ(paths_under(local, true), left);
}

} // namespace
