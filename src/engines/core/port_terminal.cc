#include "engines/core/port_terminal.h"

#include "values/enums.h"

namespace qvfax::core {

T30Terminal TerminalForPort(const std::map<int16_t, int16_t>& caps, const std::string& ident, int modulations) {
  T30Terminal terminal;
  terminal.ident = ident;
  const int max_baud = caps.count(10) ? caps.at(10) : int{qbfaxvmbr_14400};
  if (max_baud < qbfaxvmbr_14400) modulations &= ~T30_SUPPORT_V17;
  if (max_baud < qbfaxvmbr_9600) modulations &= ~T30_SUPPORT_V29;
  terminal.modems = modulations != 0 ? modulations : T30_SUPPORT_V27TER;
  terminal.t4_2d = !caps.count(2) || caps.at(2) >= qbfaxvmc_2DMR;
  terminal.ecm = caps.count(3) && caps.at(3) == qbfaxvmbecm_Enable;
  terminal.t6 = terminal.ecm && (!caps.count(2) || caps.at(2) >= qbfaxvmc_2DMMR);
  return terminal;
}

}  // namespace qvfax::core
