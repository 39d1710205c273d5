// The demo: makes a two-page sample fax and sends it end to end with qvfax's
// own send command, on the default engine, showing progress and the result.
#include <filesystem>
#include <iostream>

#include "cli/commands.h"
#include "cli/connection.h"
#include "engines/pages/sample_tiff.h"
#include "platform/xdg_paths.h"

int main(int argc, char** argv) {
  using namespace qvfax;
  const auto folder = xdg::StateHome() / "qvfax" / "demo";
  std::filesystem::create_directories(folder);
  const auto letter = pages::MakeFaxTiff((folder / "letter.tif").string(), 2, pages::PageResolution::kFine);
  const auto annex = pages::MakeFaxTiff((folder / "annex.tif").string(), 1, pages::PageResolution::kFine);
  std::cout << "Sample fax: " << letter << " (2 pages) and " << annex << " (1 page)\n";

  cli::Common common;
  common.socket = argc > 1 ? argv[1] : cli::DefaultSocketPath();
  common.engine.speed = 20;  // the simulated line, twenty times faster than a real one
  cli::SendOptions send;
  send.number = "+39 06 5550100";
  send.files = {letter, annex};
  send.local_id = "qvfax demo";
  const int rc = cli::Send(common, send);
  std::cout << (rc == 0 ? "Demo finished: the fax was sent.\n" : "Demo failed.\n");
  return rc;
}
