// In-process followers of published texts, by name. The daemon subscribes here
// to forward publications to the clients that follow a name.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace qvfax::publication_board {

using Follower = std::function<void(const std::string& name, const std::string& text)>;

// Returns a token for Unfollow. Followers are called on the publishing thread.
uint64_t Follow(const std::string& name, Follower follower);
void Unfollow(uint64_t token);
void Announce(const std::string& name, const std::string& text);

}  // namespace qvfax::publication_board
