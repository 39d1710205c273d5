// The faxes that came in: each kept as one TIFF as it was received, in a
// private folder, never over another, with its record in the store beside
// the queue's jobs. Calls are answered on the engine's ports from a home of
// the inbox's own; the rest may be called from any thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "engines/core/reception.h"
#include "platform/component_registry.h"
#include "queue/job_queue.h"
#include "queue/job_store.h"

namespace qvfax::queue {

struct InboxOptions {
  std::string folder;
  std::shared_ptr<ComponentRegistry> registry;  // the engine answers through its control
  std::function<int64_t()> now_ms;
  std::function<std::unique_ptr<Home>()> make_home;
  // A call was answered: {"event": "incoming", "port", "caller_number", "caller_name"};
  // a fax came in or was removed: {"event": "received"|"removed", "fax": {...}}.
  std::function<void(const nlohmann::json&)> on_event;
  // Each fax once it is recorded.
  std::function<void(const ReceivedFax&)> on_receive;
};

class Inbox {
 public:
  Inbox(std::shared_ptr<JobStore> store, InboxOptions options);
  ~Inbox();  // a call still coming in is broken off; what arrived is kept
  Inbox(const Inbox&) = delete;
  Inbox& operator=(const Inbox&) = delete;

  // Newest first.
  std::vector<ReceivedFax> List(int limit);
  std::optional<ReceivedFax> Find(int64_t id);
  // Removes the record and its file; false when there was no such fax.
  bool Remove(int64_t id);

  // Answers a call ringing on `port` (on the line engine: its virtual remote
  // calling, to try receiving). `done` hears the fax as recorded, or why the
  // call could not be answered, once.
  using Answered = std::function<void(const std::optional<ReceivedFax>& fax, const std::string& error)>;
  void Answer(const std::string& port, const core::IncomingCall& from, Answered done);

  // Opens `ports` and those the engine's configuration says answer, and
  // waits for calls on each; a port that cannot answer is reported on
  // stderr and left alone. Returns, once every port waits or has failed,
  // the ports the engine's configuration keeps from dialling out.
  std::vector<std::string> AnswerCalls(const std::vector<std::string>& ports);

  // A port is either answering or dialling. Take lets the queue have `port`:
  // `go` runs (on the inbox's thread) once the port has been let go, at once
  // when no call has it, else when the call ends. Give hands it back.
  void Take(const std::string& port, std::function<void()> go);
  void Give(const std::string& port);
  // Takes that wait are forgotten and no more will run: before the queue goes.
  void StopLending();

 private:
  struct Line;
  Line& LineFor(const std::string& port);
  bool Listen(const std::string& port, Line& line);
  void Incoming(const std::string& port, const core::IncomingCall& from);
  void Received(const core::Reception& reception, int64_t answered_ms, const Answered& done);
  std::filesystem::path NewFile(int64_t when_ms, const std::string& caller) const;

  std::shared_ptr<JobStore> store_;
  InboxOptions options_;
  std::unique_ptr<Home> home_;
  // Used on the home's thread only.
  std::map<std::string, std::unique_ptr<Line>> lines_;
  bool lending_ = true;
};

}  // namespace qvfax::queue
