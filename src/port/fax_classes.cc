#include "port/fax_classes.h"

#include <array>

namespace qvfax {

namespace {

// 1-based position of the first occurrence, 0 when absent, as InStr counts.
size_t Pos(const std::string& text, const char* what) {
  const auto at = text.find(what);
  return at == std::string::npos ? 0 : at + 1;
}

bool HasPlain(const std::string& classes, const char* plain, const char* dotted) {
  const size_t p = Pos(classes, plain);
  return p > 0 && Pos(classes, dotted) != p;
}

struct ClassRule {
  std::array<const char*, 4> device_types;
  const char* plain;   // checked as a plain class unless nullptr
  const char* dotted;
  const char* message;
};

constexpr ClassRule kRules[] = {
    {{"GCLASS1(SFC)", "GCLASS1(HFC)", "GU.S.R14.4F(HFC)", "GH14.4F(HFC)"}, "1", "1.0",
     "The selected modem does not support Class 1"},
    {{"GCLASS1.0(SFC)", "GCLASS1.0(HFC)", nullptr, nullptr}, nullptr, "1.0",
     "The selected modem does not support Class 1.0"},
    {{"GCLASS2R", "GCLASS2S/RF/", nullptr, nullptr}, "2", "2.0",
     "The selected modem does not support Class 2"},
    {{"GCLASS2.0 MULTITECH", "GCLASS2.0", nullptr, nullptr}, nullptr, "2.0",
     "The selected modem does not support Class 2.0"},
};

}  // namespace

int32_t ClassiFaxFromList(const std::string& classes) {
  int32_t flags = 0;
  if (HasPlain(classes, "1", "1.0")) flags |= 1;
  if (Pos(classes, "1.0") > 0) flags |= 2;
  if (HasPlain(classes, "2", "2.0")) flags |= 4;
  if (Pos(classes, "2.0") > 0) flags |= 8;
  return flags;
}

const char* ClassMismatch(const std::string& device_type, const std::string& classes) {
  for (const auto& rule : kRules) {
    bool applies = false;
    for (const char* name : rule.device_types) applies |= name && device_type == name;
    if (!applies) continue;
    const bool supported = rule.plain ? HasPlain(classes, rule.plain, rule.dotted)
                                      : Pos(classes, rule.dotted) > 0;
    return supported ? nullptr : rule.message;
  }
  return nullptr;
}

}  // namespace qvfax
