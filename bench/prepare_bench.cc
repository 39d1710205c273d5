// Preparing documents: a text PDF of 20 pages at fine resolution (target: at
// most 2 s), the peak memory of preparing a 5-page and a 100-page PDF (the
// pages are streamed: the two must be alike), and images as qvfaxd prepares
// them (in qvfax-prepare) beside ImageMagick's convert doing the same work:
// a noisy A4 scan at 300 dpi in grey and a colour photo (targets: at most
// 0.5 s and 64 MiB a page).
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <tiffio.h>
#include <unistd.h>

#include <Magick++.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <vector>

#include "document_maker.h"
#include "documents/prepare.h"
#include "documents/prepare_in_child.h"
#include "engines/pages/tiff_open.h"
#include "tiff_maker.h"

namespace {

using namespace qvfax;

std::string Folder(const std::string& name) {
  const std::string folder = testing::ScratchPath(name);
  std::filesystem::remove_all(folder);
  return folder;
}

void BM_PrepareTextPdf(benchmark::State& state) {
  const int pages = static_cast<int>(state.range(0));
  const std::string pdf = testing::WritePdf(testing::ScratchPath("bench-" + std::to_string(pages) + ".pdf"), pages);
  for (auto _ : state) {
    const auto prepared = documents::Prepare({pdf}, Folder("bench-prepared"), {});
    if (prepared.pages != pages) state.SkipWithError("wrong page count");
  }
  state.counters["pages"] = pages;
}
BENCHMARK(BM_PrepareTextPdf)->Arg(20)->Unit(benchmark::kMillisecond)->Iterations(3);

// Peak resident memory of qvfax's side and of Ghostscript's, measured in a
// child process so each size starts afresh.
void BM_PreparePdfPeakMemory(benchmark::State& state) {
  const int pages = static_cast<int>(state.range(0));
  const std::string pdf = testing::WritePdf(testing::ScratchPath("bench-mem-" + std::to_string(pages) + ".pdf"), pages);
  for (auto _ : state) {
    int fds[2];
    if (::pipe(fds) != 0) state.SkipWithError("pipe");
    const pid_t child = ::fork();
    if (child == 0) {
      ::close(fds[0]);
      documents::Prepare({pdf}, Folder("bench-mem"), {});
      rusage self{}, children{};
      ::getrusage(RUSAGE_SELF, &self);
      ::getrusage(RUSAGE_CHILDREN, &children);
      const long peaks[2] = {self.ru_maxrss, children.ru_maxrss};
      (void)!::write(fds[1], peaks, sizeof peaks);
      ::_exit(0);
    }
    ::close(fds[1]);
    long peaks[2] = {0, 0};
    (void)!::read(fds[0], peaks, sizeof peaks);
    ::close(fds[0]);
    ::waitpid(child, nullptr, 0);
    state.counters["qvfax_peak_MiB"] = peaks[0] / 1024.0;
    state.counters["gs_peak_MiB"] = peaks[1] / 1024.0;
  }
}
BENCHMARK(BM_PreparePdfPeakMemory)->Arg(5)->Arg(100)->Unit(benchmark::kMillisecond)->Iterations(1);

// A page as a scanner gives it: grey paper with sensor noise, lines of dark
// "words", and a faint pencil note.
std::string WriteNoisyScan(const std::string& path) {
  constexpr uint32_t kColumns = 2480, kRows = 3508;
  TIFF* tiff = pages::OpenTiff(path, "w");
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, kColumns);
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, kRows);
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
  TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
  TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 32);
  TIFFSetField(tiff, TIFFTAG_XRESOLUTION, 300.0f);
  TIFFSetField(tiff, TIFFTAG_YRESOLUTION, 300.0f);
  TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  std::mt19937 random(7);
  std::normal_distribution<float> noise(0.0f, 9.0f);
  std::vector<uint8_t> row(kColumns);
  for (uint32_t y = 0; y < kRows; ++y) {
    const bool text_line = y > 300 && y < 3200 && y % 60 < 30;
    for (uint32_t x = 0; x < kColumns; ++x) {
      float grey = 225.0f;
      if (text_line && x > 250 && x < 2230 && (x / 17 + y / 60) % 7 != 0 && (x % 17) < 5) grey = 40.0f;
      if (y > 3300 && y < 3304 && x > 400 && x < 1600) grey = 185.0f;  // the pencil note
      row[x] = static_cast<uint8_t>(std::clamp(grey + noise(random), 0.0f, 255.0f));
    }
    TIFFWriteScanline(tiff, row.data(), y, 0);
  }
  TIFFClose(tiff);
  return path;
}

