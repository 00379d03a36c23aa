#include "options.hpp"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tone_generator.hpp"

const char* const kUsage =
    "usage: tone_bench [OPTION]...\n"
    "Measures the tone: pitch, edge timing, CPU and reaction, on the simulated pin\n"
    "beside a relative-sleep reference, then through a kernel PWM and the sound card\n"
    "where the machine has them; or, with --loopback, at the board's tone pin.\n"
    "\n"
    "  --seconds S       how long each tone is measured (default 2)\n"
    "  --hz F            that frequency alone (default: the scale and more)\n"
    "  --csv FILE        the summary CSV (default tone_bench.csv; lateness beside it)\n"
    "  --plot FILE.png   the picture, drawn by gnuplot (default tone_bench.png)\n"
    "  --pwm CHIP        a /sys/class/pwm/pwmchipN (default: the first)\n"
    "  --sound DEVICE    an ALSA device (default \"default\")\n"
    "  --loopback LINE   play the scale on pin 15 (GPIO22) and read it back on LINE,\n"
    "                    wired to it, e.g. GPIO23 (pin 16): the kernel timestamps\n"
    "                    each edge\n"
    "  --listen          with --loopback: play nothing, measure what another source\n"
    "                    plays on LINE against the notes (or --hz)\n"
    "  --help            this text\n";

namespace {

std::optional<Options> fail(int& status, const std::string& line) {
    std::fprintf(stderr, "tone_bench: %s; see tone_bench --help\n", line.c_str());
    status = 2;
    return std::nullopt;
}

// The whole text as a number, or false.
bool number(const char* text, double& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text, &end);
    return end != text && *end == '\0' && errno == 0 && std::isfinite(value);
}

}  // namespace

std::optional<Options> parseOptions(int argc, char** argv, int& status) {
    Options o;
    status = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help") {
            std::fputs(kUsage, stdout);
            return std::nullopt;
        }
        if (option == "--listen") {
            o.listen = true;
            continue;
        }
        const bool known = option == "--seconds" || option == "--hz" || option == "--csv" || option == "--plot" ||
                           option == "--pwm" || option == "--sound" || option == "--loopback";
        if (!known) return fail(status, "unknown option '" + option + "'");
        if (i + 1 >= argc) return fail(status, option + " needs a value");
        const char* value = argv[++i];
        double n = 0;
        if (option == "--seconds") {
            if (!number(value, n) || n < 0.1 || n > 3600)
                return fail(status, "--seconds '" + std::string(value) + "' is not a number from 0.1 to 3600");
            o.seconds = n;
        } else if (option == "--hz") {
            if (!number(value, n) || n != std::floor(n) || n < 1 || n > gpio::ToneGenerator::kMaxHz)
                return fail(status, "--hz '" + std::string(value) + "' is not a whole number from 1 to " +
                                            std::to_string(gpio::ToneGenerator::kMaxHz));
            o.frequencies = {static_cast<int>(n)};
        } else if (option == "--csv") {
            o.csvPath = value;
        } else if (option == "--plot") {
            o.pngPath = value;
        } else if (option == "--pwm") {
            o.pwmChip = value;
        } else if (option == "--sound") {
            o.soundDevice = value;
        } else {
            o.loopbackLine = value;
        }
    }
    if (o.listen && o.loopbackLine.empty()) return fail(status, "--listen needs --loopback LINE");
    return o;
}
