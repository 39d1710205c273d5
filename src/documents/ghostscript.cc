#include "documents/ghostscript.h"

#include <filesystem>
#include <sstream>

#include <fmt/format.h>

#include "documents/confined_process.h"
#include "documents/document_error.h"
#include "engines/pages/tiff_pages.h"

namespace qvfax::documents {

namespace {

// The last lines Ghostscript wrote that say what went wrong.
std::string Reason(const std::string& said) {
  std::istringstream lines(said);
  std::string line, reason;
  while (std::getline(lines, line)) {
    if (line.find("password") != std::string::npos) return "the PDF is encrypted";
    const auto start = line.find_first_not_of(" *");
    if (start == std::string::npos) continue;
    line = line.substr(start);
    if (reason.empty() || line.find("rror") != std::string::npos) reason = line;
  }
  return reason.empty() ? "Ghostscript failed" : "Ghostscript: " + reason;
}

}  // namespace

int RenderWithGhostscript(const std::string& input, const std::string& output, const FaxFormat& format,
                          const RenderLimits& limits) {
  const float y_dpi = YDpi(format.resolution);
  Confinement confinement;
  confinement.read_files = {input};
  confinement.write_folder = std::filesystem::path(output).parent_path().string();
  confinement.time = limits.time;
  const ConfinedResult run = RunConfined(
      {"gs", "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-sDEVICE=tiffg4",
       fmt::format("-r{}x{}", static_cast<int>(kFaxXDpi), static_cast<int>(y_dpi)),
       fmt::format("-g{}x{}", kFaxWidth, PageRows(format)), "-dFIXEDMEDIA", "-dPDFFitPage", "-dPSFitPage",
       "-dMaxStripSize=0", "-dFillOrder=2",
       // One page past the limit tells a document that is too long.
       fmt::format("-dLastPage={}", limits.max_pages + 1), "-sOutputFile=" + output, "-f", input},
      confinement);
  if (!run.started) throw DocumentError(input, 0, "Ghostscript (gs) cannot be started: is it installed?");
  const bool timed_out = run.timed_out;
  const std::string& said = run.said;

  std::error_code ec;
  if (timed_out) {
    std::filesystem::remove(output, ec);
    throw DocumentError(input, 0, fmt::format("Ghostscript ran past its limit of {} s", limits.time.count() / 1000));
  }
  const int pages = std::filesystem::exists(output, ec) ? pages::CountPages(output) : 0;
  if (run.exit_status != 0) {
    std::filesystem::remove(output, ec);
    throw DocumentError(input, 0, Reason(said));
  }
  if (pages <= 0) {
    std::filesystem::remove(output, ec);
    throw DocumentError(input, 0, said.empty() ? "the document has no pages" : Reason(said));
  }
  if (pages > limits.max_pages) {
    std::filesystem::remove(output, ec);
    throw DocumentError(input, 0, fmt::format("more than {} pages", limits.max_pages));
  }
  return pages;
}

}  // namespace qvfax::documents
