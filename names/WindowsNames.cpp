#include "names/WindowsNames.h"

namespace kelvane {
namespace {

char16_t UpperAscii(char16_t c) {
  return c >= u'a' && c <= u'z' ? char16_t(c - u'a' + u'A') : c;
}

bool IsRefusedCharacter(char16_t c) {
  return (c >= 1 && c < 0x20) || UString(u"<>:\"|?*").find(c) != UString::npos;
}

bool IsDeviceDigit(char16_t c) {
  return (c >= u'1' && c <= u'9') || c == u'\u00B9' || c == u'\u00B2' || c == u'\u00B3';
}

}  // namespace

bool IsReservedDeviceName(UStringView component) {
  // The device is named by what comes before the first "." (or ":"), without
  // the spaces and dots Windows drops at its end.
  UStringView base = component.substr(0, component.find_first_of(u".:"));
  while (!base.empty() && (base.back() == u' ' || base.back() == u'.'))
    base.remove_suffix(1);
  UString upper;
  for (char16_t c : base)
    upper += UpperAscii(c);
  if (upper == u"CON" || upper == u"PRN" || upper == u"AUX" || upper == u"NUL" ||
      upper == u"CONIN$" || upper == u"CONOUT$")
    return true;
  return upper.size() == 4 && (upper.starts_with(u"COM") || upper.starts_with(u"LPT")) &&
         IsDeviceDigit(upper[3]);
}

UString WindowsSafeComponent(UStringView component) {
  UString out(component);
  for (char16_t& c : out)
    if (IsRefusedCharacter(c)) c = u'_';
  for (size_t i = out.size(); i > 0 && (out[i - 1] == u'.' || out[i - 1] == u' '); --i)
    out[i - 1] = u'_';
  if (IsReservedDeviceName(out)) out.insert(out.begin(), u'_');
  return out;
}

}  // namespace kelvane
