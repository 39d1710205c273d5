// A bank's fax objects: creation, parameters, number and pages.
#include <algorithm>

#include <fmt/format.h>

#include "engines/pages/tiff_pages.h"
#include "engines/core/bank_state.h"
#include "engines/pages/bitmap_page.h"
#include "engines/pages/raw_pages.h"
#include "values/enums.h"
#include "values/string_table.h"

namespace qvfax::core {

namespace {
constexpr int16_t kFpSend = 9;
constexpr int16_t kImageTypeTiff = 11;
}  // namespace

int32_t Bank::CreateFaxObject(int16_t fax_type, int16_t pages, int16_t resolution, int16_t width,
                                 int16_t length, int16_t compression, int16_t bft, int16_t ecm,
                                 int16_t colour_handling, int16_t colour_type) {
  if (state_->page_kind == PageKind::kT30Bitmap) {
    // Our T.30 calls carry black-and-white pages only: no file transfer, no colour.
    if (fax_type == qbfaxvmtf_BFT || bft == qbfaxvmbft_Enable) {
      state_->Fail(qbfaxvmec_FER_INCOMPATIBLE_BFT_MODE);
      return 0;
    }
    if (fax_type == qbfaxvmtf_COLOR || colour_handling == qbfaxvmgc_Enable) {
      state_->Fail(qbfaxvmec_FER_INCOMPATIBLE_COLOR_MODE);
      return 0;
    }
  }
  // Colour and file transfer need a modem that does them; the fax is refused
  // at creation when no port has one.
  const bool bft_modem = std::any_of(state_->ports.begin(), state_->ports.end(),
                                     [](const PortState& p) { return p.config.modem && p.config.modem->bft; });
  const bool colour_modem = std::any_of(state_->ports.begin(), state_->ports.end(), [](const PortState& p) {
    return p.config.modem && p.config.modem->colour;
  });
  if (pages < 0 || (fax_type == qbfaxvmtf_BFT && !bft_modem) || (fax_type == qbfaxvmtf_COLOR && !colour_modem)) {
    state_->Fail(qbfaxvmec_FAX_ERR_NO_FAX_CREATED);
    return 0;
  }
  const int32_t id = state_->next_fax_id++;
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
  state_->faxes.emplace(id, std::move(fax));
  state_->journal.push_back(fmt::format("CreateFaxObject() = {}", id));
  return id;
}

int32_t Bank::DeleteFaxObject(int32_t& fax_id) {
  if (state_->call && state_->call->fax_id == fax_id) return state_->Fail(qbfaxvmec_FER_FAXNOW);
  if (state_->faxes.erase(fax_id) == 0) return state_->Fail(qbfaxvmec_FAX_ERR_BAD_FAX_ID);
  state_->negotiated_ecm.erase(fax_id);
  state_->journal.push_back(fmt::format("DeleteFaxObject({})", fax_id));
  return 0;
}

int32_t Bank::SetFaxParam(int32_t& fax_id, int16_t param, int16_t value) {
  auto it = state_->faxes.find(fax_id);
  if (it == state_->faxes.end()) return state_->Fail(qbfaxvmec_FAX_ERR_BAD_FAX_ID);
  if (param != kFpSend || value < 0) return state_->Fail(qbfaxvmec_FAX_ERR_INVALID_PARAMETER);
  it->second.send_pages = value;
  return 0;
}

int32_t Bank::GetFaxParameter(int32_t& fax_id, int16_t param) {
  auto it = state_->faxes.find(fax_id);
  if (it == state_->faxes.end()) return state_->Fail(qbfaxvmec_FAX_ERR_BAD_FAX_ID);
  if (param == 2) {
    auto negotiated = state_->negotiated_ecm.find(fax_id);
    if (negotiated == state_->negotiated_ecm.end()) return it->second.ecm;
    return negotiated->second ? qbfaxvmbecm_Enable : qbfaxvmbecm_Disable;
  }
  if (param == 3) return qbfaxvmbft_Disable;  // no simulated call does file transfer
  return state_->Fail(qbfaxvmec_FAX_ERR_INVALID_PARAMETER);
}

int32_t Bank::SetPhoneNumber(int32_t& fax_id, std::string& number) {
  auto it = state_->faxes.find(fax_id);
  if (it == state_->faxes.end()) return state_->Fail(qbfaxvmec_FAX_ERR_BAD_FAX_ID);
  if (number.empty()) return state_->Fail(qbfaxvmec_FAX_ERR_NO_PHONE_NUMBER);
  it->second.number = number;
  return 0;
}

int32_t Bank::GetNumberOfPages(std::string& file, int16_t image_type) {
  if (image_type != kImageTypeTiff) return state_->Fail(qbfaxvmec_FAX_ERR_BAD_IMAGE_TYPE);
  const int32_t pages = pages::CountPages(file);
  return pages < 0 ? state_->Fail(pages) : pages;
}

int32_t Bank::SetFaxPage(int32_t& fax_id, int16_t fax_page, int16_t image_type, int16_t file_page) {
  auto it = state_->faxes.find(fax_id);
  if (it == state_->faxes.end()) return state_->Fail(qbfaxvmec_FAX_ERR_BAD_FAX_ID);
  if (image_type != kImageTypeTiff) return state_->Fail(qbfaxvmec_FAX_ERR_BAD_IMAGE_TYPE);
  if (state_->image_file.empty()) return state_->Fail(qbfaxvmec_FAX_ERR_NO_FILENAME_SPECIFIED);
  if (fax_page < 1) return state_->Fail(qbfaxvmec_FER_BAD_PAGENUM);
  if (const int32_t error = pages::CheckPage(state_->image_file, file_page)) return state_->Fail(error);
  if (state_->page_kind == PageKind::kT30Bitmap && !pages::CopyableAsCoded(state_->image_file, file_page)) {
    // A page the call could not send is refused now, not after dialling. A
    // page already coded for fax goes as it is and needs no decoding here.
    pages::BitmapPage page;
    if (const int32_t error = pages::ReadBitmapPage(state_->image_file, file_page, page)) return state_->Fail(error);
  }
  it->second.attached.emplace_back(state_->image_file, file_page);
  state_->journal.push_back(fmt::format("SetFaxPage({}, {}, {}, {}) {}", fax_id, fax_page, image_type, file_page,
                                       state_->image_file));
  return 0;
}

const std::vector<std::string>& Bank::Journal() const { return state_->journal; }

std::string Bank::TermStatusText(int32_t& status) {
  if (auto text = string_table::Find(1600 + status)) return std::string(*text);
  return "Unknown termination status " + std::to_string(status);
}

}  // namespace qvfax::core
