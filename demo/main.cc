// The demo: makes a sample fax, sends it end to end with qvfax's own send
// command on the default engine (real fax signals over a software line),
// then checks the fax the virtual remote received against the pages sent.
#include <chrono>
#include <filesystem>
#include <iostream>

#include <CLI/CLI.hpp>

#include "cli/commands.h"
#include "cli/connection.h"
#include "engines/pages/bitmap_page.h"
#include "engines/pages/tiff_pages.h"
#include "engines/pages/sample_tiff.h"
#include "platform/xdg_paths.h"

namespace {

// Whether every page of `received` equals the corresponding sent page.
bool SamePages(const std::vector<std::pair<std::string, int>>& sent, const std::string& received) {
  using namespace qvfax::pages;
  if (CountPages(received) != static_cast<int32_t>(sent.size())) return false;
  for (size_t i = 0; i < sent.size(); ++i) {
    BitmapPage a, b;
    if (ReadBitmapPage(sent[i].first, sent[i].second, a) != 0) return false;
    if (ReadBitmapPage(received, static_cast<int32_t>(i + 1), b) != 0) return false;
    if (a.width != b.width || a.rows != b.rows || a.bits != b.bits) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace qvfax;
  CLI::App app{"qvfax-demo - makes a 3-page sample fax, sends it on the built-in line engine in this process "
               "and checks what the virtual remote received, pixel for pixel"};
  cli::Common common;
  common.in_process = true;
  std::string socket;
  app.add_option("--socket", socket, "Send through the qvfaxd listening here instead");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : static_cast<int>(cli::Exit::kUsage);
  }
  if (!socket.empty()) {
    common.socket = socket;
    common.in_process = false;
  }
  const auto folder = xdg::StateHome() / "qvfax" / "demo";
  std::filesystem::create_directories(folder);
  const auto letter = pages::MakeFaxTiff((folder / "letter.tif").string(), 2, pages::PageResolution::kFine);
  const auto annex = pages::MakeFaxTiff((folder / "annex.tif").string(), 1, pages::PageResolution::kFine);
  std::cout << "Sample fax: " << letter << " (2 pages) and " << annex << " (1 page)\n";

  cli::SendOptions send;
  send.number = "+39 06 5550100";
  send.files = {letter, annex};
  send.local_id = "qvfax demo";
  const auto began = std::filesystem::file_time_type::clock::now() - std::chrono::seconds(2);
  const int rc = cli::Send(common, send);
  if (rc != 0) {
    std::cout << "Demo failed.\n";
    return rc;
  }
  const std::string received = cli::ReceivedFaxOf(RemotesInbox(common.engine), send.number, began);
  if (received.empty()) {
    std::cout << "Demo finished: the fax was sent.\n";
    return 0;
  }
  const bool same = SamePages({{letter, 1}, {letter, 2}, {annex, 1}}, received);
  std::cout << "The virtual remote received " << received << ": "
            << (same ? "its 3 pages match the pages sent, pixel for pixel.\n" : "its pages DIFFER from the pages sent.\n");
  return same ? 0 : 1;
}
