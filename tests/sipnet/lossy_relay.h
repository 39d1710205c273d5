// A media relay for tests that loses, delays and reorders datagrams on real
// sockets: it takes the ports of a range on one loopback address (the one a
// receiver advertises as its external address) and passes each datagram on
// to the same port on another (where the receiver's sockets are), and the
// answers back to whoever sent last, both ways impaired alike.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace qvfax::testing {

struct Impairment {
  double loss = 0;     // the share of datagrams lost, each way
  int delay_ms = 20;   // every datagram's delay
  int jitter_ms = 0;   // up to this much more, at random, in order as a queue keeps them; one in
                       // fifty is held back longer and overtaken
  uint32_t seed = 1;
};

class LossyRelay {
 public:
  // Listens on `outside`:first..last and passes on to `inside`:same port.
  LossyRelay(const std::string& outside, const std::string& inside, int first, int last, Impairment impairment);
  ~LossyRelay();
  LossyRelay(const LossyRelay&) = delete;
  LossyRelay& operator=(const LossyRelay&) = delete;

  bool Listening() const { return !sockets_.empty(); }
  int Passed() const { return passed_; }
  int Lost() const { return lost_; }
  int Overtaken() const { return overtaken_; }

 private:
  void Run();

  std::string inside_;
  int first_;
  Impairment impairment_;
  std::vector<int> sockets_;
  std::atomic<bool> stop_{false};
  std::atomic<int> passed_{0}, lost_{0}, overtaken_{0};
  std::thread thread_;
};

}  // namespace qvfax::testing
