// qvfax-prepare: documents into fax pages, in a process of their own. It is
// started confined by qvfaxd (or an in-process qvfax) and answers on its
// standard output with one JSON object: the prepared files and their pages,
// or the error that names the file, the page and the reason. Started with
// --serve-forks, it stays and prepares each job in a confined fork of itself.
#include <chrono>
#include <iostream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "documents/document_error.h"
#include "documents/fork_server.h"
#include "documents/prepare.h"

namespace {

int PrepareCommand(int argc, char** argv) {
  using qvfax::documents::DocumentError;
  namespace documents = qvfax::documents;
  CLI::App app{"qvfax-prepare - documents into fax pages, for qvfaxd"};
  std::string folder, resolution = "fine", paper = "a4";
  std::vector<std::string> files;
  documents::CoverPage cover;
  bool with_cover = false;
  app.add_flag("--cover", with_cover, "A cover page first");
  app.add_option("--cover-to", cover.to);
  app.add_option("--cover-from", cover.from);
  app.add_option("--cover-subject", cover.subject);
  app.add_option("--cover-comment", cover.comment);
  app.add_option("--cover-template", cover.template_file);
  app.add_option("--folder", folder, "Where the prepared pages go")->required();
  app.add_option("--resolution", resolution)->check(CLI::IsMember({"standard", "fine", "superfine"}));
  app.add_option("--paper", paper)->check(CLI::IsMember({"a4", "letter", "legal"}));
  int time_limit_s = 120, max_pages = 200;
  app.add_option("--time-limit", time_limit_s, "Seconds a renderer may take on one document")->check(CLI::Range(1, 3600));
  app.add_option("--max-pages", max_pages, "The most pages a document may have")->check(CLI::Range(1, 100000));
  app.add_option("files", files, "Documents")->required();
  CLI11_PARSE(app, argc, argv);

  documents::PrepareOptions options;
  options.render.time = std::chrono::seconds(time_limit_s);
  options.render.max_pages = max_pages;
  options.format = {*documents::ParseResolution(resolution), *documents::ParsePaper(paper)};
  if (with_cover) options.cover = cover;
  nlohmann::json answer;
  int status = 0;
  try {
    const auto prepared = documents::Prepare(files, folder, options);
    answer = {{"files", prepared.files}, {"pages", prepared.pages}};
  } catch (const DocumentError& e) {
    answer = {{"error", {{"file", e.file()}, {"page", e.page()}, {"reason", e.reason()}, {"local", e.local()}}}};
    status = 1;
  } catch (const std::bad_alloc&) {
    answer = {{"error", {{"file", files.front()}, {"page", 0}, {"reason", "too large to prepare in the memory allowed"}}}};
    status = 1;
  } catch (const std::exception& e) {
    answer = {{"error", {{"file", files.front()}, {"page", 0}, {"reason", e.what()}}}};
    status = 1;
  }
  std::cout << answer.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << std::endl;
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "--serve-forks") {
    return qvfax::documents::ServeForks(0, [](const std::vector<std::string>& args) {
      std::vector<std::string> copy = args;
      std::vector<char*> argv_of_run;
      for (auto& arg : copy) argv_of_run.push_back(arg.data());
      argv_of_run.push_back(nullptr);
      return PrepareCommand(static_cast<int>(copy.size()), argv_of_run.data());
    });
  }
  return PrepareCommand(argc, argv);
}
