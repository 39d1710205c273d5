#include "queue_rig.h"

#include <stdlib.h>

#include <filesystem>

#include "components/standins.h"
#include "engines/pages/sample_tiff.h"
#include "engines/sim/sim_bank.h"

namespace qvfax::testing {

TestHome::TestHome(std::shared_ptr<ComponentRegistry> registry) : clock_(std::make_shared<ManualClock>()) {
  context_.clock = clock_;
  context_.registry = std::move(registry);
}

TestHome::~TestHome() { RunTasks(); }

bool TestHome::RunTasks() {
  bool ran = false;
  while (!tasks_.empty()) {
    auto work = std::move(tasks_.front());
    tasks_.pop_front();
    ApartmentScope scope(context_);
    work();
    ran = true;
  }
  return ran;
}

void TestHome::Advance(int64_t ms) {
  ApartmentScope scope(context_);
  clock_->Advance(ms);
}

QueueRig::QueueRig(int port_count, sim::Config sim_config, std::string path) : config(std::move(sim_config)) {
  folder = (std::filesystem::temp_directory_path() / "qvfax-queue-XXXXXX").string();
  if (!mkdtemp(folder.data())) std::abort();
  store_path = path.empty() ? folder + "/jobs.sqlite" : path;
  config.ports.clear();
  for (int i = 0; i < port_count; ++i) {
    ports.push_back("ttyS" + std::to_string(i));
    config.ports.push_back({ports.back(), sim::Modem{}});
  }
  registry_ = std::make_shared<ComponentRegistry>();
  RegisterStandIns(*registry_);
  sim::RegisterSimEngine(*registry_, config);
  Start();
}

QueueRig::~QueueRig() {
  Stop();
  std::filesystem::remove_all(folder);
}

void QueueRig::Start() {
  queue::QueueOptions options;
  options.ports = ports;
  options.now_ms = [this] { return now_ms; };
  options.make_home = [this](const std::string&) {
    auto home = std::make_unique<TestHome>(registry_);
    homes_.push_back(home.get());
    return home;
  };
  options.on_event = [this](const nlohmann::json& change) { events.push_back(change); };
  queue_ = std::make_unique<queue::JobQueue>(queue::OpenSqliteStore(store_path), options);
  Drain();
}

void QueueRig::Stop() {
  queue_.reset();
  homes_.clear();
}

void QueueRig::Drain() {
  for (bool ran = true; ran;) {
    ran = false;
    for (auto* home : homes_) ran = home->RunTasks() || ran;
  }
}

void QueueRig::Run(int64_t ms) {
  constexpr int64_t kStep = 100;
  for (int64_t done = 0; done < ms; done += kStep) {
    Drain();
    for (auto* home : homes_) home->Advance(kStep);
    now_ms += kStep;
  }
  Drain();
}

queue::Job QueueRig::RunUntilEnded(int64_t id, int64_t limit_ms) {
  for (int64_t waited = 0; waited < limit_ms; waited += 1000) {
    auto job = queue_->Find(id);
    if (job && queue::Finished(job->state)) return *job;
    Run(1000);
  }
  return *queue_->Find(id);
}

std::string QueueRig::Document(int pages) {
  return pages::MakeFaxTiff(folder + "/doc" + std::to_string(++documents_) + ".tif", pages,
                            pages::PageResolution::kStandard, pages::PageStyle::kBars);
}

queue::JobRequest QueueRig::Request(const std::string& number, int pages) {
  queue::JobRequest request;
  request.number = number;
  request.files = {Document(pages)};
  request.pages = pages;
  return request;
}

}  // namespace qvfax::testing
