// The protocol document's reference part is what the surface publishes.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "rpc/surface.h"
#include "rpc/surface_document.h"

namespace qvfax::rpc {
namespace {

std::string Read(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(ProtocolDocument, ItsReferenceIsThePublishedSurface) {
  const std::string document = Read(QVFAX_SOURCE_DIR "/docs/protocol.md");
  const std::string reference = ReferenceMarkdown(Read(QVFAX_SOURCE_DIR "/src/values/enums.h"));
  ASSERT_FALSE(ReferenceOf(document).empty()) << "docs/protocol.md has lost its generated reference";
  EXPECT_EQ(ReferenceOf(document), reference)
      << "docs/protocol.md differs from the published surface: run "
         "qvfax-protocol-doc src/values/enums.h docs/protocol.md --write";
}

TEST(ProtocolDocument, EveryPublishedMemberHasARowOfItsClass) {
  const std::string reference = ReferenceMarkdown(Read(QVFAX_SOURCE_DIR "/src/values/enums.h"));
  for (const auto& c : DescribeSurface()) {
    const auto section = reference.find("#### `" + c.name + "`");
    ASSERT_NE(section, std::string::npos) << c.name;
    const auto next = reference.find("#### ", section + 1);
    const std::string rows = reference.substr(section, next - section);
    for (const auto& m : c.members) {
      EXPECT_NE(rows.find("| `" + m.name + "` | " + m.access + " | " + m.type + " |"), std::string::npos)
          << c.name << "." << m.name << " (" << m.access << ")";
    }
  }
}

TEST(ProtocolDocument, ReplacingTheReferenceKeepsTheProseAround) {
  const std::string document = std::string("intro\n") + kGeneratedBegin + "\nold\n" + kGeneratedEnd + "\nafter\n";
  const std::string updated = WithReference(document, "new\n");
  EXPECT_EQ(updated, std::string("intro\n") + kGeneratedBegin + "\nnew\n" + kGeneratedEnd + "\nafter\n");
  EXPECT_EQ(ReferenceOf(updated), "new\n");
  EXPECT_EQ(WithReference("no markers\n", "new\n"), "no markers\n");
}

}  // namespace
}  // namespace qvfax::rpc
