// The daemon's fax queue and inbox: the store in the user's state folder, a
// runner on every port detection finds (or those named), job changes told to
// the broker's followers, and the notify command run when a job ends; the
// faxes that come in kept beside the jobs, and the receive command run for
// each.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "daemon/notify_runner.h"
#include "rpc/broker.h"

namespace qvfax::queue {
class JobQueue;
class Inbox;
}

namespace qvfax::daemon {

struct QueueSettings {
  bool enabled = true;
  std::vector<std::string> ports;  // empty: those modem detection finds
  std::string notify_command;      // run as CMD JOB NUMBER OUTCOME PAGES
  int notify_timeout_s = 60;       // then it is ended
  std::string folder;              // empty: qvfax/queue in the user's state folder
  // postgresql://...: the jobs in that database, shared with every host
  // given the same one (their documents in a --queue-folder they all read);
  // empty: an SQLite file in the folder, this host's alone.
  std::string database;
  std::string host;                // how other hosts name this one; empty: the host name
  int lease_s = 30;                // how long a running job stays ours unless renewed
  std::string inbox_folder;        // empty: qvfax/inbox in the user's state folder
  std::string on_receive;          // run as CMD FAXID FILE CALLER PAGES OUTCOME
  // Each fax that comes in is mailed as a PDF: "ADDRESS" for every port,
  // "PORT=ADDRESS" for one (which wins for that port).
  std::vector<std::string> mail_to;
  std::string sendmail = "/usr/sbin/sendmail";
  std::vector<std::string> answer;  // ports that answer calls, besides those the engine file names
};

class JobQueueService {
 public:
  // Throws std::runtime_error when the store cannot be used: a damaged or
  // locked queue is an error at start, never a queue emptied.
  JobQueueService(rpc::Broker& broker, const QueueSettings& settings);
  ~JobQueueService();  // detaches from the broker, then stops the runners
  const std::vector<std::string>& ports() const { return ports_; }

 private:
  rpc::Broker& broker_;
  std::vector<std::string> ports_;
  std::unique_ptr<NotifyRunner> notify_, on_receive_, mail_;
  std::unique_ptr<queue::JobQueue> queue_;
  std::unique_ptr<queue::Inbox> inbox_;
};

}  // namespace qvfax::daemon
