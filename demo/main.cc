// Prints the descriptions of a few codes, as the server hands them out.
#include <cstdio>
#include <memory>

#include "platform/apartment.h"
#include "platform/manual_clock.h"
#include "values/res_dll.h"

int main() {
  using namespace qvfax;
  ApartmentContext context;
  context.clock = std::make_shared<ManualClock>();
  context.resources = std::make_shared<QvBkgFaxVmResDll>();
  ApartmentScope scope(context);

  struct Sample {
    const char* what;
    int32_t base;
    int32_t code;
    bool absolute;
  };
  const Sample samples[] = {
      {"Attivita", 100, 6, false},       {"PortStatus", 201, -1, false},
      {"ToneDial", 901, -1, false},      {"Errore", 10000, -34, true},
      {"Errore", 10000, -158, true},     {"TRMStatus", 1600, 6, false},
      {"Dispositivo", 500, 1, false},    {"Risoluzione", 300, 2, false},
  };
  for (const auto& s : samples) {
    std::printf("%-12s %5d  %s\n", s.what, s.code, DescribeCode(s.base, s.code, s.absolute).c_str());
  }
  return 0;
}
