// Engine configuration files, damaged: seeded mutations of a valid file of
// each engine must load or give a ConfigError naming the file, never crash
// (the sanitizer build runs this too). The number of cases bounds its time.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <random>

#include "engines/core/port_model.h"
#include "engines/line/line_config.h"
#include "engines/modem/modem_config.h"
#include "engines/sim/sim_config.h"
#include "tiff_maker.h"

namespace qvfax {
namespace {

struct Engine {
  const char* name;
  std::string valid;
  std::function<void(const std::string& path)> load;
};

TEST(ConfigFuzz, DamagedFilesGiveConfigErrorsNotCrashes) {
  const Engine engines[] = {
      {"line", R"({"lines": [{"name": "l0"}, {"name": "l1", "dial_tone": true}], "any_number": {"answer": "fax", "rings": 1, "csi": "X", "ecm": true, "noise_dbm0": -60},
                  "directory": [{"number": "0699", "answer": "busy"}], "inbox": "/tmp/qvfax-fuzz-inbox", "speed": 0})",
       [](const std::string& p) { line::LoadLineConfig(p); }},
      {"modem", R"({"ports": [{"device": "/dev/ttyUSB0", "name": "usb", "flow": "none", "speed": 38400,
                   "dial_tone": "none"}], "lock_folder": "/run/lock", "dial_timeout_s": 60})",
       [](const std::string& p) { modem::LoadModemConfig(p); }},
      {"sim", R"({"ports": [{"name": "ttyUSB0", "modem": {"classes": "1", "dial_tone": 0}}, {"name": "ttyUSB1"}],
                 "remotes": [{"number": "556", "station_id": "R", "speed": 9600, "fail_at_page": 2}],
                 "other_numbers": {"answer": "no_answer"}, "timing": {"page_ms": 100}})",
       [](const std::string& p) { sim::LoadConfig(p); }},
  };
  std::mt19937 random(20261206);
  for (const auto& engine : engines) {
    const std::string path = testing::ScratchPath(std::string("fuzz-") + engine.name + ".json");
    int refused = 0;
    for (int round = 0; round < 500; ++round) {
      std::string text = engine.valid;
      if (round > 0) {
        for (int i = 0, n = 1 + static_cast<int>(random() % 4); i < n; ++i) {
          const size_t at = random() % text.size();
          if (random() % 3 == 0) {
            text.erase(at, 1 + random() % 8);
          } else {
            text[at] = "{}[]\",:0-9e.a \x01\xff"[random() % 17];
          }
          if (text.empty()) text = "x";
        }
      }
      std::ofstream(path, std::ios::trunc) << text;
      try {
        engine.load(path);
      } catch (const core::ConfigError& e) {
        EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
        EXPECT_GT(round, 0) << engine.name << ": the valid file was refused: " << e.what();
        ++refused;
      }
    }
    EXPECT_GT(refused, 100) << engine.name;
  }
}

}  // namespace
}  // namespace qvfax
