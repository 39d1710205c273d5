#include "server_fixture.h"

#include <stdexcept>

#include "components/text_publisher.h"
#include "engines/sim/sim_bank.h"
#include "server/control_host.h"
#include "values/coded_values.h"

namespace qvfax::testing {

void RecordingSink::AttivitaCambiata(QvBkgFaxVmAttivita& attivita) {
  heard.push_back("Attivita " + std::to_string(attivita.Codice()));
}

ServerFixture::ServerFixture() {
  auto& registry = *apartment.context.registry;
  registry.Register<FaxControl>(kFaxControlClass, [this] { return fax; });
  registry.Register<FaxManager>(kFaxManagerLibrary, [this] { return manager; });
  registry.Register<LogFileWriter>(kLogFileWriterClass, [this] { return log_file; });
  registry.Register<TextPublisher>(kTextPublisherClass, [this] {
    publishers.push_back(std::make_shared<CountingPublisher>());
    return publishers.back();
  });
}

void ServerFixture::UseSimulatedBank() { UseSimulatedBank(sim::DefaultConfig()); }

void ServerFixture::UseSimulatedBank(sim::Config config) {
  sim::RegisterSimEngine(*apartment.context.registry, std::move(config),
                         [this](std::shared_ptr<sim::SimBank> b) { bank = std::move(b); });
}

ServerFixture::~ServerFixture() { server.reset(); }

QvVavUvaRazUr& ServerFixture::Create() {
  server = std::make_unique<QvVavUvaRazUr>();
  return *server;
}

QvVavUvaRazUr& ServerFixture::CreateWithSink() {
  Create().BkgFaxVmEventi(sink);
  return *server;
}

CountingPublisher& ServerFixture::StatusPublisher() {
  for (auto& p : publishers) {
    if (p->name == "QvVavUvaRazUr") return *p;
  }
  throw std::logic_error("no status publisher opened");
}

CountingPublisher& ServerFixture::LogPublisher() {
  for (auto& p : publishers) {
    if (p->name == "QvVavUvaRazUr_Log") return *p;
  }
  throw std::logic_error("no log publisher opened");
}

}  // namespace qvfax::testing
