#include "serialkit/discovery/setup_api_text.h"

namespace sk::platform {

std::string Utf16ToUtf8(const std::u16string& Text) {
  std::string out;
  out.reserve(Text.size());
  for (std::size_t i = 0; i < Text.size(); ++i) {
    std::uint32_t c = Text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < Text.size() && Text[i + 1] >= 0xDC00 &&
        Text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (Text[i + 1] - 0xDC00u);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | c >> 12);
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | c >> 18);
      out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string MultiStringJoin(const char16_t* Buffer, std::size_t Length,
                            const std::string& Separator) {
  std::string joined;
  std::u16string text;
  for (std::size_t i = 0; Buffer != nullptr && i + 1 < Length; ++i) {
    if (Buffer[i] != u'\0') {
      text += Buffer[i];
      continue;
    }
    if (i == Length - 2) break;
    joined += Utf16ToUtf8(text) + Separator;
    text.clear();
  }
  return joined + Utf16ToUtf8(text);
}

std::string WideApiName(std::string Name) {
  if (!Name.empty()) Name.back() = 'W';
  return Name;
}

std::string RegKeyPathBelowRoot(const std::u16string& FullName, TRegRoot& Root) {
  Root = TRegRoot::rrNone;
  // Registry names ignore letter case, and systems differ in how they spell the roots
  // ("\REGISTRY\MACHINE\", "\REGISTRY\Machine\"). Positions count UTF-16 units.
  std::u16string upper = FullName;
  for (char16_t& c : upper)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  if (upper.find(u"\\MACHINE\\") == 9) {
    Root = TRegRoot::rrLocalMachine;
    return Utf16ToUtf8(FullName.substr(18));
  }
  if (upper.find(u"\\USER\\") == 9) {
    Root = TRegRoot::rrCurrentUser;
    const std::u16string below = FullName.substr(15);
    const auto slash = below.find(u'\\');
    return Utf16ToUtf8(slash == std::u16string::npos ? below : below.substr(slash + 1));
  }
  return Utf16ToUtf8(FullName);
}

}  // namespace sk::platform
