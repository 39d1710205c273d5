#include <gtest/gtest.h>

#include "engines/sim/sim_bank.h"
#include "engines/core/bank_state.h"
#include "platform/manual_clock.h"

namespace qvfax::sim {
namespace {

class SimPorts : public ::testing::Test {
 protected:
  std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
  SimBank bank{DefaultConfig(), clock};
};

TEST_F(SimPorts, TheModemTestReportsTheModemOfThePort) {
  EXPECT_EQ(bank.PortNames(), "ttyS0 ttyS1");
  EXPECT_EQ(bank.TestModem("ttyS0"), 0);
  EXPECT_EQ(bank.ModemClasses(), "1,1.0,2,2.0");
  EXPECT_FALSE(bank.ModemIdentity().empty());
  EXPECT_EQ(bank.TestModem("ttyS1"), -167);
  EXPECT_EQ(bank.ModemClasses(), "");
  EXPECT_EQ(bank.TestModem("ttyS9"), -152);
  EXPECT_EQ(bank.TestDialTone("ttyS0"), 1);
  EXPECT_EQ(bank.TestDialTone("ttyS1"), -1);
}

TEST_F(SimPorts, PortsOpenAndCloseOnce) {
  EXPECT_EQ(bank.GetPortStatus("ttyS0"), -1);
  EXPECT_EQ(bank.OpenPort("ttyS0"), 0);
  EXPECT_EQ(bank.GetPortStatus("ttyS0"), 0);
  EXPECT_EQ(bank.OpenPort("ttyS0"), -156);
  EXPECT_EQ(bank.OpenPort("ttyS1"), -153);
  EXPECT_EQ(bank.ClosePort("ttyS0"), 0);
  EXPECT_EQ(bank.ClosePort("ttyS0"), -34);
  EXPECT_EQ(bank.LastErrorCode(), -34);
  bank.OpenPort("ttyS0");
  bank.ClosePorts();
  EXPECT_EQ(bank.GetPortStatus("ttyS0"), -1);
}

TEST_F(SimPorts, CapabilitiesKeepOnlyWhatTheModemSupports) {
  bank.OpenPort("ttyS0");
  struct Row {
    int16_t id, requested, in_force;
  };
  for (const Row& row : {Row{3, 3, 3}, Row{4, 3, 2}, Row{19, 3, 2}, Row{10, 15, 7}, Row{9, 0, 2},
                         Row{16, 3, 3}, Row{2, 5, 5}, Row{3, 1, 3}}) {
    bank.SetPortCapability("ttyS0", row.id, row.requested);
    EXPECT_EQ(bank.GetPortCapability("ttyS0", row.id), row.in_force) << row.id << "=" << row.requested;
  }
}

TEST(SimCapabilities, MmrNeedsErrorCorrection) {
  Modem no_ecm;
  no_ecm.ecm = false;
  EXPECT_EQ(core::EffectiveCapability(no_ecm, 2, 5, 2), 3);
  EXPECT_EQ(core::EffectiveCapability(no_ecm, 3, 3, 2), 2);
  EXPECT_EQ(core::InitialCapabilities(no_ecm).at(3), 2);
}

}  // namespace
}  // namespace qvfax::sim
