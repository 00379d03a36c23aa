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

}  // namespace

Error::Error(std::string_view subject, std::string_view what, int err, std::string_view remedy)
    : std::runtime_error(compose(subject, what, err, remedy)) {}

void report(std::string_view text) {
    std::string line = "gpio: ";
    line.append(text).push_back('\n');
    // Nothing useful can be done if standard error itself is gone.
    const ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
    static_cast<void>(written);
}

void report(const Error& error) { report(std::string_view(error.what())); }

}  // namespace gpio
