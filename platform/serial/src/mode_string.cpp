// SPDX-License-Identifier: MIT
// BuildCommDCBA and BuildCommDCBAndTimeoutsA: line settings from a mode string, in either of the
// two forms the mode command takes, each with an optional device name in front ("COM1:"):
//   "baud=9600 parity=N data=8 stop=1 [xon=on|off] [odsr=] [octs=] [dtr=on|off|hs]
//    [rts=on|off|hs|tg] [idsr=] [to=on|off]"
//   "9600,n,8,1[,x|p]"   (x: XON/XOFF, p: hardware handshake)
// Only the members the string names change, except that flow control is switched off unless the
// string asks for it, and 110 bit/s without a stop-bit setting means 2 stop bits. A string that
// does not parse changes nothing and fails with ERROR_INVALID_PARAMETER.
#include <win32/win32.h>

#include <cctype>
#include <charconv>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr DWORD kLongWriteTimeoutMs = 60000;  // "to=on"

std::string Lowered(std::string_view text) {
  std::string lowered(text);
  for (char& c : lowered) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lowered;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (std::size_t at = 0;;) {
    const std::size_t next = text.find(separator, at);
    parts.push_back(Trimmed(text.substr(at, next - at)));
    if (next == std::string_view::npos) return parts;
    at = next + 1;
  }
}

// Skips a leading "comN" and its optional colon.
std::string_view WithoutDevice(std::string_view text) {
  text = Trimmed(text);
  if (!text.starts_with("com")) return text;
  std::size_t at = 3;
  while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) ++at;
  if (at == 3) return text;
  if (at < text.size() && text[at] == ':') ++at;
  return Trimmed(text.substr(at));
}

// A speed, with the mode command's two-digit abbreviations (96 is 9600).
std::optional<DWORD> Baud(std::string_view text) {
  DWORD value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value == 0) return std::nullopt;
  switch (value) {
    case 11:
      return CBR_110;
    case 15:
      return 150;
    case 30:
      return CBR_300;
    case 60:
      return CBR_600;
    case 12:
      return CBR_1200;
    case 24:
      return CBR_2400;
    case 48:
      return CBR_4800;
    case 96:
      return CBR_9600;
    case 19:
      return CBR_19200;
    default:
      return value;
  }
}

std::optional<BYTE> Parity(std::string_view text) {
  static constexpr std::string_view kLetters = "noems";  // in the order of NOPARITY..SPACEPARITY
  if (text.size() != 1 || kLetters.find(text[0]) == std::string_view::npos) return std::nullopt;
  return static_cast<BYTE>(kLetters.find(text[0]));
}

std::optional<BYTE> DataBits(std::string_view text) {
  if (text.size() != 1 || text[0] < '5' || text[0] > '8') return std::nullopt;
  return static_cast<BYTE>(text[0] - '0');
}

std::optional<BYTE> StopBits(std::string_view text) {
  if (text == "1") return ONESTOPBIT;
  if (text == "1.5") return ONE5STOPBITS;
  if (text == "2") return TWOSTOPBITS;
  return std::nullopt;
}

std::optional<bool> Switch(std::string_view text) {
  if (text == "on") return true;
  if (text == "off") return false;
  return std::nullopt;
}

struct Mode {
  DCB dcb;
  std::optional<COMMTIMEOUTS> timeouts;
  bool stopBitsGiven = false;
};

void SetParity(Mode& mode, BYTE parity) {
  mode.dcb.Parity = parity;
  mode.dcb.fParity = parity != NOPARITY;
}

