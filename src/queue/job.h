// A fax job of the queue: what to send, where it stands, and its attempts.
// Times are milliseconds since the Unix epoch.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "queue/outcome.h"

namespace qvfax::queue {

// What the sender asked for; the files are the prepared fax TIFFs.
struct JobRequest {
  std::string number;
  std::vector<std::string> files;
  int32_t resolution = 3;  // the Risoluzione code that sends the prepared pages as they are
  bool ecm = true;
  std::string header;
  std::string local_id;
  int64_t not_before_ms = 0;  // 0: as soon as a port is free
  int64_t kill_ms = 0;        // no try starts after this; 0: none
  int32_t max_attempts = 3;
  int32_t pages = 0;          // pages prepared
  int32_t owner_pid = 0;
  int32_t owner_session = 0;
  // The client's own name for this submission: a repeat of it is the same job.
  std::string client_request;
  // Sent at once by a client through the daemon, not queued: kept for history only.
  bool direct = false;
};

enum class JobState { kQueued, kRunning, kDone, kFailed, kCancelled };

const char* StateName(JobState state);
bool Finished(JobState state);

struct Job {
  int64_t id = 0;
  JobRequest request;
  JobState state = JobState::kQueued;
  int64_t submitted_ms = 0;
  int64_t next_try_ms = 0;  // when a queued job may be tried
  int64_t ended_ms = 0;
  int32_t attempts = 0;
  int32_t pages_sent = 0;
  Exit outcome = Exit::kDelivered;  // meaningful once finished
  std::string reason;               // why it ended as it did, or why it waits
  std::string port;                 // the port of its latest attempt
  bool removing = false;            // removed while running: it ends cancelled, whatever its attempt did
};

// One try at sending a job, as the server object reported it.
struct Attempt {
  int64_t job = 0;
  int32_t number = 0;  // from 1
  std::string port;
  int64_t started_ms = 0, ended_ms = 0;
  int32_t trm_status = 0, error = 0;
  std::string status_text, error_text;
  int32_t pages_sent = 0;
  std::string remote_id;
  Exit outcome = Exit::kDelivered;
  std::string log;
};

}  // namespace qvfax::queue
