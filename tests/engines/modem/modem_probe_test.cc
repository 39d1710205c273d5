// Class and modulation lists as modems write them.
#include <spandsp.h>

#include <gtest/gtest.h>

#include "engines/modem/modem_probe.h"

namespace qvfax::modem {
namespace {

TEST(ModemLists, ClassesInTheControlsForm) {
  const std::pair<const char*, const char*> rows[] = {
      {"0,1,1.0", "1,1.0"},       {"(0,1,2,2.0)", "1,2,2.0"}, {"0-2", "1,2"}, {"0,1.0,2.0,8", "1.0,2.0"},
      {"0,2.0", "2.0"},           {"0,8", ""},                {"", ""},       {"(0-1),(1.0)", "1,1.0"},
  };
  for (const auto& [listed, classes] : rows) EXPECT_EQ(ClassesFromList(listed), classes) << listed;
}

TEST(ModemLists, AModulationFamilyNeedsAllItsRates) {
  const std::pair<const char*, int> rows[] = {
      {"24,48,72,73,74,96,97,98,121,122,145,146", T30_SUPPORT_V27TER | T30_SUPPORT_V29 | T30_SUPPORT_V17},
      {"24,48,72,96", T30_SUPPORT_V27TER | T30_SUPPORT_V29},
      {"24,48", T30_SUPPORT_V27TER},
      {"(24,48,72,96,145,146)", T30_SUPPORT_V27TER | T30_SUPPORT_V29},
      {"3", 0},
  };
  for (const auto& [listed, flags] : rows) EXPECT_EQ(ModulationsFromList(listed), flags) << listed;
}

}  // namespace
}  // namespace qvfax::modem
