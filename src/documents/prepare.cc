#include "documents/prepare.h"

#include <sys/statvfs.h>
#include <time.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <fmt/format.h>

#include "documents/document_error.h"
#include "documents/plain_text.h"
#include "documents/sniff.h"
#include "engines/pages/bitmap_page.h"
#include "engines/pages/raw_pages.h"
#include "engines/pages/tiff_pages.h"
#include "platform/private_files.h"

namespace qvfax::documents {

namespace {

namespace fs = std::filesystem;

// A name for the prepared file that keeps the original's recognisable and
// never holds the "+" that joins file names.
std::string PreparedName(size_t index, const std::string& input) {
  std::string stem = fs::path(input).stem().string().substr(0, 60);
  for (char& c : stem) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_' && c != '.') c = '_';
  }
  return fmt::format("{:02}-{}.tif", index + 1, stem.empty() ? "document" : stem);
}

int PrepareImage(const std::string& input, const std::string& output, const PrepareOptions& options) {
  const int pages = CountImagePages(input, options.raster);
  if (pages > options.render.max_pages) throw DocumentError(input, 0, fmt::format("more than {} pages", options.render.max_pages));
  pages::FaxTiffWriter writer(output, static_cast<uint16_t>(pages));
  if (!writer.ok()) throw DocumentError(input, 0, "cannot write " + output);
  for (int page = 1; page <= pages; ++page) {
    if (writer.Add(ImagePage(input, page, options.format, options.raster)) != 0) {
      throw DocumentError(input, page, "cannot write " + output + " (is the disk full?)");
    }
  }
  if (writer.Close() != 0) throw DocumentError(input, 0, "cannot write " + output + " (is the disk full?)");
  return pages;
}

// A TIFF whose pages are already fax pages of the wanted resolution goes as
// it is coded: nothing to decode, scale or code again.
int CopyIfFaxPages(const std::string& input, const std::string& output, const PrepareOptions& options) {
  const int pages = pages::CountPages(input);
  if (pages <= 0 || pages > options.render.max_pages) return 0;
  std::vector<std::pair<std::string, int16_t>> list;
  for (int page = 1; page <= pages; ++page) {
    const auto shape = pages::CodedPageShape(input, page);
    if (!shape || shape->width != kFaxWidth || std::abs(shape->y_dpi - YDpi(options.format.resolution)) > 0.5f) return 0;
    list.emplace_back(input, static_cast<int16_t>(page));
  }
  if (pages::CopyCodedPages(list, output) != 0) {
    std::error_code ec;
    fs::remove(output, ec);
    return 0;
  }
  return pages;
}

constexpr size_t kMaxTextBytes = 4 << 20;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  return static_cast<bool>(out);
}

// PostScript of our own making, rendered in the job's folder and then removed.
int RenderPostScript(const std::string& named, const std::string& postscript, const std::string& output,
                     const PrepareOptions& options) {
  const std::string typeset = output + ".ps";
  struct Remove {
    std::string path;
    ~Remove() {
      std::error_code ec;
      fs::remove(path, ec);
    }
  } remove{typeset};
  if (!WriteText(typeset, postscript)) throw DocumentError(named, 0, "cannot write " + typeset, true);
  try {
    return RenderWithGhostscript(typeset, output, options.format, options.render);
  } catch (const DocumentError& e) {
    throw DocumentError(named, e.page(), e.reason(), e.local());
  }
}

int MakeCoverPage(const CoverPage& cover, int pages, const std::string& output, const PrepareOptions& options) {
  std::string template_text = DefaultCoverTemplate();
  if (!cover.template_file.empty()) {
    std::error_code ec;
    if (!fs::is_regular_file(cover.template_file, ec)) {
      throw DocumentError(cover.template_file, 0, "the cover page template cannot be read");
    }
    template_text = ReadAll(cover.template_file);
  }
  const time_t now = ::time(nullptr);
  tm local{};
  localtime_r(&now, &local);
  char date[32];
  std::strftime(date, sizeof date, "%Y-%m-%d %H:%M", &local);
  const std::string named = cover.template_file.empty() ? "the cover page" : cover.template_file;
  const int made = RenderPostScript(named, CoverAsPostScript(template_text, cover, pages, date, options.format.paper),
                                    output, options);
  if (made != 1) throw DocumentError(named, 0, fmt::format("the cover page template made {} pages, not 1", made));
  return made;
}

int PrepareOne(const std::string& input, const std::string& output, const PrepareOptions& options) {
  switch (Sniff(input)) {
    case DocumentKind::kPdf:
    case DocumentKind::kPostScript: {
      // Ghostscript writes the fax TIFF itself; each page is checked as an engine will read it.
      const int pages = RenderWithGhostscript(input, output, options.format, options.render);
      for (int page = 1; page <= pages; ++page) {
        if (pages::CheckPage(output, page) != 0) throw DocumentError(input, page, "Ghostscript wrote a page that cannot be sent");
      }
      return pages;
    }
    case DocumentKind::kText: {
      // Set as PostScript in the job's folder, then rendered as PostScript is.
      if (std::filesystem::file_size(input) > kMaxTextBytes) throw DocumentError(input, 0, "a text longer than 4 MiB");
      return RenderPostScript(input, TextAsPostScript(ReadAll(input), options.format.paper), output, options);
    }
    case DocumentKind::kTiff:
      if (const int pages = CopyIfFaxPages(input, output, options)) return pages;
      return PrepareImage(input, output, options);
    case DocumentKind::kPng:
    case DocumentKind::kJpeg:
      return PrepareImage(input, output, options);
  }
  return 0;
}

// Whatever a program said when it could not write its pages, a folder left
// with next to no room means the disk is full, not that the document is bad.
bool NoRoomIn(const std::string& folder) {
  struct statvfs fs_info {};
  if (::statvfs(folder.c_str(), &fs_info) != 0) return false;
  return static_cast<uint64_t>(fs_info.f_bavail) * fs_info.f_frsize < 512 * 1024 || fs_info.f_favail == 0;
}

}  // namespace

Prepared Prepare(const std::vector<std::string>& inputs, const std::string& folder, const PrepareOptions& options) {
  if (inputs.empty()) throw DocumentError("(no file)", 0, "nothing to send");
  // Our own folder: when it cannot be made, the disk or a permission is at fault, never the document.
  if (!MakePrivateFolder(folder)) throw DocumentError(folder, 0, "the spool folder cannot be made", true);
  Prepared prepared;
  try {
    for (size_t i = 0; i < inputs.size(); ++i) {
      const std::string output = (fs::path(folder) / PreparedName(i, inputs[i])).string();
      prepared.files.push_back(output);
      prepared.pages += PrepareOne(inputs[i], output, options);
    }
    if (options.cover) {
      const std::string cover = (fs::path(folder) / "00-cover.tif").string();
      prepared.files.insert(prepared.files.begin(), cover);
      prepared.pages += MakeCoverPage(*options.cover, prepared.pages + 1, cover, options);
    }
  } catch (const DocumentError& e) {
    std::error_code ec;
    for (const auto& file : prepared.files) fs::remove(file, ec);
    if (!e.local() && NoRoomIn(folder)) throw DocumentError(e.file(), 0, "no space left on the disk of " + folder, true);
    throw;
  } catch (...) {
    std::error_code ec;
    for (const auto& file : prepared.files) fs::remove(file, ec);
    throw;
  }
  return prepared;
}

}  // namespace qvfax::documents
