// The daemon's `prepare`: a client's documents made into fax TIFFs in the
// spool, on a thread of their own so nothing else waits for Ghostscript.
// The prepared files live as long as the client's connection.
#include <unistd.h>

#include <filesystem>
#include <functional>

#include <fmt/format.h>

#include "documents/document_error.h"
#include "documents/prepare.h"
#include "platform/process_alive.h"
#include "platform/xdg_paths.h"
#include "rpc/broker_impl.h"

namespace qvfax::rpc {

Failure DocumentFailure(const documents::DocumentError& e) {
  return Failure{e.local() ? codes::kLocalFailure : codes::kBadDocument, e.what(),
                 {{"file", e.file()}, {"page", e.page()}, {"reason", e.reason()}}};
}

documents::PrepareOptions OptionsParam(const json& params) {
  documents::PrepareOptions options;
  const auto resolution = documents::ParseResolution(params.value("resolution", std::string("fine")));
  if (!resolution) throw SurfaceError(codes::kInvalidParams, "params.resolution must be standard, fine or superfine");
  const auto paper = documents::ParsePaper(params.value("paper", std::string("a4")));
  if (!paper) throw SurfaceError(codes::kInvalidParams, "params.paper must be a4, letter or legal");
  options.format = {*resolution, *paper};
  if (const auto cover = params.find("cover"); cover != params.end() && !cover->is_null()) {
    if (!cover->is_object()) throw SurfaceError(codes::kInvalidParams, "params.cover must be an object");
    documents::CoverPage page;
    for (auto [name, field] : {std::pair{"to", &page.to}, std::pair{"from", &page.from}, std::pair{"subject", &page.subject},
                               std::pair{"comment", &page.comment}, std::pair{"template", &page.template_file}}) {
      const auto value = cover->find(name);
      if (value == cover->end()) continue;
      if (!value->is_string() || value->get<std::string>().size() > 4096) {
        throw SurfaceError(codes::kInvalidParams, fmt::format("params.cover.{} must be a string of at most 4096 bytes", name));
      }
      *field = value->get<std::string>();
    }
    if (!page.template_file.empty() && page.template_file.front() != '/') {
      throw SurfaceError(codes::kInvalidParams, "params.cover.template must be a full path");
    }
    options.cover = page;
  }
  return options;
}

std::vector<std::string> FilesParam(const json& params) {
  auto files = params.find("files");
  if (files == params.end() || !files->is_array() || files->empty()) {
    throw SurfaceError(codes::kInvalidParams, "params.files must be a list of file paths");
  }
  std::vector<std::string> paths;
  for (const auto& file : *files) {
    if (!file.is_string() || file.get<std::string>().empty()) {
      throw SurfaceError(codes::kInvalidParams, "params.files must hold file paths");
    }
    if (file.get<std::string>().front() != '/') {
      throw SurfaceError(codes::kInvalidParams, "params.files must be full paths: the daemon runs in another folder");
    }
    paths.push_back(file.get<std::string>());
  }
  return paths;
}

int ResolutionCode(documents::Resolution resolution) {
  switch (resolution) {
    case documents::Resolution::kStandard: return 2;
    case documents::Resolution::kFine: return 3;
    case documents::Resolution::kSuperfine: return 1;  // no change: the pages' own 391 rows an inch
  }
  return 3;
}


std::filesystem::path Broker::Impl::SpoolFolder() const {
  return options.spool.empty() ? xdg::StateHome() / "qvfax" / "spool" : std::filesystem::path(options.spool);
}

void Broker::Impl::RemoveLeftoverSpools() const {
  // A daemon that was killed left its clients' folders ("PID-N") behind.
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(SpoolFolder(), ec)) {
    const std::string name = entry.path().filename().string();
    const auto dash = name.find('-');
    if (!entry.is_directory(ec) || dash == 0 || dash == std::string::npos ||
        name.find_first_not_of("0123456789-") != std::string::npos) {
      continue;
    }
    const pid_t owner = static_cast<pid_t>(std::stol(name.substr(0, dash)));
    if (owner != ::getpid() && !ProcessRuns(owner)) std::filesystem::remove_all(entry.path(), ec);
  }
}

void Broker::Impl::RemoveSpool(Connection& conn) {
  std::vector<std::string> folders;
  {
    std::lock_guard lock(conn.mutex);
    folders.swap(conn.spool_folders);
  }
  std::error_code ec;
  for (const auto& folder : folders) std::filesystem::remove_all(folder, ec);
}

bool Broker::Impl::DispatchDocumentOperation(const std::shared_ptr<Connection>& conn, const Message& message) {
  if (message.method != "prepare") return false;
  const auto files = FilesParam(message.params);
  const auto wanted = OptionsParam(message.params);
  const std::filesystem::path spool = SpoolFolder();
  std::string folder;
  {
    std::lock_guard lock(mutex);
    folder = (spool / fmt::format("{}-{}", ::getpid(), next_spool++)).string();
  }
  {
    std::lock_guard lock(conn->mutex);
    conn->spool_folders.push_back(folder);
  }
  AnswerLate(conn, message.id);
  documents->Post([self = shared_from_this(), conn, id = message.id, files, wanted, folder] {
    // A client that left before its pages were ready takes them with it.
    auto gone = [&conn] {
      std::lock_guard lock(conn->mutex);
      return conn->closed;
    };
    struct LeftBehind {
      std::function<bool()> gone;
      std::string folder;
      ~LeftBehind() {
        std::error_code ec;
        if (gone()) std::filesystem::remove_all(folder, ec);
      }
    } tidy{gone, folder};
    if (gone()) return;
    try {
      const auto prepared = documents::PrepareInChild(files, folder, wanted);
      std::string joined;
      for (const auto& file : prepared.files) joined += (joined.empty() ? "" : "+") + file;
      self->Reply(*conn, id, {{"files", joined}, {"pages", prepared.pages},
                              {"resolution", ResolutionCode(wanted.format.resolution)}});
    } catch (const documents::DocumentError& e) {
      self->Fail(*conn, id, DocumentFailure(e));
    } catch (const std::exception& e) {
      self->Fail(*conn, id, Failure{codes::kInternalError, e.what(), nullptr});
    }
  });
  return true;
}

}  // namespace qvfax::rpc
