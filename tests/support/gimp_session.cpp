// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
#include "gimp_session.h"

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

std::string GimpRun::value(const std::string &key) const
{
  const auto found = results.find(key);
  return found == results.end() ? "" : found->second;
}

std::vector<std::string> GimpRun::values(const std::string &key) const
{
  std::istringstream words(value(key));
  std::vector<std::string> split;
  for (std::string word; words >> word;)
    split.push_back(word);
  return split;
}

std::string fresh_work_dir(const std::string &suite)
{
  const fs::path dir = fs::path(ONDALUX_BUILD_DIR) / "test-work" / suite;
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir.string();
}

std::string prepare_profile(const std::string &dir, Host host)
{
  const fs::path profile = fs::path(dir) / "profile";
  fs::create_directories(profile);
  // GIMP warns at exit about data folders that are configured but missing.
  for (const char *folder : {"brushes", "dynamics", "gradients", "palettes", "patterns",
                             "tool-presets", "mypaint-brushes"})
    fs::create_directories(profile / folder);
  // Help goes to the web browser: no help browser plug-in is installed.
  std::ofstream(profile / "gimprc") << "(help-browser web-browser)\n";
  // A home of its own, so the command and its manual land there and not in the
  // real user's.
  const fs::path home = fs::path(dir) / "home";
  const std::string install =
      host == Host::gimp2
          ? "GIMP2_DIRECTORY='" + profile.string() +
                "' cmake --install '" ONDALUX_BUILD_DIR "'"
          : "'" ONDALUX_SOURCE_DIR "/tools/gimp3-env' env GIMP3_DIRECTORY='" +
                profile.string() + "' cmake --install '" ONDALUX_GIMP3_BUILD_DIR "'";
  const std::string command = "HOME='" + home.string() + "' XDG_DATA_HOME= " + install +
                              " > '" + (fs::path(dir) / "install.log").string() +
                              "' 2>&1";
  if (std::system(command.c_str()) != 0)
    throw std::runtime_error("install into the test profile failed: " + command);
  return profile.string();
}

std::string scheme_string(const std::string &text)
{
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\')
      quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

std::string help_opened_path(const std::string &work_dir)
{
  return (fs::path(work_dir) / "help-opened.txt").string();
}

// A desktop entry that takes over HTML pages and records what it is asked to open;
// returns the environment that makes GIO pick it.
std::string record_web_browser(const fs::path &dir)
{
  fs::create_directories(dir / "xdg-data/applications");
  fs::create_directories(dir / "xdg-config");
  std::ofstream(dir / "xdg-data/applications/recorder.desktop")
      << "[Desktop Entry]\nType=Application\nName=Recorder\nMimeType=text/html;\n"
      << "Exec=sh -c 'echo \"$1\" >> " << help_opened_path(dir.string())
      << "' recorder %u\n";
  std::ofstream(dir / "xdg-config/mimeapps.list")
      << "[Default Applications]\ntext/html=recorder.desktop\n";
  return "XDG_DATA_HOME='" + (dir / "xdg-data").string() + "' XDG_CONFIG_HOME='" +
         (dir / "xdg-config").string() + "' ";
}

GimpRun run_gimp_batch(const std::string &profile, const std::string &work_dir,
                       const std::string &program, int timeout_seconds, Host host,
                       Interface interface)
{
  const fs::path dir(work_dir);
  const fs::path program_path = dir / "program.scm";
  const fs::path results_path = dir / "results.txt";
  const fs::path log_path = dir / "gimp.log";
  std::ofstream(program_path)
      << program << "\n(report \"program-complete\")\n(close-output-port results)\n";
  fs::remove(results_path);

  // Each -b is evaluated on its own, so the whole program is one (begin ...).
  const std::string helpers =
      host == Host::gimp2 ? "ondalux_test.scm" : "ondalux_test3.scm";
  const std::string batch =
      "(begin (define results-path " + scheme_string(results_path.string()) + ") (load " +
      scheme_string(ONDALUX_TEST_SCHEME_DIR "/common.scm") + ") (load " +
      scheme_string(ONDALUX_TEST_SCHEME_DIR "/" + helpers) + ") (load " +
      scheme_string(program_path.string()) + "))";
  const bool gui = interface == Interface::gui;
  const std::string environment = gui ? record_web_browser(dir) : "";
  // GIMP 3 stays running after a failed batch command unless told to quit.
  const std::string gimp =
      host == Host::gimp2
          ? "env " + environment + "GIMP2_DIRECTORY='" + profile + "' " +
                (gui ? "gimp-2.10 -s" : "gimp-console-2.10 -i") + " -d -f -b '" + batch +
                "' -b '(gimp-quit 0)'"
          : "'" ONDALUX_SOURCE_DIR "/tools/gimp3-env' env " + environment +
                "GIMP3_DIRECTORY='" + profile + "' " +
                (gui ? "gimp-3.0 -s" : "gimp-console-3.0 -i") +
                " -n --quit --batch-interpreter=plug-in-script-fu-eval -b '" + batch +
                "'";
  const std::string command = "cd '" + work_dir + "' && timeout -k 5 " +
                              std::to_string(timeout_seconds) + " " + gimp +
                              " < /dev/null > '" + log_path.string() + "' 2>&1";

  GimpRun run;
  const auto start = std::chrono::steady_clock::now();
  const int status = std::system(command.c_str());
  run.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;

  std::stringstream log;
  log << std::ifstream(log_path).rdbuf();
  run.log = log.str();

  std::ifstream results(results_path);
  for (std::string line; std::getline(results, line);) {
    const size_t space = line.find(' ');
    run.results[line.substr(0, space)] =
        space == std::string::npos ? "" : line.substr(space + 1);
  }
  return run;
}

std::vector<std::string> host_complaints(const std::string &log)
{
  std::vector<std::string> lines;
  std::istringstream stream(log);
  for (std::string line; std::getline(stream, line);) {
    std::string lower = line;
    for (char &c : lower)
      c = char(std::tolower(static_cast<unsigned char>(c)));
    // GLib prefixes messages with "(program:pid)"; the plug-in is "ondalux" until
    // its dialog renames it "Ondalux".
    // GIMP 3 may close its end of the pipe while a plug-in that has answered is
    // still exiting; every plug-in sees that, script-fu too.
    // A headless GIMP 3 has no window for a dialog to be transient for.
    // GIMP 2.10's theme asks for GTK's pixmap engine, which Debian's GIMP does not
    // pull in.
    const bool ours =
        lower.find("(ondalux:") != std::string::npos &&
        lower.find("gimp_flush(): error: broken pipe") == std::string::npos &&
        lower.find("gimp_window_transient_on_mapped") == std::string::npos &&
        lower.find("unable to locate theme engine") == std::string::npos;
    if ((ours && (lower.find("critical") != std::string::npos ||
                  lower.find("warning") != std::string::npos)) ||
        lower.find("crashed") != std::string::npos)
      lines.push_back(line);
  }
  return lines;
}

bool decode_stored_settings(const std::vector<std::string> &bytes, double *scale,
                            double *turbulence)
{
  if (bytes.size() != 16)
    return false;
  unsigned char raw[16];
  for (int i = 0; i < 16; i++)
    raw[i] = static_cast<unsigned char>(std::stoi(bytes[i]));
  std::memcpy(scale, raw, sizeof(double));
  std::memcpy(turbulence, raw + 8, sizeof(double));
  return true;
}
