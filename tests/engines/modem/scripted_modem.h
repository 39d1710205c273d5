// A Class 1 modem on a pty that answers by script, playing the far fax
// machine with hand-made frames: the driver under test talks to a real tty
// and cannot tell. Pump() answers what the driver wrote since the last pump.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace qvfax::modem::testing {

std::string Frame(std::initializer_list<int> bytes);  // raw octets, as a string
// A frame as the modem hands it over under +FRH: shielded, FCS, DLE ETX, OK.
std::string Received(const std::string& frame);
// Image data as the modem hands it over under +FRM, then the carrier's end.
std::string ReceivedData(const std::string& data);

// Frames of the far machine (address, control with the final bit, FCF ...).
extern const std::string kDis;  // V.27ter, V.29, V.17, fine, 2D, A4, no minimum scan time
extern const std::string kCfr;
extern const std::string kFtt;
extern const std::string kMcf;
extern const std::string kRtn;
// Frames of a calling machine: V.17 14,400, fine, 1D, A4, no minimum scan time.
extern const std::string kDcs;
extern const std::string kMps;
extern const std::string kEop;
extern const std::string kDcn;

class ScriptedModem {
 public:
  ScriptedModem();
  ~ScriptedModem();
  ScriptedModem(const ScriptedModem&) = delete;
  ScriptedModem& operator=(const ScriptedModem&) = delete;

  const std::string& Device() const { return device_; }

  // What the modem answers to a dial; default: CONNECT and the DIS.
  std::string dial_reply;
  // What it answers to ATA; CONNECT (the default) leaves it sending V.21 frames.
  std::string answer_reply;
  // What each AT+FRH=3 gets, given how many it has had before (0 first); "" stays silent.
  std::function<std::string(int frh_count)> on_frh;
  // The same for AT+FRM (image data: the training check, then pages).
  std::function<std::string(int frm_count)> on_frm;
  // Whether the modem answers AT at all.
  bool silent = false;
  // A command it answers with ERROR.
  std::string fail_command;
  // Set while a thread of its own pumps it: the driver then reads replies as
  // they come, and Pump() must not wait for them to be seen.
  bool threaded = false;
  // What it says of itself.
  std::string classes = "0,1,1.0";
  std::string modulations = "24,48,72,73,74,96,97,98,121,122,145,146";
  std::string maker = "QV TEST MODEMS";

  // Reads what the driver wrote and answers it; waits briefly for the driver's bytes to arrive.
  void Pump();
  // Sends bytes as if the modem spoke on its own.
  void Say(const std::string& bytes);
  // The far end of the pty goes away, as an unplugged modem does.
  void Vanish();

  // What the driver did, in order: commands as written, "frame XX" with the
  // frame's FCF, "data N" with the count of unshielded image bytes, "<CAN>".
  const std::vector<std::string>& Seen() const { return seen_; }
  // The image data the driver sent, one entry per +FTM, unshielded.
  const std::vector<std::string>& DataSent() const { return data_; }
  // Count of entries of Seen() that start with `prefix`.
  int Count(const std::string& prefix) const;
  // Whether any DLE the driver sent in data stood alone (a shielding fault).
  bool BadShielding() const { return bad_shielding_; }

 private:
  enum class Mode { kCommand, kFrames, kData };
  void Reply(const std::string& bytes);
  void SendUnsent();
  void Command(const std::string& line);
  void Byte(uint8_t b);

  int master_ = -1;
  int observer_ = -1;  // a second open of the slave, to see when replies have arrived
  std::string device_;
  Mode mode_ = Mode::kCommand;
  std::string line_;
  std::string block_;
  bool dle_ = false;
  bool draining_ = false;  // data ended: what follows in the same write is lost, as on a modem still sending
  bool bad_shielding_ = false;
  int frh_count_ = 0;
  int frm_count_ = 0;
  std::string unsent_;  // replies the tty had no room for yet
  std::vector<std::string> data_;
  std::vector<std::string> seen_;
};

}  // namespace qvfax::modem::testing
