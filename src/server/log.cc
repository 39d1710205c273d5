// The log: each line goes to the log file, to the published log text and to
// the log table.
#include <algorithm>

#include "components/log_file_writer.h"
#include "server/server_state.h"

namespace qvfax {

void QvVavUvaRazUr::ScriviLog(const std::string& text) {
  std::string line = text;
  line.erase(std::remove(line.begin(), line.end(), '\r'), line.end());
  line.erase(std::remove(line.begin(), line.end(), '\n'), line.end());
  m_->apartment->log_writer->WriteLine(line, 0, 0, 0);
  AccodaTestoLog(line);
  auto& table = *m_->log_table;
  table.AppendRows(1);
  table.Value(table.UpperBound(1), 0, m_->clock().LocalNow());
  table.Value(table.UpperBound(1), 1, line);
}

void QvVavUvaRazUr::AccodaTestoLog(const std::string& line) {
  m_->testo_log.append(line).append("\r\n");
  m_->log_publisher->Publish(m_->testo_log);
}

void QvVavUvaRazUr::AzzeraTestoLog() {
  m_->testo_log.clear();
  m_->log_publisher->Publish(m_->testo_log);
}

const std::string& QvVavUvaRazUr::TestoLog() const { return m_->testo_log; }

}  // namespace qvfax
