// The simulated bank's fax objects: creation, parameters, number and pages.
#include <algorithm>

#include <fmt/format.h>

#include "engines/pages/tiff_pages.h"
#include "engines/sim/sim_bank_impl.h"
#include "values/enums.h"
#include "values/string_table.h"

namespace qvfax::sim {

namespace {
constexpr int16_t kFpSend = 9;
constexpr int16_t kImageTypeTiff = 11;
}  // namespace

int32_t SimBank::CreateFaxObject(int16_t fax_type, int16_t pages, int16_t resolution, int16_t width,
                                 int16_t length, int16_t compression, int16_t bft, int16_t ecm,
                                 int16_t colour_handling, int16_t colour_type) {
  // Colour and file transfer need a modem that does them; none of ours does
  // unless configured so, and the fax is then refused at creation.
  const bool bft_modem = std::any_of(impl_->ports.begin(), impl_->ports.end(),
                                     [](const PortState& p) { return p.config.modem && p.config.modem->bft; });
  const bool colour_modem = std::any_of(impl_->ports.begin(), impl_->ports.end(), [](const PortState& p) {
    return p.config.modem && p.config.modem->colour;
  });
  if (pages < 0 || (fax_type == qbfaxvmtf_BFT && !bft_modem) || (fax_type == qbfaxvmtf_COLOR && !colour_modem)) {
    impl_->Fail(qbfaxvmec_FAX_ERR_NO_FAX_CREATED);
    return 0;
  }
  const int32_t id = impl_->next_fax_id++;
  FaxObject fax;
  fax.fax_type = fax_type;
  fax.pages = pages;
  fax.resolution = resolution;
  fax.width = width;
  fax.length = length;
  fax.compression = compression;
  fax.bft = bft;
  fax.ecm = ecm;
  fax.colour_handling = colour_handling;
  fax.colour_type = colour_type;
  impl_->faxes.emplace(id, std::move(fax));
  impl_->journal.push_back(fmt::format("CreateFaxObject() = {}", id));
  return id;
}

int32_t SimBank::DeleteFaxObject(int32_t& fax_id) {
  if (impl_->call && impl_->call->fax_id == fax_id) return impl_->Fail(qbfaxvmec_FER_FAXNOW);
  if (impl_->faxes.erase(fax_id) == 0) return impl_->Fail(qbfaxvmec_FAX_ERR_BAD_FAX_ID);
  impl_->negotiated_ecm.erase(fax_id);
  impl_->journal.push_back(fmt::format("DeleteFaxObject({})", fax_id));
  return 0;
}

int32_t SimBank::SetFaxParam(int32_t& fax_id, int16_t param, int16_t value) {
  auto it = impl_->faxes.find(fax_id);
  if (it == impl_->faxes.end()) return impl_->Fail(qbfaxvmec_FAX_ERR_BAD_FAX_ID);
  if (param != kFpSend || value < 0) return impl_->Fail(qbfaxvmec_FAX_ERR_INVALID_PARAMETER);
  it->second.send_pages = value;
  return 0;
}

int32_t SimBank::GetFaxParameter(int32_t& fax_id, int16_t param) {
  auto it = impl_->faxes.find(fax_id);
  if (it == impl_->faxes.end()) return impl_->Fail(qbfaxvmec_FAX_ERR_BAD_FAX_ID);
  if (param == 2) {
    auto negotiated = impl_->negotiated_ecm.find(fax_id);
    if (negotiated == impl_->negotiated_ecm.end()) return it->second.ecm;
    return negotiated->second ? qbfaxvmbecm_Enable : qbfaxvmbecm_Disable;
  }
  if (param == 3) return qbfaxvmbft_Disable;  // no simulated call does file transfer
  return impl_->Fail(qbfaxvmec_FAX_ERR_INVALID_PARAMETER);
}

int32_t SimBank::SetPhoneNumber(int32_t& fax_id, std::string& number) {
  auto it = impl_->faxes.find(fax_id);
  if (it == impl_->faxes.end()) return impl_->Fail(qbfaxvmec_FAX_ERR_BAD_FAX_ID);
  if (number.empty()) return impl_->Fail(qbfaxvmec_FAX_ERR_NO_PHONE_NUMBER);
  it->second.number = number;
  return 0;
}

int32_t SimBank::GetNumberOfPages(std::string& file, int16_t image_type) {
  if (image_type != kImageTypeTiff) return impl_->Fail(qbfaxvmec_FAX_ERR_BAD_IMAGE_TYPE);
  const int32_t pages = pages::CountPages(file);
  return pages < 0 ? impl_->Fail(pages) : pages;
}

int32_t SimBank::SetFaxPage(int32_t& fax_id, int16_t fax_page, int16_t image_type, int16_t file_page) {
  auto it = impl_->faxes.find(fax_id);
  if (it == impl_->faxes.end()) return impl_->Fail(qbfaxvmec_FAX_ERR_BAD_FAX_ID);
  if (image_type != kImageTypeTiff) return impl_->Fail(qbfaxvmec_FAX_ERR_BAD_IMAGE_TYPE);
  if (impl_->image_file.empty()) return impl_->Fail(qbfaxvmec_FAX_ERR_NO_FILENAME_SPECIFIED);
  if (fax_page < 1) return impl_->Fail(qbfaxvmec_FER_BAD_PAGENUM);
  if (const int32_t error = pages::CheckPage(impl_->image_file, file_page)) return impl_->Fail(error);
  it->second.attached.emplace_back(impl_->image_file, file_page);
  impl_->journal.push_back(fmt::format("SetFaxPage({}, {}, {}, {}) {}", fax_id, fax_page, image_type, file_page,
                                       impl_->image_file));
  return 0;
}

const std::vector<std::string>& SimBank::Journal() const { return impl_->journal; }

std::string SimBank::TermStatusText(int32_t& status) {
  if (auto text = string_table::Find(1600 + status)) return std::string(*text);
  return "Unknown termination status " + std::to_string(status);
}

}  // namespace qvfax::sim
