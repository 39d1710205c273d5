#include "engines/engine_choice.h"

#include <algorithm>

#include <CLI/CLI.hpp>

#include "engines/line/line_bank.h"
#include "engines/line/line_config.h"
#include "engines/modem/modem_bank.h"
#include "engines/sim/sim_bank.h"
#include "engines/sip/sip_bank.h"
#include "engines/sip/sip_config.h"

namespace qvfax {

void AddEngineOptions(CLI::App& app, EngineChoice& choice) {
  app.add_option("--engine", choice.name,
                 "Fax engine: line (real fax signals on a software line), modem (Class 1 fax modems on serial "
                 "ports), sip (fax over SIP: G.711 or T.38) or sim")
      ->check(CLI::IsMember({"line", "modem", "sip", "sim"}))
      ->capture_default_str();
  app.add_option("--engine-config", choice.config, "Engine configuration file (JSON)")->check(CLI::ExistingFile);
  app.add_option("--line-speed", choice.speed, "How many times faster than real time the line runs (0: at once)")
      ->check(CLI::Range(0.0, 100000.0))
      ->capture_default_str();
}

std::function<void(ComponentRegistry&)> EngineRegistration(const EngineChoice& choice) {
  if (choice.name == "line") {
    auto config = choice.config.empty() ? line::DefaultLineConfig() : line::LoadLineConfig(choice.config);
    if (choice.speed > 0 || choice.config.empty()) config.speed = choice.speed;
    return [config](ComponentRegistry& registry) { line::RegisterLineEngine(registry, config); };
  }
  if (choice.name == "modem") {
    auto config = choice.config.empty() ? modem::DefaultModemConfig() : modem::LoadModemConfig(choice.config);
    return [config](ComponentRegistry& registry) { modem::RegisterModemEngine(registry, config); };
  }
  if (choice.name == "sip") {
    if (choice.config.empty()) {
      throw std::runtime_error("the sip engine needs --engine-config naming its SIP accounts");
    }
    auto config = sip::LoadSipConfig(choice.config);
    return [config](ComponentRegistry& registry) { sip::RegisterSipEngine(registry, config); };
  }
  auto config = choice.config.empty() ? sim::DefaultConfig() : sim::LoadConfig(choice.config);
  if (choice.speed != 1) {
    // 0 plays the call at once; other factors shorten (or stretch) every step.
    auto scale = [&](int32_t& ms) {
      ms = choice.speed <= 0 ? 1 : std::max(1, static_cast<int32_t>(ms / choice.speed));
    };
    scale(config.timing.dial_ms);
    scale(config.timing.answer_ms);
    scale(config.timing.training_ms);
    scale(config.timing.page_ms);
    scale(config.timing.hangup_ms);
  }
  return [config](ComponentRegistry& registry) { sim::RegisterSimEngine(registry, config); };
}

std::string RemotesInbox(const EngineChoice& choice) {
  if (choice.name != "line") return {};
  try {
    return choice.config.empty() ? line::DefaultLineConfig().inbox : line::LoadLineConfig(choice.config).inbox;
  } catch (const std::exception&) {
    return {};
  }
}

}  // namespace qvfax
