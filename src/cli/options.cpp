// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
#include "options.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>

#include <getopt.h>

namespace fs = std::filesystem;

namespace
{

const char usage_text[] = R"(Usage: ondalux [OPTION]... INPUT...
Dent each INPUT image with the Ondalux filter, as GIMP's Filters > Distorts >
Ondalux does, keeping its channels, channel type and metadata.

  -s, --scale S          feature size, per cent of the region's smaller side
                         (0 to 100, default 5.0)
  -t, --turbulence T     displacement strength (0 to 1, default 0.5)
  -p, --pattern N        noise pattern 0 to 255 (default: drawn per file and printed)
  -r, --region X,Y,W,H   dent only this rectangle (default: the whole image)
  -d, --output-dir DIR   write each result into DIR under its input's name
  -o, --output OUT       write the result to OUT (one INPUT only)
  -f, --format EXT       write format EXT (png, tif, exr, ...) instead of the input's
      --quality Q        write JPEG results at quality Q, 1 to 100 (default: the
                         input's, as its quantisation tables show, else 90)
      --memory-limit M   hold at most M bytes of images at once (K, M, G suffixes;
                         default: half the physical memory)
      --in-place         allow results to replace their inputs
      --force            allow any finite Scale and Turbulence
  -q, --quiet            print only failures
  -h, --help             show this help and exit
  -V, --version          show the version and exit

Without -d or -o, each result is written beside its input as NAME-ondalux.EXT.
Every page and frame of a file is dented with the one pattern. Every result is
written under a temporary name and renamed when complete. The same pattern,
settings and region always give the same result.

Big files stream: a PNG, JPEG, or single-image TIFF or OpenEXR file is read,
dented and written at once, a band of rows at a time, holding only the rows that
the offsets reach (some 150 above and below at the defaults on a 6000-row image),
so it takes far less memory than the image.

Exit status: 0 when every file was written, 1 when any file failed, 2 for a usage
error (nothing is processed).
)";

[[noreturn]] void fail_usage(const std::string &message)
{
  std::fprintf(stderr, "ondalux: %s\nTry 'ondalux --help' for more information.\n",
               message.c_str());
  std::exit(2);
}

double parse_setting(const SettingSpec &setting, const char *text, bool force)
{
  char *end = nullptr;
  errno = 0;
  const double value = std::strtod(text, &end);
  if (end == text || *end != '\0' || !std::isfinite(value) || errno == ERANGE)
    fail_usage(std::string(setting.arg_blurb) + " must be a finite number, not '" + text +
               "'");
  if (!force && (value < setting.lower || value > setting.upper)) {
    char range[64];
    std::snprintf(range, sizeof range, "between %g and %g", setting.lower, setting.upper);
    fail_usage(std::string(setting.arg_blurb) + " must be " + range + ", not " + text +
               " (--force allows any finite value)");
  }
  return value;
}

// Bytes, from a number with an optional K, M, G or T (powers of 1024).
double parse_size(const char *text)
{
  char *end = nullptr;
  double size = std::strtod(text, &end);
  const std::string units = "KMGT";
  const size_t unit =
      end && *end ? units.find(char(std::toupper(*end))) : std::string::npos;
  if (unit != std::string::npos && end[1] == '\0')
    size *= std::pow(1024.0, double(unit + 1));
  else if (end == text || *end != '\0')
    size = -1;
  if (!(size >= 1 && std::isfinite(size)))
    fail_usage(std::string("the memory limit must be a size such as 800M or 4G, not '") +
               text + "'");
  return size;
}

// Where the result of input goes, by the options.
std::string output_path(const Options &options, const fs::path &input)
{
  if (!options.output.empty())
    return options.output;
  const std::string extension =
      options.format.empty() ? input.extension().u8string() : "." + options.format;
  if (!options.output_dir.empty())
    return (fs::u8path(options.output_dir) / input.stem()).u8string() + extension;
  return (input.parent_path() / input.stem()).u8string() + "-ondalux" + extension;
}

} // namespace

