// Choosing the fax engine from the command line: its name and its
// configuration file, shared by qvfaxd and qvfax.
#pragma once

#include <functional>
#include <string>

namespace CLI {
class App;
}

namespace qvfax {

class ComponentRegistry;

struct EngineChoice {
  std::string name = "line";
  std::string config;  // engine configuration file; empty: the built-in default
  double speed = 0;    // times real time the line runs; 0: as fast as the processor allows
};

void AddEngineOptions(CLI::App& app, EngineChoice& choice);

// Reads the configuration now, so a bad file is reported before anything
// starts; throws std::runtime_error naming the file and the field.
std::function<void(ComponentRegistry&)> EngineRegistration(const EngineChoice& choice);

// Where the engine's own remotes store what they receive (the line engine's
// inbox), or "" for an engine whose remotes are elsewhere.
std::string RemotesInbox(const EngineChoice& choice);

}  // namespace qvfax
