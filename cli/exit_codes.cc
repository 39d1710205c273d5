#include "cli/exit_codes.h"

#include <algorithm>
#include <iterator>

#include "values/enums.h"

namespace qvfax::cli {

namespace {

constexpr int32_t kDocumentErrors[] = {
    qbfaxvmec_FER_FILE, qbfaxvmec_FER_BAD_PAGENUM, qbfaxvmec_FER_BAD_PAGEFNAME, qbfaxvmec_FER_BAD_IMGTYPE,
    qbfaxvmec_FER_BAD_IMGFILE, qbfaxvmec_FER_FILE_OPEN, qbfaxvmec_FER_FILE_READ, qbfaxvmec_FER_FILE_NOEXIST,
    qbfaxvmec_FER_FILE_SEEKERROR, qbfaxvmec_FER_INCOMPATIBLE_RESOLUTION, qbfaxvmec_FER_INCOMPATIBLE_WIDTH,
    qbfaxvmec_FER_INCOMPATIBLE_LENGTH, qbfaxvmec_FER_INCOMPATIBLE_COMPRESSION, qbfaxvmec_FER_INCOMPATIBLE_BFT_MODE,
    qbfaxvmec_FER_INCOMPATIBLE_COLOR_MODE, qbfaxvmec_FAX_ERR_SEND_FILE_NOT_EXISTS, qbfaxvmec_FAX_ERR_NO_FILE_TO_SEND,
    qbfaxvmec_FAX_ERR_BAD_IMAGE_TYPE, qbfaxvmec_FAX_ERR_NO_FILENAME_SPECIFIED,
    qbfaxvmec_FAX_ERR_UNRECOGNIZED_FILEFORMAT, qbfaxvmec_FAX_ERR_BAD_FILENAME,
};

constexpr int32_t kModemErrors[] = {
    qbfaxvmec_FER_NO_MODEM_ON_PORT, qbfaxvmec_FER_PORTCLOSED, qbfaxvmec_FER_BAD_MODEMTEST,
    qbfaxvmec_FAX_ERR_NO_VALID_COMMPORT, qbfaxvmec_FAX_ERR_COMMPORT_NOT_EXISTS, qbfaxvmec_FAX_ERR_CANNOT_CONNECT_PORT,
    qbfaxvmec_FAX_ERR_COMMPORT_ALREADY_INITIALIZED, qbfaxvmec_FAX_ERR_MODEM_NOT_EXISTS,
    qbfaxvmec_FAX_ERR_NO_PORTS_OPEN, qbfaxvmec_FAX_ERR_TEST_FAILED,
};

template <size_t N>
bool In(const int32_t (&codes)[N], int32_t code) {
  return std::find(std::begin(codes), std::end(codes), code) != std::end(codes);
}

}  // namespace

Exit ExitForError(int32_t error) {
  if (error == 0) return Exit::kDelivered;
  if (In(kDocumentErrors, error)) return Exit::kBadDocument;
  if (In(kModemErrors, error)) return Exit::kModemFailure;
  return Exit::kLineFailure;
}

Exit ExitForStatus(int32_t status) {
  switch (status) {
    case qbfaxvmstrms_NORMAL: return Exit::kDelivered;
    case qbfaxvmstrms_BUSY: return Exit::kBusy;
    case qbfaxvmstrms_NO_ANSWER:
    case qbfaxvmstrms_CARRIER:
    case qbfaxvmstrms_T1_TIMEOUT: return Exit::kNoAnswer;
    case qbfaxvmstrms_ABORT: return Exit::kCancelled;
    case qbfaxvmstrms_NO_SEND_DOCUMET:
    case qbfaxvmstrms_B_FILEIO:
    case qbfaxvmstrms_B_FILEFORMAT: return Exit::kBadDocument;
    case qbfaxvmstrms_NOMODEM:
    case qbfaxvmstrms_INVALIDCLASS: return Exit::kModemFailure;
    default: return Exit::kLineFailure;
  }
}

}  // namespace qvfax::cli