Options parse_options(int argc, char **argv)
{
  enum { in_place_option = 1000, force_option, quality_option, memory_limit_option };
  static const option long_options[] = {
      {"scale", required_argument, nullptr, 's'},
      {"turbulence", required_argument, nullptr, 't'},
      {"pattern", required_argument, nullptr, 'p'},
      {"region", required_argument, nullptr, 'r'},
      {"output-dir", required_argument, nullptr, 'd'},
      {"output", required_argument, nullptr, 'o'},
      {"format", required_argument, nullptr, 'f'},
      {"quality", required_argument, nullptr, quality_option},
      {"memory-limit", required_argument, nullptr, memory_limit_option},
      {"in-place", no_argument, nullptr, in_place_option},
      {"force", no_argument, nullptr, force_option},
      {"quiet", no_argument, nullptr, 'q'},
      {"help", no_argument, nullptr, 'h'},
      {"version", no_argument, nullptr, 'V'},
      {nullptr, 0, nullptr, 0}};
  Options options;
  const char *scale = nullptr, *turbulence = nullptr;
  opterr = 0;
  for (int c; (c = getopt_long(argc, argv, ":s:t:p:r:d:o:f:qhV", long_options,
                               nullptr)) != -1;) {
    switch (c) {
    case 's':
      scale = optarg;
      break;
    case 't':
      turbulence = optarg;
      break;
    case 'p': {
      char *end = nullptr;
      const long pattern = std::strtol(optarg, &end, 10);
      if (end == optarg || *end != '\0' || pattern < 0 || pattern >= long(pattern_count))
        fail_usage(
            std::string("the pattern must be a whole number from 0 to 255, not '") +
            optarg + "'");
      options.pattern = int(pattern);
      break;
    }
    case 'r': {
      Region &r = options.region;
      char tail = 0;
      if (std::sscanf(optarg, "%d,%d,%d,%d%c", &r.x, &r.y, &r.width, &r.height, &tail) !=
              4 ||
          r.x < 0 || r.y < 0 || r.width < 1 || r.height < 1)
        fail_usage(std::string("the region must be X,Y,WIDTH,HEIGHT with X and Y of at "
                               "least 0 and a size of at least 1, not '") +
                   optarg + "'");
      options.has_region = true;
      break;
    }
    case 'd':
      options.output_dir = optarg;
      break;
    case 'o':
      options.output = optarg;
      break;
    case 'f':
      options.format = optarg[0] == '.' ? optarg + 1 : optarg;
      break;
    case quality_option: {
      char *end = nullptr;
      const long quality = std::strtol(optarg, &end, 10);
      if (end == optarg || *end != '\0' || quality < 1 || quality > 100)
        fail_usage(
            std::string("the quality must be a whole number from 1 to 100, not '") +
            optarg + "'");
      options.quality = int(quality);
      break;
    }
    case memory_limit_option:
      options.memory_limit = parse_size(optarg);
      break;
    case in_place_option:
      options.in_place = true;
      break;
    case force_option:
      options.force = true;
      break;
    case 'q':
      options.quiet = true;
      break;
    case 'h':
      std::fputs(usage_text, stdout);
      std::exit(0);
    case 'V':
      std::puts("ondalux " ONDALUX_VERSION);
      std::exit(0);
    case ':':
      fail_usage(std::string("option '") + argv[optind - 1] + "' needs a value");
    default:
      fail_usage(std::string("unknown option '") + argv[optind - 1] + "'");
    }
  }
  // Checked after all options are read, so that --force may come last.
  if (scale)
    options.settings.scale = parse_setting(scale_setting, scale, options.force);
  if (turbulence)
    options.settings.turbulence =
        parse_setting(turbulence_setting, turbulence, options.force);
  for (int i = optind; i < argc; i++)
    options.inputs.push_back(argv[i]);
  if (options.inputs.empty())
    fail_usage("no input files");
  if (!options.output.empty() && !options.output_dir.empty())
    fail_usage("use either --output or --output-dir");
  if (!options.output.empty() && options.inputs.size() != 1)
    fail_usage("--output takes one input only");
  std::error_code error;
  const fs::path output_dir = fs::u8path(options.output_dir);
  if (!options.output_dir.empty() && !fs::is_directory(output_dir) &&
      !fs::create_directories(output_dir, error))
    fail_usage("cannot create the output folder '" + options.output_dir +
               "': " + error.message());
  return options;
}

void report_failure(const std::string &input, const std::string &reason)
{
  std::fprintf(stderr, "ondalux: %s: %s\n", input.c_str(), reason.c_str());
}

// Checks every input before any is read; returns the jobs that may run and counts
// the rest as failed.
std::vector<Job> plan_jobs(const Options &options, int *failed)
{
  std::vector<Job> jobs;
  std::map<fs::path, std::string> claimed;
  for (const std::string &name : options.inputs) {
    const fs::path input = fs::u8path(name);
    std::error_code error;
    if (!fs::exists(input, error)) {
      report_failure(name, "no such file");
      ++*failed;
      continue;
    }
    if (!fs::is_regular_file(input, error)) {
      report_failure(name, "not a regular file");
      ++*failed;
      continue;
    }
    const std::string output = output_path(options, input);
    const fs::path target = fs::weakly_canonical(fs::absolute(fs::u8path(output)), error);
    if (target == fs::weakly_canonical(fs::absolute(input), error) && !options.in_place) {
      report_failure(name, "the result would overwrite the input (use --in-place to "
                           "allow it)");
      ++*failed;
      continue;
    }
    if (claimed.count(target)) {
      report_failure(name, "the result would overwrite the result of " + claimed[target]);
      ++*failed;
      continue;
    }
    if (!fs::is_directory(target.parent_path(), error)) {
      report_failure(name, "no folder for the result " + output);
      ++*failed;
      continue;
    }
    claimed[target] = name;
    jobs.push_back({name, output});
  }
  return jobs;
}

std::string clip_region(const Options &options, const PixelImage &image, Region *region)
{
  *region = {0, 0, image.width, image.height};
  if (!options.has_region)
    return "";
  *region = options.region;
  if (region->x >= image.width || region->y >= image.height)
    return "the region lies outside the " + std::to_string(image.width) + "x" +
           std::to_string(image.height) + " image";
  region->width = std::min(region->width, image.width - region->x);
  region->height = std::min(region->height, image.height - region->y);
  return "";
}
