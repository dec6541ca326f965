// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// ondalux: the Ondalux filter on image files, without GIMP. The files are worked on in
// parallel, each written under a temporary name that an interruption removes.
#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "image_file.h"
#include "memory_budget.h"
#include "options.h"
#include "row_stream.h"
#include "system.h"

namespace fs = std::filesystem;

namespace
{

// Temporary files being written, one slot per worker, removed by the signal handler.
constexpr int max_workers = 64, max_path_bytes = 4096;
char temp_paths[max_workers][max_path_bytes];
std::atomic<bool> temp_in_use[max_workers];

extern "C" void remove_temporaries_and_exit(int signal_number)
{
  for (int i = 0; i < max_workers; i++)
    if (temp_in_use[i].load())
      remove_file(temp_paths[i]);
  _exit(128 + signal_number);
}

// The hidden name a result is written under until it is complete; it keeps the
// extension, which chooses the file format.
std::string temporary_name(const std::string &output, int worker)
{
  const fs::path path = fs::u8path(output);
  return (path.parent_path() /
          fs::u8path("." + path.stem().u8string() + ".ondalux-" +
                     std::to_string(process_id()) + "-" + std::to_string(worker) +
                     path.extension().u8string()))
      .u8string();
}

// The hidden file a result is written to, known to the signal handler while it exists
// and removed unless renamed into place, however the file's work ends.
struct Temporary {
  std::string path;
  int worker;

  Temporary(const std::string &output, int worker)
      : path(temporary_name(output, worker)), worker(worker)
  {
    std::snprintf(temp_paths[worker], max_path_bytes, "%s", path.c_str());
    temp_in_use[worker] = true;
  }
  ~Temporary()
  {
    remove_file(path.c_str());
    temp_in_use[worker] = false;
  }
};

// Reads, dents and writes one file, every image of it with one pattern; returns "" or
// the reason it failed.
std::string process(const Options &options, const Job &job, int worker, int threads,
                    MemoryBudget &budget, int *pattern_used, size_t *images)
{
  // What the header claims is weighed before any pixel is read: an image is held
  // whole, and its result may be too, while a writer works.
  const auto beyond_limit = [&](double cost, bool streams = false) {
    return "claims " + size_text(cost) +
           (streams ? " for the rows its offsets reach at once"
                    : " for its pixels with their result") +
           ", beyond the memory limit of " + size_text(budget.limit) +
           " (--memory-limit raises it)";
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
  file->threads = threads;
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
  // A file that streams holds only the rows its offsets reach, each image of another
  // is held whole, and so is its result while a writer works.
  const double cost =
      (file->streams
           ? stream_bytes(file->images[0],
                          reach_rows(file->images[0], regions[0], options.settings))
           : 2 * largest) +
      double(file->working_bytes);
  if (!budget.take(cost))
    return beyond_limit(cost, file->streams);
  const Reservation reservation{budget, cost, file};

  static std::mutex random_mutex;
  static std::random_device random_source;
  if (options.pattern >= 0) {
    *pattern_used = options.pattern;
  } else {
    const std::lock_guard<std::mutex> lock(random_mutex);
    *pattern_used = int(random_source() % pattern_count);
  }
  const uint32_t pattern = uint32_t(*pattern_used);
  std::string read_error;
  std::unique_ptr<RowStream> stream;
  // Each image is read when its turn to be written comes, and let go after.
  int held = -1;
  const ImageRows dented = [&](int index, RowSource *rows, std::string *) {
    if (file->streams) {
      stream = std::make_unique<RowStream>(*file, regions[0], options.settings, pattern,
                                           threads);
      *rows = [&](int32_t first, int32_t last, uint8_t *band) {
        if (stream->take(first, last, band))
          return true;
        read_error = stream->error;
        return false;
      };
      return true;
    }
    if (held >= 0)
      file->images[size_t(held)].pixels.reset();
    held = index;
    if (!file->read(index, &read_error))
      return false;
    const PixelImage &image = file->images[size_t(index)];
    *rows = [&, region = regions[size_t(index)]](int32_t first, int32_t last,
                                                 uint8_t *band) {
      render_image_rows(image, image.pixels.get(), 0, region, options.settings, pattern,
                        threads, first, last, band);
      return true;
    };
    return true;
  };

  const Temporary temp(job.output, worker);
  *images = file->images.size();
  if (!io->write(temp.path, *file, dented, &error))
    return !read_error.empty() ? "cannot read it: " + read_error
                               : "cannot write " + job.output + ": " + error;
  stream.reset();
  if (const std::string failure = replace_file(temp.path, job.output); !failure.empty())
    return "cannot rename the result into place: " + failure;
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
  std::vector<std::string> arguments = command_arguments(argc, argv);
  std::vector<char *> pointers;
  for (std::string &argument : arguments)
    pointers.push_back(argument.data());
  pointers.push_back(nullptr);
  const Options options = parse_options(int(arguments.size()), pointers.data());
  int failed = 0;
  const std::vector<Job> jobs = plan_jobs(options, &failed);

  std::signal(SIGINT, remove_temporaries_and_exit);
  std::signal(SIGTERM, remove_temporaries_and_exit);
  const int cores = int(std::max(1u, std::thread::hardware_concurrency()));
  const int workers =
      std::min({cores, max_workers, int(std::max<size_t>(jobs.size(), 1))});
  const int threads_per_file = std::max(1, cores / workers);

  MemoryBudget budget;
  budget.limit =
      options.memory_limit > 0 ? options.memory_limit : physical_memory_bytes() / 2;
  Reporter reporter;
  reporter.quiet = options.quiet;
  reporter.bar = !options.quiet && error_is_terminal();
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
