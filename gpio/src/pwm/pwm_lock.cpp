#include "pwm_lock.hpp"

#include <cerrno>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include "error.hpp"

namespace gpio {

PwmLock::PwmLock(const std::filesystem::path& chip)
    : fd_(::open(chip.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (!fd_) {
        throw Error(chip.string(), "cannot open the PWM chip", errno, "run as root or join the gpio group");
    }
    if (::flock(fd_.get(), LOCK_EX | LOCK_NB) == 0) return;
    if (errno != EWOULDBLOCK) {
        throw Error(chip.string(), "cannot lock the PWM chip", errno, "set GPIO_TONE=thread");
    }
    const auto holder = flockHolder(fd_.get());
    const std::string who = holder ? "another program (pid " + std::to_string(*holder) + ")" : "another program";
    throw Error(chip.string(), "the PWM is in use by " + who, 0,
                "stop that program first; one program plays on a PWM at a time");
}

std::optional<pid_t> flockHolder(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return std::nullopt;
    std::ostringstream id;
    id << std::hex;
    id.width(2);
    id.fill('0');
    id << major(st.st_dev) << ':';
    id.width(2);
    id << minor(st.st_dev) << ':' << std::dec << st.st_ino;
    // "1: FLOCK  ADVISORY  WRITE 2164 00:1a:12345 0 EOF"; waiters show "->".
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, device;
        long pid = 0;
        if (fields >> number >> kind >> mode >> access >> pid >> device && kind == "FLOCK" && device == id.str())
            return static_cast<pid_t>(pid);
    }
    return std::nullopt;
}

}  // namespace gpio
