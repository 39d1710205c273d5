// Sending a fax: counting the pages and the send timer's handler.
#include "server/server_state.h"

namespace qvfax {

namespace {
std::vector<std::string> SplitFiles(const std::string& files) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    const size_t plus = files.find('+', start);
    parts.push_back(files.substr(start, plus - start));
    if (plus == std::string::npos) break;
    start = plus + 1;
  }
  return parts;
}
}  // namespace

void QvVavUvaRazUr::FilesTif(const std::string& files) {
  m_->mlngPagineDaTrasmettere = 0;
  m_->files_tif = files;
  if (files.empty()) return;
  for (auto& part : SplitFiles(files)) {
    m_->mlngPagineDaTrasmettere += m_->mobjFax->GetNumberOfPages(part, 11);
  }
}

void QvVavUvaRazUr::mobjTimerSend_TimerEvent() { m_->mobjTimerSend->Enabled(false); }

}  // namespace qvfax
