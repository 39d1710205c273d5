#include "documents/prepare_in_child.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "documents/confined_process.h"
#include "documents/document_error.h"
#include "documents/fork_server.h"
#include "platform/private_files.h"

namespace qvfax::documents {

namespace {

namespace fs = std::filesystem;

constexpr uint64_t kMemory = 1536ull << 20;    // a 300 dpi colour page decodes well within
constexpr uint64_t kLargestFile = 512ull << 20;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMemoryCanBeLimited = false;  // the address sanitizer maps far more than it uses
#else
constexpr bool kMemoryCanBeLimited = true;
#endif

std::string WhyItStopped(const ConfinedResult& run) {
  if (run.timed_out) return "preparing it ran past its time limit";
  if (run.signal == SIGXCPU) return "preparing it took more CPU time than allowed";
  if (run.signal == SIGXFSZ) return "its pages would be larger than allowed";
  if (run.signal != 0) return fmt::format("its reader crashed on it (signal {})", run.signal);
  // Its last words, when it had any.
  std::string said = run.said.substr(0, run.said.find_last_not_of("\n") + 1);
  said = said.substr(said.find_last_of('\n') + 1);
  return said.empty() ? "its reader gave no answer" : "its reader gave no answer: " + said.substr(0, 200);
}

}  // namespace

std::string PrepareProgram() {
  if (const char* named = std::getenv("QVFAX_PREPARE"); named && *named) return named;
  std::error_code ec;
  const fs::path here = fs::read_symlink("/proc/self/exe", ec).parent_path();
  if (ec) return "";
  // Installed beside qvfaxd and qvfax; in the build, in its own folder beside theirs.
  for (const fs::path& candidate : {here / "qvfax-prepare", here.parent_path() / "prepare" / "qvfax-prepare"}) {
    if (::access(candidate.c_str(), X_OK) == 0) return candidate.string();
  }
  return "";
}

Prepared PrepareInChild(const std::vector<std::string>& inputs, const std::string& folder,
                        const PrepareOptions& options) {
  if (inputs.empty()) throw DocumentError("(no file)", 0, "nothing to send");
  const std::string program = PrepareProgram();
  if (program.empty()) throw DocumentError(inputs.front(), 0, "qvfax-prepare is not installed beside this program", true);
  if (!MakePrivateFolder(folder)) throw DocumentError(folder, 0, "the spool folder cannot be made", true);

  const auto time_limit = std::chrono::duration_cast<std::chrono::seconds>(options.render.time).count();
  std::vector<std::string> args = {program, "--folder", folder, "--resolution", Name(options.format.resolution),
                                   "--paper", Name(options.format.paper), "--time-limit",
                                   std::to_string(std::max<int64_t>(1, time_limit)), "--max-pages",
                                   std::to_string(options.render.max_pages)};
  Confinement confinement;
  if (options.cover) {
    const CoverPage& cover = *options.cover;
    args.insert(args.end(), {"--cover", "--cover-to", cover.to, "--cover-from", cover.from, "--cover-subject",
                             cover.subject, "--cover-comment", cover.comment});
    if (!cover.template_file.empty()) {
      args.insert(args.end(), {"--cover-template", cover.template_file});
      confinement.read_files.push_back(cover.template_file);
    }
  }
  args.push_back("--");
  args.insert(args.end(), inputs.begin(), inputs.end());
  for (const auto& input : inputs) {
    std::error_code ec;
    const auto absolute = fs::absolute(input, ec);
    confinement.read_files.push_back(ec ? input : absolute.string());
  }
  confinement.write_folder = folder;
  // Each document has its renderer's time, and a little for the rest.
  confinement.time = options.render.time * static_cast<int64_t>(inputs.size()) + std::chrono::seconds(30);
  confinement.cpu_seconds = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::seconds>(confinement.time).count());
  confinement.address_space = kMemoryCanBeLimited ? kMemory : 0;
  confinement.file_size = kLargestFile;
  // A fork of a helper kept started costs a millisecond where starting it
  // costs several; a helper that cannot serve forks is started for the job.
  static auto* const server = new ForkServer;  // kept to the end: runs may be under way on other threads
  const auto warm = server->Run(args, confinement);
  const ConfinedResult run = warm ? *warm : RunConfined(args, confinement);
  if (!run.started) throw DocumentError(inputs.front(), 0, "qvfax-prepare cannot be started", true);

  const auto answer = nlohmann::json::parse(run.out.substr(0, run.out.find('\n')), nullptr, false);
  if (answer.is_object() && answer.contains("files")) {
    Prepared prepared;
    prepared.files = answer.value("files", std::vector<std::string>{});
    prepared.pages = answer.value("pages", 0);
    if (prepared.files.size() == inputs.size() + (options.cover ? 1 : 0) && prepared.pages > 0) return prepared;
  }
  // Nothing of a failed preparation stays.
  for (const auto& entry : fs::directory_iterator(folder, fs::directory_options::skip_permission_denied)) {
    std::error_code ec;
    if (entry.path().extension() == ".tif") fs::remove(entry.path(), ec);
  }
  if (answer.is_object() && answer.contains("error")) {
    const auto& error = answer["error"];
    throw DocumentError(error.value("file", inputs.front()), error.value("page", 0),
                        error.value("reason", std::string("cannot be prepared")), error.value("local", false));
  }
  throw DocumentError(inputs.front(), 0, WhyItStopped(run));
}

}  // namespace qvfax::documents
