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

// Values from the environment reach messages: a newline must not split the
// line, nor an escape sequence reach the terminal.
void appendShown(std::string& line, std::string_view text) {
    static const char kHex[] = "0123456789abcdef";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7f) {
            line.push_back(c);
        } else if (c == '\n') {
            line.append("\\n");
        } else if (c == '\t') {
            line.append("\\t");
        } else {
            line.append("\\x").push_back(kHex[byte >> 4]);
            line.push_back(kHex[byte & 0xf]);
        }
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
