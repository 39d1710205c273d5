// The runner of one port: it sends a job's fax by driving a server object
// through the public commands, in the order a client keeps, and reports the
// attempt. It lives on an apartment of its own; every method is called there.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "queue/job.h"

namespace qvfax {
class QvVavUvaRazUr;
}

namespace qvfax::queue {

class PortRunner {
 public:
  using Done = std::function<void(const Attempt&)>;
  // `now_ms` gives the wall time the attempt's times are taken from.
  PortRunner(std::string port, std::function<int64_t()> now_ms, Done done);
  ~PortRunner();
  PortRunner(const PortRunner&) = delete;
  PortRunner& operator=(const PortRunner&) = delete;

  const std::string& port() const { return port_; }

  // Starts attempt `number` of `job`; `done` hears of its end, once.
  void Start(int64_t job, int32_t number, const JobRequest& request);
  // Cancels the attempt under way: the fax is aborted if it is being sent,
  // else the attempt stops at its next step. It ends as cancelled.
  void Cancel();

 private:
  enum class Step { kIdle, kDetecting, kOpening, kSending, kClosing };
  class Sink;

  void OnActivity(int32_t code);
  void OnSendEnded() { send_ended_ = true; }
  // Issues `command` and goes on at `next` once the activity is idle again.
  void Await(Step next, void (QvVavUvaRazUr::*command)());
  void Continue();
  void Opened();
  void ReadOutcome();
  void Fail(int32_t error, const std::string& text);
  void Close();
  void Finish();

  std::string port_;
  std::function<int64_t()> now_ms_;
  Done done_;
  std::shared_ptr<Sink> sink_;
  std::shared_ptr<QvVavUvaRazUr> server_;
  Step step_ = Step::kIdle;
  bool waiting_ = false, send_ended_ = false, cancelled_ = false, opened_ = false;
  JobRequest request_;
  Attempt attempt_;
};

}  // namespace qvfax::queue
