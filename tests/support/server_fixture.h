// A server object on a test apartment, with a recording fax control, fax
// manager, log file writer and publishers, and a recording events sink.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "components/events_sink.h"
#include "engines/sim/sim_bank.h"
#include "components/log_file_writer.h"
#include "recording_fax_control.h"
#include "recording_fax_manager.h"
#include "server/qv_vav_uva_raz_ur.h"
#include "test_apartment.h"
#include "components/modem_info.h"
#include "components/xarraydb.h"
#include "values/avanzamento.h"
#include "values/coded_values.h"
#include "values/containers.h"
#include "values/intestazione.h"
#include "values/two_code_value.h"

namespace qvfax::testing {

struct LoggedLine {
  std::string text;
  int32_t kind;
};

class RecordingLogWriter : public LogFileWriter {
 public:
  std::vector<std::string> calls;
  std::vector<LoggedLine> lines;
  std::string file_name;

  void ApplicationName(const std::string& name) override { calls.push_back("ApplicationName=" + name); }
  void Folder(const std::string& folder) override { calls.push_back("Folder=" + folder); }
  void Enabled(bool enabled) override { calls.push_back(enabled ? "Enabled=True" : "Enabled=False"); }
  void Open() override {
    calls.push_back("Open");
    file_name = "/var/log/qvfax/QvNrVavUvaRazUr.log";
  }
  void WriteLine(const std::string& text, int32_t kind, int32_t, int32_t) override {
    lines.push_back({text, kind});
  }
  void Close(int32_t how) override { calls.push_back("Close(" + std::to_string(how) + ")"); }
  std::string FileName() const override { return file_name; }
};

class RecordingSink : public BkgFaxVmEventi {
 public:
  std::vector<std::string> heard;
  void AttivitaCambiata(QvBkgFaxVmAttivita& attivita) override;
  void InizioInvio() override { heard.push_back("InizioInvio"); }
  void FineInvio() override { heard.push_back("FineInvio"); }
};

class ServerFixture {
 public:
  ServerFixture();
  ~ServerFixture();

  // Puts the simulated modem bank in the place of the recording control.
  void UseSimulatedBank();
  void UseSimulatedBank(sim::Config config);

  // Creates the server object; the components are registered by then.
  QvVavUvaRazUr& Create();
  // Creates it and sets the recording sink.
  QvVavUvaRazUr& CreateWithSink();

  TestApartment apartment;
  std::shared_ptr<RecordingFaxControl> fax = std::make_shared<RecordingFaxControl>();
  std::shared_ptr<RecordingFaxManager> manager = std::make_shared<RecordingFaxManager>();
  std::shared_ptr<RecordingLogWriter> log_file = std::make_shared<RecordingLogWriter>();
  std::vector<std::shared_ptr<CountingPublisher>> publishers;  // in creation order
  std::shared_ptr<RecordingSink> sink = std::make_shared<RecordingSink>();
  std::unique_ptr<QvVavUvaRazUr> server;
  std::shared_ptr<sim::SimBank> bank;  // the simulated bank, once created

  CountingPublisher& StatusPublisher();  // opened as "QvVavUvaRazUr"
  CountingPublisher& LogPublisher();     // opened as "QvVavUvaRazUr_Log"
};

}  // namespace qvfax::testing
