#include "components/publication_board.h"

#include <map>
#include <mutex>
#include <vector>

namespace qvfax::publication_board {

namespace {

struct Board {
  std::mutex mutex;
  uint64_t next = 1;
  std::map<uint64_t, std::pair<std::string, Follower>> followers;
};

Board& TheBoard() {
  static Board board;
  return board;
}

}  // namespace

uint64_t Follow(const std::string& name, Follower follower) {
  auto& b = TheBoard();
  std::lock_guard lock(b.mutex);
  const uint64_t token = b.next++;
  b.followers.emplace(token, std::make_pair(name, std::move(follower)));
  return token;
}

void Unfollow(uint64_t token) {
  auto& b = TheBoard();
  std::lock_guard lock(b.mutex);
  b.followers.erase(token);
}

void Announce(const std::string& name, const std::string& text) {
  auto& b = TheBoard();
  std::vector<Follower> targets;
  {
    std::lock_guard lock(b.mutex);
    if (b.followers.empty()) return;
    for (auto& [token, entry] : b.followers) {
      if (entry.first == name) targets.push_back(entry.second);
    }
  }
  for (auto& follower : targets) follower(name, text);
}

}  // namespace qvfax::publication_board
