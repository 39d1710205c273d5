// How the end of a call reads as a termination status of the fax control:
// T.30 completion codes and line results, the only place they meet.
#include <spandsp.h>

#include <utility>

#include "engines/core/termination_status.h"
#include "values/enums.h"

namespace qvfax::core {

namespace {

constexpr std::pair<int, int32_t> kStatuses[] = {
    {T30_ERR_OK, qbfaxvmstrms_NORMAL},
    {T30_ERR_CEDTONE, qbfaxvmstrms_CEDTONE},
    // Nobody answered with fax tones: a voice line, or no fax machine at all.
    {T30_ERR_T0_EXPIRED, qbfaxvmstrms_T1_TIMEOUT},
    {T30_ERR_T1_EXPIRED, qbfaxvmstrms_T1_TIMEOUT},
    {T30_ERR_T3_EXPIRED, qbfaxvmstrms_B_RCVD_T3TO_NORESP},
    {T30_ERR_HDLC_CARRIER, qbfaxvmstrms_HDLCCARR},
    {T30_ERR_CANNOT_TRAIN, qbfaxvmstrms_TRAINING},
    {T30_ERR_OPER_INT_FAIL, qbfaxvmstrms_OPINTFAIL},
    {T30_ERR_INCOMPATIBLE, qbfaxvmstrms_COMPAT},
    {T30_ERR_RX_INCAPABLE, qbfaxvmstrms_INVALID_REMOTE_RECEIVE},
    {T30_ERR_TX_INCAPABLE, qbfaxvmstrms_INVALID_REMOTE},
    {T30_ERR_NORESSUPPORT, qbfaxvmstrms_INVALID_REMOTE_RESOLUTION},
    {T30_ERR_NOSIZESUPPORT, qbfaxvmstrms_INVALID_REMOTE_WIDTH},
    {T30_ERR_UNEXPECTED, qbfaxvmstrms_BADPHASE},
    {T30_ERR_TX_BADDCS, qbfaxvmstrms_DCS_SEND},
    {T30_ERR_TX_BADPG, qbfaxvmstrms_BADPGTX},
    {T30_ERR_TX_ECMPHD, qbfaxvmstrms_INVALID_REMOTE_ECM},
    {T30_ERR_TX_GOTDCN, qbfaxvmstrms_GOTDCNTX},
    {T30_ERR_TX_INVALRSP, qbfaxvmstrms_INVALID_RESPONSE},
    {T30_ERR_TX_NODIS, qbfaxvmstrms_DIS_NOTRECEIVED},
    {T30_ERR_TX_PHBDEAD, qbfaxvmstrms_PHASE_B},
    {T30_ERR_TX_PHDDEAD, qbfaxvmstrms_PHASE_D},
    {T30_ERR_TX_T5EXP, qbfaxvmstrms_B_T5TO_RR},
    {T30_ERR_FILEERROR, qbfaxvmstrms_B_FILEIO},
    {T30_ERR_NOPAGE, qbfaxvmstrms_NO_SEND_DOCUMET},
    {T30_ERR_BADTIFF, qbfaxvmstrms_B_FILEFORMAT},
    {T30_ERR_BADPAGE, qbfaxvmstrms_B_FILEFORMAT},
    {T30_ERR_BADTAG, qbfaxvmstrms_B_FILEFORMAT},
    {T30_ERR_BADTIFFHDR, qbfaxvmstrms_B_FILEFORMAT},
    {T30_ERR_NOMEM, qbfaxvmstrms_B_MEMORY},
    {T30_ERR_RETRYDCN, qbfaxvmstrms_RETRYDCN},
    {T30_ERR_CALLDROPPED, qbfaxvmstrms_DISCONNECT},
    // Receiving: each of T.30's reasons has its own status.
    {T30_ERR_RX_ECMPHD, qbfaxvmstrms_INVALID_REMOTE_ECM},
    {T30_ERR_RX_GOTDCS, qbfaxvmstrms_GOTDCSRX},
    {T30_ERR_RX_INVALCMD, qbfaxvmstrms_B_RCVD_COMREC_ERR},
    {T30_ERR_RX_NOCARRIER, qbfaxvmstrms_NOCARRIERRX},
    {T30_ERR_RX_NOEOL, qbfaxvmstrms_NOEOLRX},
    {T30_ERR_RX_NOFAX, qbfaxvmstrms_NOFAXRX},
    {T30_ERR_RX_T2EXPDCN, qbfaxvmstrms_T2_TIMEOUT},
    {T30_ERR_RX_T2EXPD, qbfaxvmstrms_T2_TIMEOUT},
    {T30_ERR_RX_T2EXPFAX, qbfaxvmstrms_T2_TIMEOUT},
    {T30_ERR_RX_T2EXPMPS, qbfaxvmstrms_NXTCMDRX},
    {T30_ERR_RX_T2EXPRR, qbfaxvmstrms_B_RCVD_T2TO},
    {T30_ERR_RX_T2EXP, qbfaxvmstrms_T2_TIMEOUT},
    {T30_ERR_RX_DCNWHY, qbfaxvmstrms_WHYDCNRX},
    {T30_ERR_RX_DCNDATA, qbfaxvmstrms_DCNDATARX},
    {T30_ERR_RX_DCNFAX, qbfaxvmstrms_DCNFAXRX},
    {T30_ERR_RX_DCNPHD, qbfaxvmstrms_DCNPHDRX},
    {T30_ERR_RX_DCNRRD, qbfaxvmstrms_DCNRRDRX},
    {T30_ERR_RX_DCNNORTN, qbfaxvmstrms_DCNNORTNRX},
};

constexpr std::pair<LineResult, int32_t> kLineStatuses[] = {
    {LineResult::kBusy, qbfaxvmstrms_BUSY},
    {LineResult::kNoAnswer, qbfaxvmstrms_NO_ANSWER},
    {LineResult::kNoCarrier, qbfaxvmstrms_CARRIER},
    {LineResult::kNoDialtone, qbfaxvmstrms_NO_DIALTONE},
    {LineResult::kModemError, qbfaxvmstrms_DRVERROR},
    {LineResult::kModemSilent, qbfaxvmstrms_NOMODEM},
    {LineResult::kCancelled, qbfaxvmstrms_ABORT},
    {LineResult::kClassUnsupported, qbfaxvmstrms_INVALIDCLASS},
    {LineResult::kNoDocument, qbfaxvmstrms_NO_SEND_DOCUMET},
};

}  // namespace

int32_t TermStatusFor(LineResult result) {
  for (const auto& [line, status] : kLineStatuses) {
    if (line == result) return status;
  }
  return qbfaxvmstrms_UNSPECIFIED;
}

int32_t TermStatusFor(int completion) {
  for (const auto& [code, status] : kStatuses) {
    if (code == completion) return status;
  }
  return qbfaxvmstrms_UNSPECIFIED;
}

}  // namespace qvfax::core
