#include "daemon/interrupted_work.h"

#include <signal.h>

#include <cerrno>
#include <fstream>
#include <sstream>

#include "components/runtime_file_publisher.h"
#include "platform/process_alive.h"
#include "platform/xdg_paths.h"
#include "status/interrupted_status.h"

namespace qvfax::daemon {

void ClearInterruptedStatus() {
  const auto folder = xdg::RuntimeDir() / "qvfax";
  std::ifstream in(folder / "QvVavUvaRazUr", std::ios::binary);
  if (!in) return;
  std::stringstream text;
  text << in.rdbuf();
  const auto idle = IdleStatusOf(text.str(), [](int pid) { return ProcessRuns(pid); });
  if (!idle) return;
  RuntimeFilePublisher publisher(folder);
  publisher.Open("QvVavUvaRazUr");
  publisher.Publish(*idle);
}

}  // namespace qvfax::daemon
