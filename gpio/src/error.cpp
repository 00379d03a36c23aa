#include "error.hpp"

#include <cstring>
#include <unistd.h>

namespace gpio {
namespace {

std::string compose(std::string_view subject, std::string_view what, int err,
                    std::string_view remedy) {
    std::string line;
    line.append(subject).append(": ").append(what);
    if (err != 0) line.append(": ").append(std::strerror(err));
    if (!remedy.empty()) line.append("; ").append(remedy);
    return line;
}

// How many bytes the valid UTF-8 sequence at text's start takes; 0 if none.
std::size_t utf8Length(std::string_view text) {
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = at(0);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xbf;  // the second byte's range
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        if (lead == 0xe0) low = 0xa0;   // no overlong forms
        if (lead == 0xed) high = 0x9f;  // no surrogates
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        if (lead == 0xf0) low = 0x90;
        if (lead == 0xf4) high = 0x8f;  // nothing past U+10FFFF
    }
    if (length == 0 || text.size() < length || at(1) < low || at(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (at(i) < 0x80 || at(i) > 0xbf) return 0;
    return length;
}

// Values from the environment reach messages: a newline must not split the
// line, nor a control (C0, DEL, C1: raw, or as UTF-8) reach the terminal.
// Backslashes are escaped too, so that each escape reads one way.
void appendShown(std::string& line, std::string_view text) {
    static const char kHex[] = "0123456789abcdef";
    const auto hex = [&](const char* prefix, unsigned value, int digits) {
        line.append(prefix);
        for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) line.push_back(kHex[(value >> shift) & 0xf]);
    };
    while (!text.empty()) {
        const auto byte = static_cast<unsigned char>(text[0]);
        std::size_t used = 1;
        if (byte == '\\') {
            line.append("\\\\");
        } else if (byte == '\n') {
            line.append("\\n");
        } else if (byte == '\t') {
            line.append("\\t");
        } else if (byte < 0x20 || byte == 0x7f) {
            hex("\\x", byte, 2);
        } else if (byte < 0x80) {
            line.push_back(text[0]);
        } else if ((used = utf8Length(text)) == 0) {
            used = 1;
            hex("\\x", byte, 2);
        } else if (byte == 0xc2 && static_cast<unsigned char>(text[1]) < 0xa0) {
            hex("\\u", static_cast<unsigned char>(text[1]), 4);  // U+0080..U+009F
        } else {
            line.append(text.substr(0, used));
        }
        text.remove_prefix(used);
    }
}

}  // namespace

Error::Error(std::string_view subject, std::string_view what, int err, std::string_view remedy)
    : std::runtime_error(compose(subject, what, err, remedy)) {}

void report(std::string_view text) {
    std::string line = "gpio: ";
    appendShown(line, text);
    line.push_back('\n');
    // Nothing useful can be done if standard error itself is gone.
    const ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
    static_cast<void>(written);
}

void report(const Error& error) { report(std::string_view(error.what())); }

}  // namespace gpio
