#include <gtest/gtest.h>

#include "components/modem_info_list.h"
#include "components/registry_file.h"
#include "port/display_setting.h"
#include "server_fixture.h"

namespace qvfax {
namespace {

using testing::ServerFixture;

// A fax under way on ttyS0 of a recording control: the send timer has fired.
class EndOfFax : public ::testing::Test {
 protected:
  EndOfFax() {
    std::filesystem::remove(RegistryFile::DefaultFile());
    server = &f.CreateWithSink();
    auto modem = std::make_shared<ModemInfo>();
    modem->Porta("ttyS0");
    server->ImpostaInfoFaxModem(modem);
    f.fax->Script("GetPortStatus", 1);
    f.fax->Script("CreateFaxObject", 9);
    f.fax->Script("DisplayFaxManager", 1);
    server->NumeroFax("0612345");
    server->Invia();
    f.apartment.clock->Advance(50);
    f.manager->calls.clear();
    f.fax->calls.clear();
  }

  void WriteSetting(bool show) {
    RegistryFile registry(RegistryFile::DefaultFile());
    registry.CreateKey(DisplaySettingKey(), kHkeyCurrentUser);
    registry.WriteBool(kDisplaySettingValue, show);
  }
  bool ReadSetting() {
    RegistryFile registry(RegistryFile::DefaultFile());
    registry.OpenKey(DisplaySettingKey(), kHkeyCurrentUser);
    return registry.ReadBool(kDisplaySettingValue, true);
  }

  ServerFixture f;
  QvVavUvaRazUr* server = nullptr;
};

TEST_F(EndOfFax, PollsEverySecondUntilThePortIsIdleThenFinishes) {
  f.apartment.clock->Advance(3000);
  EXPECT_EQ(f.fax->CallsTo("GetPortStatus").size(), 3u);
  EXPECT_EQ(server->Attivita()->Codice(), 6);
  f.fax->Script("GetPortStatus", 0);
  const size_t published = f.StatusPublisher().count();
  f.apartment.clock->Advance(1000);
  EXPECT_EQ(server->Attivita()->Codice(), 0);
  EXPECT_EQ(f.sink->heard, (std::vector<std::string>{"Attivita 6", "InizioInvio", "FineInvio", "Attivita 0"}));
  EXPECT_EQ(f.fax->CallsTo("SetPortFlag"), (std::vector<std::string>{"SetPortFlag(ttyS0, false)"}));
  EXPECT_EQ(f.fax->CallsTo("DeleteFaxObject"), (std::vector<std::string>{"DeleteFaxObject(9)"}));
  EXPECT_EQ(server->FaxID(), 0);
  EXPECT_EQ(server->XArrayDBLog()->UpperBound(1), -1);
  EXPECT_NE(server->TestoLog().find("Fax completato alle: 05/12/2026 09.30.04\r\n"
                                    "************************************************\r\n"
                                    "****         Fine trasmissione fax          ****\r\n"
                                    "************************************************\r\n"),
            std::string::npos);
  // Port status, then Annulla and Annullabile together, then the activity.
  EXPECT_EQ(f.StatusPublisher().count() - published, 3u);
  const size_t polls = f.fax->CallsTo("GetPortStatus").size();
  f.apartment.clock->Advance(5000);
  EXPECT_EQ(f.fax->CallsTo("GetPortStatus").size(), polls) << "the end timer is off";
}

TEST_F(EndOfFax, AFailedDeletionIsLoggedAndTheIdClearedAllTheSame) {
  f.fax->Script("GetPortStatus", 0);
  f.fax->Script("DeleteFaxObject", -159);
  f.fax->Script("LastErrorCode", -159);
  f.apartment.clock->Advance(1000);
  EXPECT_NE(server->TestoLog().find("Error deleting fax object! ID = 9 Error code : -159\r\n"), std::string::npos);
  EXPECT_EQ(server->FaxID(), 0);
  EXPECT_EQ(server->Attivita()->Codice(), 0);
}

TEST_F(EndOfFax, ASettingChangedOutsideIsAppliedWhenNoErrorIsPending) {
  WriteSetting(false);
  f.apartment.clock->Advance(1000);
  EXPECT_EQ(f.manager->calls, (std::vector<std::string>{"SetDialogMode(0)"}));
  f.apartment.clock->Advance(1000);
  EXPECT_EQ(f.manager->calls.size(), 1u) << "the next tick sees no difference";
}

TEST_F(EndOfFax, APendingErrorSuppressesTheDialogModeButTheFlagFollows) {
  server->Errore()->ImpostaCodice(-22);
  WriteSetting(false);
  f.apartment.clock->Advance(1000);
  EXPECT_TRUE(f.manager->calls.empty());
  f.fax->Script("DisplayFaxManager", 0);
  f.apartment.clock->Advance(1000);
  EXPECT_TRUE(f.manager->calls.empty()) << "the flag already took False";
  EXPECT_FALSE(ReadSetting());
}

TEST_F(EndOfFax, TheControlsChangeIsWrittenBackToTheSetting) {
  f.fax->Script("DisplayFaxManager", 0);
  f.apartment.clock->Advance(1000);
  EXPECT_FALSE(ReadSetting());
  EXPECT_TRUE(f.manager->calls.empty());
}

TEST_F(EndOfFax, ACancelAbortsOnceThenAgainEvery15SecondsWhileDisconnecting) {
  f.manager->status = "Sending page 1";
  f.manager->baud = "9600";
  server->AnnullaFax();
  f.apartment.clock->Advance(250);
  EXPECT_EQ(server->Annulla(), -1);
  EXPECT_EQ(f.fax->CallsTo("AbortPort"), (std::vector<std::string>{"AbortPort(ttyS0)"}));
  EXPECT_NE(server->TestoLog().find("Page Number: 0\r\nPage Ready: \r\nBaud: 9600\r\n"
                                    "Trasmission status: Sending page 1\r\nPort status: 1 Working\r\n"),
            std::string::npos);
  f.apartment.clock->Advance(500);
  EXPECT_EQ(f.fax->CallsTo("AbortPort").size(), 1u) << "nothing while the line is not being released";
  f.manager->status = "DISCONNECTING line";
  f.apartment.clock->Advance(250);
  EXPECT_EQ(f.fax->CallsTo("AbortPort").size(), 2u);
  f.apartment.clock->Advance(14'999);
  EXPECT_EQ(f.fax->CallsTo("AbortPort").size(), 2u);
  f.apartment.clock->Advance(1);
  EXPECT_EQ(f.fax->CallsTo("AbortPort").size(), 3u);
  f.fax->Script("AbortPort", -34);
  f.fax->Script("GetPortStatus", 0);
  f.apartment.clock->Advance(15'000);
  EXPECT_EQ(server->Attivita()->Codice(), 0);
  EXPECT_EQ(f.fax->CallsTo("AbortPort").size(), 3u) << "an idle port stops the cancel";
  EXPECT_EQ(server->Annulla(), 0);
}

TEST_F(EndOfFax, ACancelArmedJustBeforeTheEndSwitchesItselfOff) {
  server->AnnullaFax();
  server->PortStatus()->ImpostaCodice(0);
  f.apartment.clock->Advance(250);
  EXPECT_TRUE(f.fax->CallsTo("AbortPort").empty());
  EXPECT_EQ(server->Annulla(), 0);
}

}  // namespace
}  // namespace qvfax
