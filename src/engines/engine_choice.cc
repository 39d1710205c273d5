#include "engines/engine_choice.h"

#include <algorithm>

#include <CLI/CLI.hpp>

#include "engines/sim/sim_bank.h"

namespace qvfax {

void AddEngineOptions(CLI::App& app, EngineChoice& choice) {
  app.add_option("--engine", choice.name, "Fax engine")->check(CLI::IsMember({"sim"}))->capture_default_str();
  app.add_option("--engine-config", choice.config, "Engine configuration file (JSON)")->check(CLI::ExistingFile);
  app.add_option("--line-speed", choice.speed, "How many times faster than real time the line runs")
      ->check(CLI::Range(0.001, 100000.0))
      ->capture_default_str();
}

std::function<void(ComponentRegistry&)> EngineRegistration(const EngineChoice& choice) {
  auto config = choice.config.empty() ? sim::DefaultConfig() : sim::LoadConfig(choice.config);
  auto faster = [&](int32_t& ms) { ms = std::max(1, static_cast<int32_t>(ms / choice.speed)); };
  faster(config.timing.dial_ms);
  faster(config.timing.answer_ms);
  faster(config.timing.training_ms);
  faster(config.timing.page_ms);
  faster(config.timing.hangup_ms);
  return [config](ComponentRegistry& registry) { sim::RegisterSimEngine(registry, config); };
}

}  // namespace qvfax
