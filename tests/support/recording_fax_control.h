// A fax control for tests: it records every call with its arguments, in order,
// returns scripted results, and raises any event when the test asks.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "components/fax_control.h"
#include "components/fax_control_events.h"

namespace qvfax::testing {

class RecordingFaxControl : public FaxControl {
 public:
  std::vector<std::string> calls;

  // Results: a queue per member is used first, then the member's default.
  std::map<std::string, std::deque<int32_t>> queued;
  std::map<std::string, int32_t> results;
  std::map<std::string, std::string> texts;

  // Runs after each call is recorded, with its text: lets a test change
  // what the next reads return, as a real control's state changes.
  std::function<void(const std::string& call)> on_call;

  void Script(const std::string& member, int32_t result) { results[member] = result; }
  void Queue(const std::string& member, int32_t result) { queued[member].push_back(result); }
  void Text(const std::string& member, const std::string& text) { texts[member] = text; }

  // The connected listener, to raise events on; throws when none is connected.
  FaxControlEvents& Events() {
    if (!listener_) throw std::logic_error("no listener advised");
    return *listener_;
  }
  bool Advised() const { return listener_ != nullptr; }
  // Calls whose text starts with `prefix`.
  std::vector<std::string> CallsTo(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& c : calls) {
      if (c.rfind(prefix, 0) == 0) out.push_back(c);
    }
    return out;
  }

  void Advise(FaxControlEvents* listener) override { listener_ = listener; }

  void LocalID(const std::string& id) override { Record("LocalID={}", id); }
  void StartMode(int16_t mode) override { Record("StartMode={}", mode); }
  void DialMode(int32_t mode) override { Record("DialMode={}", mode); }
  void ImageFileName(const std::string& file) override { Record("ImageFileName={}", file); }
  int32_t LastErrorCode() override { return Int("LastErrorCode"); }
  int32_t HeaderHeight() override { return Int("HeaderHeight"); }
  void HeaderHeight(int32_t rows) override { Record("HeaderHeight={}", rows); }
  int32_t HeaderFontSize() override { return Int("HeaderFontSize"); }
  void HeaderFontSize(int32_t size) override { Record("HeaderFontSize={}", size); }
  bool DisplayFaxManager() override { return Int("DisplayFaxManager") != 0; }
  void DisplayFaxManager(bool show) override { Record("DisplayFaxManager={}", show); }
  void DeviceName(const std::string& name) override {
    Record("DeviceName={}", name);
    texts["DeviceName"] = name;
  }
  std::string DeviceName() override { return Str("DeviceName"); }
  std::string PortNames() override { return Str("PortNames"); }
  void HeaderEnabled(bool enabled) override { Record("HeaderEnabled={}", enabled); }
  std::string ModemClasses() override { return Str("ModemClasses"); }
  std::string ModemIdentity() override { return Str("ModemIdentity"); }
  std::string ModemDescription() override { return Str("ModemDescription"); }
  int32_t SpeakerMode() override { return Int("SpeakerMode"); }
  void SpeakerMode(int32_t mode) override { Record("SpeakerMode={}", mode); }
  int32_t SpeakerVolume() override { return Int("SpeakerVolume"); }
  void SpeakerVolume(int32_t volume) override { Record("SpeakerVolume={}", volume); }
  void HeaderLeft(const std::string& f) override { Record("HeaderLeft={}", f); }
  void HeaderCenter(const std::string& f) override { Record("HeaderCenter={}", f); }
  void HeaderRight(const std::string& f) override { Record("HeaderRight={}", f); }
  std::string HeaderFaceName() override { return Str("HeaderFaceName"); }
  void HeaderFaceName(const std::string& face) override { Record("HeaderFaceName={}", face); }