// A colour photo of 12 megapixels, 300 dpi: smooth light and shade with grain.
std::string WritePhoto(const std::string& path) {
  testing::WriteImage(path + ".start.png", 1, 1, 72, false);  // starts the library
  constexpr size_t kColumns = 4000, kRows = 3000;
  std::mt19937 random(11);
  std::normal_distribution<float> grain(0.0f, 6.0f);
  std::vector<uint8_t> rgb(kColumns * kRows * 3);
  for (size_t y = 0; y < kRows; ++y) {
    for (size_t x = 0; x < kColumns; ++x) {
      const float shade = 128.0f + 100.0f * std::sin(x / 300.0f) * std::cos(y / 250.0f);
      for (int c = 0; c < 3; ++c) {
        rgb[(y * kColumns + x) * 3 + c] = static_cast<uint8_t>(std::clamp(shade + 20.0f * c + grain(random), 0.0f, 255.0f));
      }
    }
  }
  Magick::Image image;
  image.read(kColumns, kRows, "RGB", Magick::CharPixel, rgb.data());
  image.resolutionUnits(Magick::PixelsPerInchResolution);
  image.density(Magick::Geometry(300, 300));
  image.quality(90);
  image.write(path);
  return path;
}

struct Run {
  double seconds = 0, peak_mib = 0;
  int status = -1;
};

// Runs a program to its end: its time and its peak resident memory.
Run RunProgram(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const auto began = std::chrono::steady_clock::now();
  const pid_t child = ::fork();
  if (child == 0) {
    std::freopen("/dev/null", "w", stdout);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  rusage usage{};
  ::wait4(child, &status, 0, &usage);
  Run run;
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  run.peak_mib = usage.ru_maxrss / 1024.0;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

// ImageMagick's own program, not a stand-in of the same name.
std::string ConvertProgram() {
  for (const char* path : {"/usr/bin/convert-im6.q16", "/usr/bin/convert"}) {
    if (::access(path, X_OK) == 0) return path;
  }
  return "";
}

void CompareWithConvert(benchmark::State& state, const std::string& image) {
  const std::string convert = ConvertProgram();
  if (convert.empty()) return state.SkipWithError("ImageMagick's convert is not installed (scripts/setup)");
  Run qvfax, theirs;
  for (auto _ : state) {
    const std::string folder = Folder("bench-image");
    std::filesystem::create_directories(folder);
    qvfax = RunProgram({documents::PrepareProgram(), "--folder", folder, "--resolution", "fine", "--", image});
    // The same work: to the fax width, grey, error-diffused to black and white, coded for fax.
    theirs = RunProgram({convert, image, "-resize", "1728x", "-colorspace", "Gray", "-dither", "FloydSteinberg",
                         "-monochrome", "-compress", "Group4", folder + "/convert.tif"});
    if (qvfax.status != 0 || theirs.status != 0) return state.SkipWithError("a program failed");
  }
  state.counters["qvfax_s"] = qvfax.seconds;
  state.counters["convert_s"] = theirs.seconds;
  state.counters["qvfax_MiB"] = qvfax.peak_mib;
  state.counters["convert_MiB"] = theirs.peak_mib;
  state.counters["time_ratio"] = qvfax.seconds / theirs.seconds;
  state.counters["memory_ratio"] = qvfax.peak_mib / theirs.peak_mib;
}

void BM_NoisyScanBesideConvert(benchmark::State& state) {
  static const std::string scan = WriteNoisyScan(testing::ScratchPath("bench-noisy-scan.tif"));
  CompareWithConvert(state, scan);
}
BENCHMARK(BM_NoisyScanBesideConvert)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ColourPhotoBesideConvert(benchmark::State& state) {
  static const std::string photo = WritePhoto(testing::ScratchPath("bench-photo.jpg"));
  CompareWithConvert(state, photo);
}
BENCHMARK(BM_ColourPhotoBesideConvert)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
