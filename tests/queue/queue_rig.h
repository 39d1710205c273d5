// A fax queue on the sim engine driven by the manual clock: every home (the
// queue's and each port's) is an apartment of its own on the test thread,
// and Run moves them all forward together.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "engines/sim/sim_config.h"
#include "platform/apartment.h"
#include "platform/manual_clock.h"
#include "queue/job_queue.h"

namespace qvfax::testing {

class TestHome : public queue::Home {
 public:
  explicit TestHome(std::shared_ptr<ComponentRegistry> registry);
  ~TestHome() override;  // runs what is left, in its apartment
  void Post(std::function<void()> work) override { tasks_.push_back(std::move(work)); }
  bool RunTasks();
  void Advance(int64_t ms);

 private:
  ApartmentContext context_;
  std::shared_ptr<ManualClock> clock_;
  std::deque<std::function<void()>> tasks_;
};

class QueueRig {
 public:
  // Ports "ttyS0" .. with a modem each; `config` says how numbers answer.
  explicit QueueRig(int ports = 1, sim::Config config = {}, std::string store_path = "");
  ~QueueRig();

  // Starts (or restarts) the queue on the rig's store.
  void Start();
  void Stop();
  queue::JobQueue& queue() { return *queue_; }
  // Moves the clocks forward in steps, running posted work between them.
  void Run(int64_t ms);
  // Runs until job `id` has ended or `limit_ms` has passed.
  queue::Job RunUntilEnded(int64_t id, int64_t limit_ms = 3'600'000);

  // A one-page fax document of its own (the queue removes it when its job ends).
  std::string Document(int pages = 1);
  queue::JobRequest Request(const std::string& number, int pages = 1);

  int64_t now_ms = 1'800'000'000'000;
  std::vector<nlohmann::json> events;
  std::vector<std::string> ports;
  sim::Config config;
  std::string folder, store_path;

 private:
  void Drain();

  std::shared_ptr<ComponentRegistry> registry_;
  std::vector<TestHome*> homes_;
  std::unique_ptr<queue::JobQueue> queue_;
  int documents_ = 0;
};

}  // namespace qvfax::testing
