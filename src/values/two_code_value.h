// Settings made of two codes, each with its description: the element holds
// "Codice<A>", "Descrizione<A>", "Codice<B>", "Descrizione<B>" in that order,
// and a write of either code rewrites all four and publishes.
#pragma once

#include <cstdint>
#include <string>

#include <pugixml.hpp>

#include "status/status_document.h"

namespace qvfax {

struct TwoCodeRule {
  const char* element;  // self-standing element name; nullptr when contained
  const char* first;    // suffix of the first code's children, e.g. "Width"
  int32_t first_base;
  const char* second;
  int32_t second_base;
};

class TwoCodeValue {
 public:
  pugi::xml_node CreaElementoXml(StatusDocument& document, pugi::xml_node parent);
  void CreaElementoContenuto(StatusDocument& document, pugi::xml_node element);
  void AggiornaElementoXml();

 protected:
  TwoCodeValue(TwoCodeRule rule, int32_t first, int32_t second)
      : rule_(rule), first_(first), second_(second) {}

  int32_t First() const { return first_; }
  int32_t Second() const { return second_; }
  std::string DescribeFirst() const;
  std::string DescribeSecond() const;
  void StoreFirst(int32_t code) { first_ = code; }
  void StoreSecond(int32_t code) { second_ = code; }
  void WriteFirst(int32_t code);
  void WriteSecond(int32_t code);

 private:
  void Fill(pugi::xml_node element) const;

  TwoCodeRule rule_;
  int32_t first_;
  int32_t second_;
  ValueElement element_{rule_.element};
};

// Page width and length, held by the containers.
class QvBkgFaxVmPagina : public TwoCodeValue {
 public:
  QvBkgFaxVmPagina();

  std::string DescrizioneWidth() const { return DescribeFirst(); }
  int32_t CodiceWidth() const { return First(); }
  void CodiceWidth(int32_t code) { WriteFirst(code); }
  std::string DescrizioneLength() const { return DescribeSecond(); }
  int32_t CodiceLength() const { return Second(); }
  void CodiceLength(int32_t code) { WriteSecond(code); }

  void ImpostaCodiceWidth(int32_t code) { StoreFirst(code); }
  void ImpostaCodiceLength(int32_t code) { StoreSecond(code); }
};

// Colour handling and colour type, held by the containers.
class QvBkgFaxVmColore : public TwoCodeValue {
 public:
  QvBkgFaxVmColore();

  int32_t CodiceGestione() const { return First(); }
  void CodiceGestione(int32_t code) { WriteFirst(code); }
  std::string DescrizioneGestione() const { return DescribeFirst(); }
  int32_t CodiceTipo() const { return Second(); }
  void CodiceTipo(int32_t code) { WriteSecond(code); }
  std::string DescrizioneTipo() const { return DescribeSecond(); }

  void ImpostaCodiceGestione(int32_t code) { StoreFirst(code); }
  void ImpostaCodiceTipo(int32_t code) { StoreSecond(code); }
};

// Speaker mode (0 never, 1 always, 2 while dialling) and volume (0 low to 2 high).
class QvBkgFaxVmSpeaker : public TwoCodeValue {
 public:
  QvBkgFaxVmSpeaker();

  std::string DescrizioneSpeakerModo() const { return DescribeFirst(); }
  int32_t CodiceSpeakerModo() const { return First(); }
  void CodiceSpeakerModo(int32_t code) { WriteFirst(code); }
  std::string DescrizioneSpeakerVolume() const { return DescribeSecond(); }
  int32_t CodiceSpeakerVolume() const { return Second(); }
  void CodiceSpeakerVolume(int32_t code) { WriteSecond(code); }
};

}  // namespace qvfax
