#include "queue/fax_mail.h"

#include <time.h>

#include <fmt/format.h>

namespace qvfax::queue {

namespace {

std::string Base64Lines(const std::string& bytes) {
  static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out, line;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const uint32_t a = static_cast<uint8_t>(bytes[i]);
    const uint32_t b = i + 1 < bytes.size() ? static_cast<uint8_t>(bytes[i + 1]) : 0;
    const uint32_t c = i + 2 < bytes.size() ? static_cast<uint8_t>(bytes[i + 2]) : 0;
    const uint32_t n = a << 16 | b << 8 | c;
    line += kDigits[n >> 18 & 63];
    line += kDigits[n >> 12 & 63];
    line += i + 1 < bytes.size() ? kDigits[n >> 6 & 63] : '=';
    line += i + 2 < bytes.size() ? kDigits[n & 63] : '=';
    if (line.size() == 76) {
      out += line + "\r\n";
      line.clear();
    }
  }
  if (!line.empty()) out += line + "\r\n";
  return out;
}

// Only what a header may hold: no line breaks smuggled in from caller ID.
std::string HeaderSafe(std::string text) {
  for (char& c : text) {
    if (c == '\r' || c == '\n' || static_cast<unsigned char>(c) < 0x20) c = ' ';
  }
  return text;
}

}  // namespace

std::string FaxMail(const ReceivedFax& fax, const std::string& to, const std::string& pdf) {
  const time_t seconds = static_cast<time_t>(fax.received_ms / 1000);
  tm local{};
  localtime_r(&seconds, &local);
  char date[64];
  strftime(date, sizeof date, "%a, %d %b %Y %H:%M:%S %z", &local);
  const std::string from = fax.caller_number.empty() ? (fax.remote_id.empty() ? "an unknown caller" : fax.remote_id)
                                                     : fax.caller_number;
  const std::string boundary = fmt::format("qvfax-fax-{}-{}", fax.id, fax.received_ms);
  const std::string text = fmt::format(
      "A fax of {} page{} came in on {} from {}{}.\r\nThe sender's id: {}\r\n{}\r\n", fax.pages, fax.pages == 1 ? "" : "s",
      fax.port, HeaderSafe(from), fax.caller_name.empty() ? "" : " (" + HeaderSafe(fax.caller_name) + ")",
      fax.remote_id.empty() ? "none" : HeaderSafe(fax.remote_id),
      fax.complete ? "It arrived whole." : "It did not arrive whole: " + HeaderSafe(fax.reason));
  return fmt::format(
      "To: {to}\r\nSubject: Fax {id} from {from}, {pages} page{s}\r\nDate: {date}\r\nMIME-Version: 1.0\r\n"
      "Content-Type: multipart/mixed; boundary=\"{b}\"\r\n\r\n"
      "--{b}\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n{text}\r\n"
      "--{b}\r\nContent-Type: application/pdf; name=\"fax-{id}.pdf\"\r\nContent-Transfer-Encoding: base64\r\n"
      "Content-Disposition: attachment; filename=\"fax-{id}.pdf\"\r\n\r\n{pdf}--{b}--\r\n",
      fmt::arg("to", HeaderSafe(to)), fmt::arg("id", fax.id), fmt::arg("from", HeaderSafe(from)),
      fmt::arg("pages", fax.pages), fmt::arg("s", fax.pages == 1 ? "" : "s"), fmt::arg("date", date),
      fmt::arg("b", boundary), fmt::arg("text", text), fmt::arg("pdf", Base64Lines(pdf)));
}

}  // namespace qvfax::queue
