// Selecting a modem and opening its port: modem test, dial-tone test, class
// check, settings, OpenPort and the port capabilities.
#include <fmt/format.h>

#include "components/log_file_writer.h"
#include "platform/vb_types.h"
#include "port/fax_classes.h"
#include "server/server_state.h"

namespace qvfax {

namespace {

constexpr const char* kUnknownModem = "Sconosciuto";

struct Capability {
  int16_t id;
  const char* log_text;
};

// In the order they are pushed.
enum CapabilityId : int16_t {
  PC_MIN_COMPRESSION = 1,
  PC_MAX_COMPRESSION = 2,
  PC_ECM = 3,
  PC_BINARY = 4,
  PC_MIN_BAUD_SEND = 9,
  PC_MAX_BAUD_SEND = 10,
  PC_MIN_RESOLUTION = 15,
  PC_MAX_RESOLUTION = 16,
  PC_COLORFAX = 19,
};

// In the order they are logged.
constexpr Capability kLoggedCapabilities[] = {
    {PC_ECM, "GetPortCapability PC_ECM = "},
    {PC_BINARY, "GetPortCapability PC_BINARY = "},
    {PC_MAX_BAUD_SEND, "GetPortCapability PC_MAX_BAUD_SEND = "},
    {PC_MIN_BAUD_SEND, "GetPortCapability PC_MIN_BAUD_SEND = "},
    {PC_MIN_RESOLUTION, "GetPortCapability PC_MIN_RESOLUTION = "},
    {PC_MAX_RESOLUTION, "GetPortCapability PC_MAX_RESOLUTION = "},
    {PC_MIN_COMPRESSION, "GetPortCapability PC_MIN_COMPRESSION = "},
    {PC_MAX_COMPRESSION, "GetPortCapability PC_MAX_COMPRESSION = "},
    {PC_COLORFAX, "GetPortCapability PC_COLORFAX = "},
};

int32_t DialToneError(int32_t detected) {
  if (detected == 0) return qbfaxvmec_FER_NO_DIALTONE;
  if (detected == -1) return qbfaxvmec_FER_NO_MODEM_ON_PORT;
  return qbfaxvmec_FAX_ERR_CANNOT_CONNECT_PORT;
}

}  // namespace

void QvVavUvaRazUr::State::Trace(const std::string& text) const {
  apartment->log_writer->WriteLine(text, 0, 0, 0);
}

void QvVavUvaRazUr::SelezionaFaxModem(const std::string& porta_predefinita) {
  if (m_->info_modems->Count() < 1) return;
  std::shared_ptr<RInfoFaxModem> candidate;
  if (porta_predefinita.empty()) {
    candidate = m_->info_modems->Item(0);
  } else {
    for (const auto& modem : m_->info_modems->Items()) {
      if (modem->Porta() == porta_predefinita) {
        candidate = modem;
        break;
      }
    }
  }
  ImpostaInfoFaxModem(candidate);
}

void QvVavUvaRazUr::mobjTimerOpenPort_TimerEvent() {
  auto& m = *m_;
  m.mobjTimerOpenPort->Enabled(false);
  if (m.mobjInfoFaxModem) {
    ApriPortaSelezionata();
    m.port_status->ImpostaCodice(m.mobjFax->GetPortStatus(m.PortName()));
  }
  m.attivita->ImpostaCodice(qbfaxvma_Idle);
}

// Steps up to the open port; returns early on the first failure, after
// which the caller refreshes the port status.
void QvVavUvaRazUr::ApriPortaSelezionata() {
  auto& m = *m_;
  auto& fax = *m.mobjFax;
  fax.StartMode(0);
  fax.DeviceName(m.dispositivo->Descrizione());
  fax.SetLogPath(m.percorso_log);

  const std::string identity = m.mobjInfoFaxModem->IdentificativoModem();
  const std::string description = m.mobjInfoFaxModem->DescrizioneModem();
  if (identity != kUnknownModem && description != kUnknownModem) {
    m.attivita->ImpostaCodice(qbfaxvma_TestModem);
    m.Trace("OpenPort> Inizio TestModem su porta: " + m.PortName());
    fax.SetTestMode(2);
    m.errore->ImpostaCodice(fax.TestModem(m.PortName()));
    m.Trace("OpenPort> Fine TestModem su porta: " + m.PortName());
  } else {
    m.errore->ImpostaCodice(qbfaxvmec_NoErrors);
  }
  if (m.errore->Codice() != 0) {
    ScriviLog("No Modem on " + m.PortName() + " port!");
    return;
  }

  m.attivita->ImpostaCodice(qbfaxvma_TestDialTone);
  m.Trace("OpenPort> Inizio TestDialTone su porta: " + m.PortName());
  const int32_t detected = fax.TestDialTone(m.PortName());
  m.Trace(fmt::format("OpenPort> Fine TestDialTone su porta: {}. lngDetectDialTone={}", m.PortName(),
                      detected));
  const int32_t effective = m.test_dial_tone ? detected : 1;
  if (effective != 1) {
    m.errore->ImpostaCodice(DialToneError(effective));
    ScriviLog("No Dial Tone on " + m.PortName() + " port!");
    return;
  }

  const std::string classes = fax.ModemClasses();
  if (classes.empty()) {
    ScriviLog("The selected modem does not support any fax Class");
    m.errore->ImpostaCodice(qbfaxvmec_FER_BAD_MODEMTEST);
    return;
  }
  if (const char* mismatch = ClassMismatch(fax.DeviceName(), classes)) {
    ScriviLog(mismatch);
    return;
  }

  auto& header = *m.intestazione;
  auto& speaker = *m.speaker;
  ScriviLog(fmt::format("HeaderHeight:{} = {}", fax.HeaderHeight(), header.Altezza()));
  ScriviLog(fmt::format("HeaderFaceName:{} = {}", fax.HeaderFaceName(), header.NomeCarattere()));
  ScriviLog(fmt::format("HeaderFontSize:{} = {}", fax.HeaderFontSize(), header.DimensioneCarattere()));
  ScriviLog(fmt::format("SpeakerVolume:{} = {}", fax.SpeakerVolume(), speaker.CodiceSpeakerVolume()));
  ScriviLog(fmt::format("SpeakerMode:{} = {}", fax.SpeakerMode(), speaker.CodiceSpeakerModo()));
  fax.SpeakerVolume(speaker.CodiceSpeakerVolume());
  fax.SpeakerMode(speaker.CodiceSpeakerModo());
  fax.DialMode(m.tone_dial->Codice());
  fax.LocalID(m.id_locale);
  fax.HeaderEnabled(header.Attivata());
  fax.HeaderHeight(header.Altezza());
  fax.HeaderFaceName(header.NomeCarattere());
  fax.HeaderFontSize(header.DimensioneCarattere());
  fax.HeaderLeft(header.Sinistra());
  fax.HeaderCenter(header.Centrale());
  fax.HeaderRight(header.Destra());

  m.attivita->ImpostaCodice(qbfaxvma_AperturaPorta);
  fax.SetTestMode(2);
  m.errore->ImpostaCodice(fax.OpenPort(m.PortName()));
  if (m.errore->Codice() != 0) {
    ScriviLog("No Modem on " + m.PortName() + " port!");
    ScriviLog(m.errore->Descrizione());
    return;
  }

  auto log_capabilities = [&] {
    for (const auto& cap : kLoggedCapabilities) {
      ScriviLog(cap.log_text + std::to_string(ToInteger(fax.GetPortCapability(m.PortName(), cap.id))));
    }
  };
  log_capabilities();
  auto& porta = *m.porta;
  const std::pair<int16_t, int32_t> pushes[] = {
      {PC_ECM, porta.ECM()->Codice()},
      {PC_BINARY, porta.BFT()->Codice()},
      {PC_MIN_BAUD_SEND, porta.BaudSendMin()->Codice()},
      {PC_MAX_BAUD_SEND, porta.BaudSendMax()->Codice()},
      {PC_MIN_RESOLUTION, porta.RisoluzioneMin()->Codice()},
      {PC_MAX_RESOLUTION, porta.RisoluzioneMax()->Codice()},
      {PC_MIN_COMPRESSION, porta.CompressioneMin()->Codice()},
      {PC_MAX_COMPRESSION, porta.CompressioneMax()->Codice()},
      {PC_COLORFAX, porta.Colore()->CodiceGestione()},
  };
  for (const auto& [id, value] : pushes) fax.SetPortCapability(m.PortName(), id, ToInteger(value));
  ScriviLog("Dopo settaggi");
  log_capabilities();
  fax.SetPortMode(m.PortName(), 0);
  fax.SetPortSpeaker(m.PortName(), ToInteger(speaker.CodiceSpeakerModo()),
                     ToInteger(speaker.CodiceSpeakerVolume()));
  ScriviLog(m.PortName() + " was opened");
}

}  // namespace qvfax
