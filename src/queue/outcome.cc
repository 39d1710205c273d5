#include "queue/outcome.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>

#include "values/enums.h"

namespace qvfax::queue {

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

// The control could not write or keep a file of its own: the host's disk, not the fax.
constexpr int32_t kLocalErrors[] = {qbfaxvmec_FER_FILE_WRITE, qbfaxvmec_FER_FILE_COPY};

template <size_t N>
bool In(const int32_t (&codes)[N], int32_t code) {
  return std::find(std::begin(codes), std::end(codes), code) != std::end(codes);
}

}  // namespace

bool IsLocalFailure(int errnum) {
  switch (errnum) {
    case ENOSPC: case EDQUOT: case EROFS: case EACCES: case EPERM: case EIO: case EMFILE: case ENFILE:
    case ENOMEM: return true;
    default: return false;
  }
}

std::string LocalFailureText(int errnum) {
  switch (errnum) {
    case ENOSPC: case EDQUOT: return "no space left on the disk";
    case EROFS: return "the disk is read-only";
    case EACCES: case EPERM: return "permission denied";
    default: return std::strerror(errnum);
  }
}

bool IsLocalAutomationError(int32_t number) {
  static const int32_t kLocal[] = {57, 61, 67, 70, 75, 76};
  return In(kLocal, number);
}

Exit ExitForError(int32_t error) {
  if (error == 0) return Exit::kDelivered;
  if (error == qbfaxvmec_FAX_ERR_NO_PHONE_NUMBER) return Exit::kUsage;
  if (In(kLocalErrors, error)) return Exit::kLocalFailure;
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
    case qbfaxvmstrms_B_SITVACOE: return Exit::kUsage;  // the number does not exist
    case qbfaxvmstrms_NOMODEM:
    case qbfaxvmstrms_INVALIDCLASS:
    case qbfaxvmstrms_B_BADPARAMETER: return Exit::kModemFailure;  // the port's own settings are wrong
    default: return Exit::kLineFailure;
  }
}

Exit OutcomeOf(int32_t error, int32_t status) {
  return error != 0 ? ExitForError(error) : ExitForStatus(status);
}

namespace {

struct RetryRule {
  Exit outcome;
  const char* name;
  std::optional<std::chrono::seconds> retry_after;
};

// Every outcome, what it is called and when a fax that ended so is tried
// again: a busy line frees up in minutes, an unanswered one may take longer,
// a failed call is worth another try soon; what the sender must mend (the
// document, the number) or chose (a cancel) is never tried again.
constexpr RetryRule kRules[] = {
    {Exit::kDelivered, "delivered", std::nullopt},
    {Exit::kBusy, "busy", std::chrono::minutes(3)},
    {Exit::kUsage, "invalid-number", std::nullopt},
    {Exit::kNoAnswer, "no-answer", std::chrono::minutes(5)},
    {Exit::kBadDocument, "bad-document", std::nullopt},
    {Exit::kLineFailure, "line-failure", std::chrono::minutes(2)},
    {Exit::kCancelled, "cancelled", std::nullopt},
    {Exit::kDaemonUnreachable, "daemon-unreachable", std::nullopt},
    {Exit::kModemFailure, "modem-failure", std::chrono::minutes(2)},
    // Someone must free the disk or mend a permission: worth trying later, not at once.
    {Exit::kLocalFailure, "local-failure", std::chrono::minutes(10)},
};

const RetryRule& RuleFor(Exit outcome) {
  for (const auto& rule : kRules) {
    if (rule.outcome == outcome) return rule;
  }
  return kRules[5];  // anything unforeseen is a failed call
}

}  // namespace

std::optional<std::chrono::seconds> RetryDelay(Exit outcome) { return RuleFor(outcome).retry_after; }

std::string OutcomeName(Exit outcome) { return RuleFor(outcome).name; }

}  // namespace qvfax::queue