// One "key=value" of the key form; false when either is unknown.
bool ApplySetting(Mode& mode, std::string_view key, std::string_view value) {
  DCB& dcb = mode.dcb;
  if (key == "baud") {
    const auto baud = Baud(value);
    if (baud) dcb.BaudRate = *baud;
    return baud.has_value();
  }
  if (key == "parity") {
    const auto parity = Parity(value);
    if (parity) SetParity(mode, *parity);
    return parity.has_value();
  }
  if (key == "data") {
    const auto bits = DataBits(value);
    if (bits) dcb.ByteSize = *bits;
    return bits.has_value();
  }
  if (key == "stop") {
    const auto bits = StopBits(value);
    if (bits) dcb.StopBits = *bits;
    mode.stopBitsGiven = bits.has_value();
    return bits.has_value();
  }
  if (key == "dtr" || key == "rts") {
    DWORD control = 0;
    if (value == "on") {
      control = DTR_CONTROL_ENABLE;
    } else if (value == "off") {
      control = DTR_CONTROL_DISABLE;
    } else if (value == "hs") {
      control = DTR_CONTROL_HANDSHAKE;
    } else if (value == "tg" && key == "rts") {
      control = RTS_CONTROL_TOGGLE;
    } else {
      return false;
    }
    if (key == "dtr")
      dcb.fDtrControl = control;
    else
      dcb.fRtsControl = control;
    return true;
  }
  const auto on = Switch(value);
  if (!on) return false;
  if (key == "xon") {
    dcb.fOutX = dcb.fInX = *on;
  } else if (key == "odsr") {
    dcb.fOutxDsrFlow = *on;
  } else if (key == "octs") {
    dcb.fOutxCtsFlow = *on;
  } else if (key == "idsr") {
    dcb.fDsrSensitivity = *on;
  } else if (key == "to") {
    mode.timeouts = COMMTIMEOUTS{};
    if (*on) mode.timeouts->WriteTotalTimeoutConstant = kLongWriteTimeoutMs;
  } else {
    return false;
  }
  return true;
}

bool ParseKeyForm(Mode& mode, std::string_view text) {
  for (std::string_view item : Split(text, ' ')) {
    if (item.empty()) continue;
    const std::size_t equals = item.find('=');
    if (equals == std::string_view::npos ||
        !ApplySetting(mode, item.substr(0, equals), item.substr(equals + 1)))
      return false;
  }
  return true;
}

// "baud[,parity[,data[,stop[,retry]]]]".
bool ParsePositionalForm(Mode& mode, std::string_view text) {
  const std::vector<std::string_view> fields = Split(text, ',');
  if (fields.size() > 5) return false;
  const auto baud = Baud(fields[0]);
  if (!baud) return false;
  mode.dcb.BaudRate = *baud;
  const char* keys[] = {"baud", "parity", "data", "stop"};
  for (std::size_t i = 1; i < fields.size() && i < 4; ++i)
    if (!fields[i].empty() && !ApplySetting(mode, keys[i], fields[i])) return false;
  if (fields.size() == 5 && !fields[4].empty()) {
    DCB& dcb = mode.dcb;
    if (fields[4] == "x") {
      dcb.fOutX = dcb.fInX = 1;
    } else if (fields[4] == "p") {
      dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = 1;
      dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
      dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    } else {
      return false;
    }
  }
  return true;
}

bool ParseMode(const char* definition, Mode& mode) {
  if (definition == nullptr) return false;
  const std::string lowered = Lowered(definition);
  const std::string_view text = WithoutDevice(lowered);
  if (text.empty()) return false;
  DCB& dcb = mode.dcb;
  dcb.fBinary = 1;
  dcb.fOutX = dcb.fInX = 0;
  dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = 0;
  dcb.fDsrSensitivity = 0;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  const bool parsed = text.find('=') != std::string_view::npos ? ParseKeyForm(mode, text)
                                                               : ParsePositionalForm(mode, text);
  if (parsed && dcb.BaudRate == CBR_110 && !mode.stopBitsGiven) dcb.StopBits = TWOSTOPBITS;
  return parsed;
}

BOOL Build(LPCSTR definition, LPDCB dcb, LPCOMMTIMEOUTS timeouts) {
  if (dcb == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Mode mode{*dcb, std::nullopt};
  if (!ParseMode(definition, mode)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *dcb = mode.dcb;
  if (timeouts != nullptr && mode.timeouts) *timeouts = *mode.timeouts;
  return TRUE;
}

}  // namespace

extern "C" {

BOOL WINAPI BuildCommDCBA(LPCSTR lpDef, LPDCB lpDCB) { return Build(lpDef, lpDCB, nullptr); }

BOOL WINAPI BuildCommDCBAndTimeoutsA(LPCSTR lpDef, LPDCB lpDCB, LPCOMMTIMEOUTS lpCommTimeouts) {
  return Build(lpDef, lpDCB, lpCommTimeouts);
}

}  // extern "C"
