#include "platform/Format.h"

#include "platform/Component.h"
#include "platform/Text.h"

namespace kelvane {
namespace {

UString Digits(uint64_t v, unsigned base) {
  UString s;
  do {
    const unsigned d = static_cast<unsigned>(v % base);
    s.insert(s.begin(), static_cast<char16_t>(d < 10 ? u'0' + d : u'A' + d - 10));
    v /= base;
  } while (v != 0);
  return s;
}

[[noreturn]] void Invalid(UStringView fmt) {
  throw EConvertError(u"Format '" + UString(fmt) + u"' invalid or incompatible with argument");
}

}  // namespace

UString Format(UStringView fmt, std::initializer_list<TFormatArg> args) {
  return Format(fmt, std::vector<TFormatArg>(args));
}

UString Format(UStringView fmt, const std::vector<TFormatArg>& args) {
  UString out;
  size_t next = 0;
  for (size_t i = 0; i < fmt.size(); ++i) {
    if (fmt[i] != u'%') {
      out += fmt[i];
      continue;
    }
    if (++i >= fmt.size()) Invalid(fmt);
    if (fmt[i] == u'%') {
      out += u'%';
      continue;
    }
    bool left = false;
    if (fmt[i] == u'-') left = true, ++i;
    size_t width = 0;
    while (i < fmt.size() && fmt[i] >= u'0' && fmt[i] <= u'9')
      width = width * 10 + (fmt[i++] - u'0');
    if (i >= fmt.size() || next >= args.size()) Invalid(fmt);
    const TFormatArg& arg = args[next++];
    UString piece;
    switch (fmt[i]) {
      case u's':
        if (!std::holds_alternative<UString>(arg)) Invalid(fmt);
        piece = std::get<UString>(arg);
        break;
      case u'd':
      case u'u':
      case u'x':
      case u'X': {
        if (!std::holds_alternative<int64_t>(arg)) Invalid(fmt);
        const int64_t v = std::get<int64_t>(arg);
        if (fmt[i] == u'd') {
          piece = v < 0 ? u"-" + Digits(0 - static_cast<uint64_t>(v), 10)
                        : Digits(static_cast<uint64_t>(v), 10);
        } else {
          piece = Digits(static_cast<uint64_t>(v), fmt[i] == u'u' ? 10 : 16);
        }
        break;
      }
      default:
        Invalid(fmt);
    }
    if (piece.size() < width) {
      const UString pad(width - piece.size(), u' ');
      piece = left ? piece + pad : pad + piece;
    }
    out += piece;
  }
  return out;
}

}  // namespace kelvane
