// A store that cannot be written (a full disk): the queue keeps nothing it
// could not store and tells nobody of it.
#include <gtest/gtest.h>

#include "queue_rig.h"

namespace qvfax::testing {
namespace {

class FullDiskStore : public queue::JobStore {
 public:
  int64_t Add(const queue::Job&) override { throw queue::StoreError("cannot write: database or disk is full"); }
  void Save(const queue::Job&) override { throw queue::StoreError("cannot write: database or disk is full"); }
  void Record(const queue::Job&, const queue::Attempt&) override {}
  std::vector<queue::Job> Unfinished(int64_t, int) override { return {}; }
  std::vector<queue::Job> History(int) override { return {}; }
  std::optional<queue::Job> Find(int64_t) override { return std::nullopt; }
  std::optional<queue::Job> FindRequest(const std::string&) override { return std::nullopt; }
  std::vector<queue::Attempt> Attempts(int64_t) override { return {}; }
  int64_t AddReceived(const queue::ReceivedFax&) override { throw queue::StoreError("cannot write: database or disk is full"); }
  std::vector<queue::ReceivedFax> Received(int) override { return {}; }
  std::optional<queue::ReceivedFax> FindReceived(int64_t) override { return std::nullopt; }
  bool RemoveReceived(int64_t) override { return false; }
};

TEST(JobQueueOnAFullDisk, ASubmitThatCannotBeStoredFailsAndLeavesNothing) {
  QueueRig rig;  // for its homes, documents and clock
  std::vector<nlohmann::json> heard;
  queue::QueueOptions options;
  options.ports = {"ttyS0"};
  options.now_ms = [&] { return rig.now_ms; };
  auto registry = std::make_shared<ComponentRegistry>();
  options.make_home = [&](const std::string&) { return std::make_unique<TestHome>(registry); };
  options.on_event = [&](const nlohmann::json& change) { heard.push_back(change); };
  queue::JobQueue full(std::make_unique<FullDiskStore>(), options);
  EXPECT_THROW(full.Submit(rig.Request("0601")), queue::StoreError);
  EXPECT_TRUE(full.Jobs().empty());
  EXPECT_TRUE(heard.empty());
}

}  // namespace
}  // namespace qvfax::testing
