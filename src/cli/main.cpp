// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// ondalux: the Ondalux filter on image files, without GIMP.
#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <getopt.h>
#include <unistd.h>

#include "image_file.h"
#include "image_render.h"
#include "settings.h"

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

Exit status: 0 when every file was written, 1 when any file failed, 2 for a usage
error (nothing is processed).
)";

struct Options {
  DistortVals settings = default_vals;
  int pattern = -1; // drawn per file
  bool has_region = false;
  Region region = {};
  std::string output, output_dir, format;
  int quality = 0; // 0: the input's
  double memory_limit = 0;
  bool in_place = false, force = false, quiet = false;
  std::vector<std::string> inputs;
};

struct Job {
  std::string input, output;
};

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
  if (!options.output_dir.empty() && !fs::is_directory(options.output_dir) &&
      !fs::create_directories(options.output_dir, error))
    fail_usage("cannot create the output folder '" + options.output_dir +
               "': " + error.message());
  return options;
}

// Where the result of input goes, by the options.
std::string output_path(const Options &options, const fs::path &input)
{
  if (!options.output.empty())
    return options.output;
  const std::string extension =
      options.format.empty() ? input.extension().string() : "." + options.format;
  if (!options.output_dir.empty())
    return (fs::path(options.output_dir) / input.stem()).string() + extension;
  return (input.parent_path() / input.stem()).string() + "-ondalux" + extension;
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
  for (const std::string &input : options.inputs) {
    std::error_code error;
    if (!fs::exists(input, error)) {
      report_failure(input, "no such file");
      ++*failed;
      continue;
    }
    if (!fs::is_regular_file(input, error)) {
      report_failure(input, "not a regular file");
      ++*failed;
      continue;
    }
    const std::string output = output_path(options, input);
    const fs::path target = fs::weakly_canonical(fs::absolute(output), error);
    if (target == fs::weakly_canonical(fs::absolute(input), error) && !options.in_place) {
      report_failure(input, "the result would overwrite the input (use --in-place to "
                            "allow it)");
      ++*failed;
      continue;
    }
    if (claimed.count(target)) {
      report_failure(input,
                     "the result would overwrite the result of " + claimed[target]);
      ++*failed;
      continue;
    }
    if (!fs::is_directory(target.parent_path(), error)) {
      report_failure(input, "no folder for the result " + output);
      ++*failed;
      continue;
    }
    claimed[target] = input;
    jobs.push_back({input, output});
  }
  return jobs;
}

// Temporary files being written, one slot per worker, removed by the signal handler.
constexpr int max_workers = 64;
char temp_paths[max_workers][PATH_MAX];
std::atomic<bool> temp_in_use[max_workers];

extern "C" void remove_temporaries_and_exit(int signal_number)
{
  for (int i = 0; i < max_workers; i++)
    if (temp_in_use[i].load())
      unlink(temp_paths[i]);
  _exit(128 + signal_number);
}

// The hidden name a result is written under until it is complete; it keeps the
// extension, which chooses the file format.
std::string temporary_name(const std::string &output, int worker)
{
  const fs::path path(output);
  return (path.parent_path() /
          ("." + path.stem().string() + ".ondalux-" + std::to_string(getpid()) + "-" +
           std::to_string(worker) + path.extension().string()))
      .string();
}

// Memory for images, shared by the workers: a file waits until its images fit beside
// those of the files being worked on, and one that could never fit is refused.
struct MemoryBudget {
  double limit;
  double used = 0;
  std::mutex mutex;
  std::condition_variable released;

  bool take(double bytes)
  {
    if (!(bytes <= limit))
      return false;
    std::unique_lock<std::mutex> lock(mutex);
    released.wait(lock, [&] { return used + bytes <= limit; });
    used += bytes;
    return true;
  }
  void give_back(double bytes)
  {
    {
      const std::lock_guard<std::mutex> lock(mutex);
      used -= bytes;
    }
    released.notify_all();
  }
};

// Memory taken from a budget for a file's images, given back once they are let go,
// however the file's work ends.
struct Reservation {
  MemoryBudget &budget;
  double bytes;
  std::unique_ptr<ImageFile> &file;
  ~Reservation()
  {
    file.reset();
    budget.give_back(bytes);
  }
};

// The hidden file a result is written to, known to the signal handler while it exists
// and removed unless renamed into place, however the file's work ends.
struct Temporary {
  std::string path;
  int worker;

  Temporary(const std::string &output, int worker)
      : path(temporary_name(output, worker)), worker(worker)
  {
    std::snprintf(temp_paths[worker], PATH_MAX, "%s", path.c_str());
    temp_in_use[worker] = true;
  }
  ~Temporary()
  {
    unlink(path.c_str());
    temp_in_use[worker] = false;
  }
};

std::string size_text(double bytes)
{
  const char *const units[] = {"KiB", "MiB", "GiB", "TiB"};
  int unit = 0;
  for (bytes /= 1024; bytes >= 1024 && unit < 3; unit++)
    bytes /= 1024;
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %s", bytes, units[unit]);
  return text;
}

// The region within image, clipped to it as a selection's bounds are to a layer; ""
// or the reason it cannot be.
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

