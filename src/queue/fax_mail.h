// A received fax as a mail message for the system's sendmail: a line of text
// saying who sent it and how it went, and its pages attached as a PDF.
#pragma once

#include <string>

#include "queue/received_fax.h"

namespace qvfax::queue {

// The whole message (headers with `to`, text, the PDF in base64), lines ending
// in CR LF; `pdf` is the PDF's bytes.
std::string FaxMail(const ReceivedFax& fax, const std::string& to, const std::string& pdf);

}  // namespace qvfax::queue
