#include "components/standins.h"

#include "components/clock_timer.h"
#include "components/lifecycle_notifier.h"
#include "components/modem_info_list.h"
#include "components/registry_file.h"
#include "components/runtime_file_publisher.h"
#include "components/text_log_file.h"
#include "platform/apartment.h"
#include "platform/xdg_paths.h"

namespace qvfax {

void RegisterStandIns(ComponentRegistry& registry) {
  registry.Register<Timer>(kTimerClass, [] {
    return std::make_shared<ClockTimer>(RequireApartment().clock);
  });
  registry.Register<LogFileWriter>(kLogFileWriterClass, [] {
    auto clock = RequireApartment().clock;
    return std::make_shared<TextLogFile>([clock] { return clock->LocalNow(); });
  });
  registry.Register<TextPublisher>(kTextPublisherClass, [] {
    return std::make_shared<RuntimeFilePublisher>(xdg::RuntimeDir() / "qvfax");
  });
  registry.Register<LifecycleNotifier>(kLifecycleNotifierClass, [] {
    return std::make_shared<JournalLifecycleNotifier>();
  });
  registry.Register<RegistryObject>(kRegistryObjectClass, [] {
    return std::make_shared<RegistryFile>(RegistryFile::DefaultFile());
  });
  registry.Register<RInfoFaxModem>(kRInfoFaxModemClass, [] { return std::make_shared<ModemInfo>(); });
  registry.Register<InfoFaxModems>(kInfoFaxModemsClass, [] { return std::make_shared<ModemInfoList>(); });
}

}  // namespace qvfax
