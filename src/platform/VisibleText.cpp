#include "platform/VisibleText.h"

namespace platform {

namespace {

void appendEscaped(std::string& out, unsigned char c)
{
    static constexpr char digits[] = "0123456789abcdef";
    switch (c) {
    case '\n': out += "\\n"; break;
    case '\r': out += "\\r"; break;
    case '\t': out += "\\t"; break;
    default: out += {'\\', 'x', digits[c >> 4], digits[c & 15]};
    }
}

} // namespace

std::string visibleText(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size(); ++at) {
        const auto c = static_cast<unsigned char>(text[at]);
        const bool utf8Control = c == 0xC2 && at + 1 < text.size()
                                 && (static_cast<unsigned char>(text[at + 1]) & 0xE0) == 0x80;
        if (utf8Control) {
            appendEscaped(out, c);
            appendEscaped(out, static_cast<unsigned char>(text[++at]));
        } else if (c < 0x20 || c == 0x7F) {
            appendEscaped(out, c);
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

} // namespace platform