// Reads, dents and writes one file, every image of it with one pattern; returns "" or
// the reason it failed.
std::string process(const Options &options, const Job &job, int worker, int threads,
                    MemoryBudget &budget, int *pattern_used, size_t *images)
{
  // What the header claims is weighed before any pixel is read: an image is held
  // whole, and its result may be too, while a writer works.
  const auto beyond_limit = [&](double cost) {
    return "claims " + size_text(cost) +
           " for its pixels with their result, beyond the memory limit of " +
           size_text(budget.limit) + " (--memory-limit raises it)";
  };
  const double claimed = 2 * claimed_image_bytes(job.input);
  if (claimed > budget.limit)
    return beyond_limit(claimed);
  std::string error;
  const ImageFileIo *io = image_file_io(job.input, job.output, &error);
  if (!io)
    return error;
  std::unique_ptr<ImageFile> file;
  if (!io->open(job.input, &file, &error))
    return "cannot read it: " + error;
  file->quality = options.quality;
  std::vector<Region> regions(file->images.size());
  double largest = 0;
  for (size_t i = 0; i < file->images.size(); i++) {
    const PixelImage &image = file->images[i];
    const std::string outside = clip_region(options, image, &regions[i]);
    if (!outside.empty())
      return outside;
    largest = std::max(largest, double(image.width) * double(image.height) *
                                    double(image.pixel_bytes()));
  }
  const double cost = 2 * largest + double(file->working_bytes);
  if (!budget.take(cost))
    return beyond_limit(cost);
  const Reservation reservation{budget, cost, file};

  static std::mutex random_mutex;
  static std::random_device random_source;
  if (options.pattern >= 0) {
    *pattern_used = options.pattern;
  } else {
    const std::lock_guard<std::mutex> lock(random_mutex);
    *pattern_used = int(random_source() % pattern_count);
  }
  // Each image is read when its turn to be written comes, and let go after.
  bool read_failed = false;
  int held = -1;
  const ImageRows dented = [&](int index, RowSource *rows, std::string *reason) {
    if (held >= 0)
      file->images[size_t(held)].pixels.reset();
    held = index;
    if (!file->read(index, reason)) {
      read_failed = true;
      return false;
    }
    const PixelImage &image = file->images[size_t(index)];
    const Region region = regions[size_t(index)];
    *rows = [&options, &image, region, pattern = *pattern_used,
             threads](int32_t first, int32_t last, uint8_t *band) {
      render_image_rows(image, region, options.settings, uint32_t(pattern), threads,
                        first, last, band);
    };
    return true;
  };

  const Temporary temp(job.output, worker);
  *images = file->images.size();
  if (!io->write(temp.path, *file, dented, &error))
    return read_failed ? "cannot read it: " + error
                       : "cannot write " + job.output + ": " + error;
  if (std::rename(temp.path.c_str(), job.output.c_str()) != 0)
    return "cannot rename the result into place: " + std::string(std::strerror(errno));
  return "";
}

// One line per file, and on a terminal a progress bar below them.
struct Reporter {
  bool quiet = false, bar = false;
  size_t total = 0, done = 0;
  std::mutex mutex;

  void finished(const Job &job, const std::string &failure, int pattern, size_t images)
  {
    const std::lock_guard<std::mutex> lock(mutex);
    done++;
    if (bar)
      std::fputs("\r\033[K", stderr);
    if (!failure.empty())
      report_failure(job.input, failure);
    else if (!quiet)
      std::printf("[%zu/%zu] %s -> %s (pattern %d%s)\n", done, total, job.input.c_str(),
                  job.output.c_str(), pattern,
                  images > 1 ? (", " + std::to_string(images) + " images").c_str() : "");
    std::fflush(stdout);
    if (bar && done < total) {
      const size_t width = 30, filled = done * width / total;
      std::fprintf(stderr, "[%s%s] %zu/%zu", std::string(filled, '#').c_str(),
                   std::string(width - filled, ' ').c_str(), done, total);
    }
  }
};

} // namespace

int main(int argc, char **argv)
{
  const Options options = parse_options(argc, argv);
  int failed = 0;
  const std::vector<Job> jobs = plan_jobs(options, &failed);

  std::signal(SIGINT, remove_temporaries_and_exit);
  std::signal(SIGTERM, remove_temporaries_and_exit);
  const int cores = int(std::max(1u, std::thread::hardware_concurrency()));
  const int workers =
      std::min({cores, max_workers, int(std::max<size_t>(jobs.size(), 1))});
  const int threads_per_file = std::max(1, cores / workers);

  MemoryBudget budget;
  budget.limit = options.memory_limit > 0 ? options.memory_limit
                                          : double(sysconf(_SC_PHYS_PAGES)) *
                                                double(sysconf(_SC_PAGESIZE)) / 2;
  Reporter reporter;
  reporter.quiet = options.quiet;
  reporter.bar = !options.quiet && isatty(STDERR_FILENO) != 0;
  reporter.total = jobs.size();
  std::atomic<size_t> next{0};
  std::atomic<int> failures{failed};
  const auto work = [&](int worker) {
    for (size_t i; (i = next++) < jobs.size();) {
      int pattern = 0;
      size_t images = 1;
      std::string failure;
      try {
        failure = process(options, jobs[i], worker, threads_per_file, budget, &pattern,
                          &images);
      } catch (const std::exception &exception) {
        failure = std::string("failed: ") + exception.what();
      }
      failures += !failure.empty();
      reporter.finished(jobs[i], failure, pattern, images);
    }
  };
  std::vector<std::thread> pool;
  for (int worker = 1; worker < workers; worker++)
    pool.emplace_back(work, worker);
  work(0);
  for (std::thread &thread : pool)
    thread.join();
  return failures > 0 ? 1 : 0;
}
