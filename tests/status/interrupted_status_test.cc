// A status document left in the middle of a send by a process that is gone
// is published again as idle; one whose process still runs is left alone.
#include "status/interrupted_status.h"

#include <gtest/gtest.h>

namespace qvfax {
namespace {

const char* kSending =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><VavUvaRazUr>VavUvaRazUr<Annullabile>-1</Annullabile>"
    "<ProcessId>4242</ProcessId><Attivita><Codice>6</Codice><Descrizione>Trasmissione fax in corso..."
    "</Descrizione></Attivita></VavUvaRazUr>";

TEST(IdleStatusOf, ClearsTheWorkOfAProcessThatIsGone) {
  const auto idle = IdleStatusOf(kSending, [](int) { return false; });
  ASSERT_TRUE(idle);
  EXPECT_NE(idle->find("<Attivita><Codice>0</Codice><Descrizione>Nessuna</Descrizione></Attivita>"), std::string::npos)
      << *idle;
  EXPECT_NE(idle->find("<Annullabile>0</Annullabile>"), std::string::npos);
  EXPECT_NE(idle->find("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"), std::string::npos) << "the declaration stays";
  EXPECT_NE(idle->find("<ProcessId>4242</ProcessId>"), std::string::npos);
}

TEST(IdleStatusOf, LeavesWhatNeedsNoChange) {
  int asked = 0;
  EXPECT_FALSE(IdleStatusOf(kSending, [&](int pid) { return ++asked, pid == 4242; })) << "its process still sends";
  EXPECT_EQ(asked, 1);
  const auto idle = IdleStatusOf(kSending, [](int) { return false; });
  EXPECT_FALSE(IdleStatusOf(*idle, [](int) { return false; })) << "already idle";
  EXPECT_FALSE(IdleStatusOf("not xml <", [](int) { return false; }));
}

}  // namespace
}  // namespace qvfax
