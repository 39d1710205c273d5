#include "components/events_sink.h"
#include "platform/automation_error.h"
#include "values/coded_values.h"

namespace qvfax {

void QvBkgFaxVmAttivita::ImpostaCodice(int32_t code) {
  Store(code);
  // The document shows the new activity before the sink hears of it.
  AggiornaElementoXml();
  if (!sink_) RaiseObjectNotSet();
  auto sink = sink_;  // the sink may be replaced from inside its own call
  sink->AttivitaCambiata(*this);
}

}  // namespace qvfax