  int32_t DeleteFaxObject(int32_t& fax_id) override { return Int("DeleteFaxObject", fax_id); }
  int32_t SetFaxPage(int32_t& fax_id, int16_t page, int16_t type, int16_t file_page) override {
    return Int("SetFaxPage", fax_id, page, type, file_page);
  }
  int32_t CreateFaxObject(int16_t a, int16_t b, int16_t c, int16_t d, int16_t e, int16_t f,
                          int16_t g, int16_t h, int16_t i, int16_t j) override {
    return Int("CreateFaxObject", a, b, c, d, e, f, g, h, i, j);
  }
  int32_t SetFaxParam(int32_t& fax_id, int16_t param, int16_t value) override {
    return Int("SetFaxParam", fax_id, param, value);
  }
  int32_t GetFaxParameter(int32_t& fax_id, int16_t param) override {
    return Int("GetFaxParameter", fax_id, param);
  }
  int32_t SetPhoneNumber(int32_t& fax_id, std::string& number) override {
    return Int("SetPhoneNumber", fax_id, number);
  }
  int32_t GetNumberOfPages(std::string& file, int16_t type) override {
    return Int("GetNumberOfPages", file, type);
  }
  void SetPortCapability(const std::string& port, int16_t cap, int16_t value) override {
    Record("SetPortCapability({}, {}, {})", port, cap, value);
  }
  int32_t GetPortCapability(const std::string& port, int16_t cap) override {
    return Int("GetPortCapability", port, cap);
  }
  void SetPortFlag(const std::string& port, bool flag) override {
    Record("SetPortFlag({}, {})", port, flag);
  }
  void SetLogPath(std::string& folder) override { Record("SetLogPath({})", folder); }
  int32_t TestModem(const std::string& port) override { return Int("TestModem", port); }
  void SetPortSpeaker(const std::string& port, int16_t mode, int16_t volume) override {
    Record("SetPortSpeaker({}, {}, {})", port, mode, volume);
  }
  int32_t GetPortStatus(const std::string& port) override { return Int("GetPortStatus", port); }
  void ClosePorts() override { Record("ClosePorts()"); }
  int32_t OpenPort(const std::string& port) override { return Int("OpenPort", port); }
  int32_t ClosePort(const std::string& port) override { return Int("ClosePort", port); }
  void SetPortMode(const std::string& port, int16_t mode) override {
    Record("SetPortMode({}, {})", port, mode);
  }
  int32_t AbortPort(std::string& port) override { return Int("AbortPort", port); }
  int32_t SendNow(const std::string& port, int32_t& fax_id) override {
    return Int("SendNow", port, fax_id);
  }
  std::string TermStatusText(int32_t& status) override {
    Record("TermStatusText({})", status);
    return Str("TermStatusText");
  }
  void SetTestMode(int32_t mode) override { Record("SetTestMode({})", mode); }
  int32_t TestDialTone(const std::string& port) override { return Int("TestDialTone", port); }

 private:
  template <typename... A>
  void Record(fmt::format_string<A...> format, A&&... args) {
    calls.push_back(fmt::format(format, std::forward<A>(args)...));
    if (on_call) on_call(calls.back());
  }

  template <typename... A>
  int32_t Int(const std::string& member, const A&... args) {
    std::string text = member + "(";
    const char* sep = "";
    ((text += sep, text += fmt::format("{}", args), sep = ", "), ...);
    (void)sep;
    calls.push_back(text + ")");
    if (on_call) on_call(calls.back());
    return Result(member);
  }

  int32_t Result(const std::string& member) {
    auto q = queued.find(member);
    if (q != queued.end() && !q->second.empty()) {
      const int32_t r = q->second.front();
      q->second.pop_front();
      return r;
    }
    auto it = results.find(member);
    return it == results.end() ? 0 : it->second;
  }

  std::string Str(const std::string& member) {
    calls.push_back(member);
    auto it = texts.find(member);
    return it == texts.end() ? std::string() : it->second;
  }

  FaxControlEvents* listener_ = nullptr;
};

}  // namespace qvfax::testing
