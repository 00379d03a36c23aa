#include "line_request.hpp"

#include <cerrno>
#include <linux/gpio.h>
#include <sys/ioctl.h>

#include "error.hpp"

namespace gpio {

void LineRequest::set(Level level) {
    gpio_v2_line_values values{};
    values.mask = 1;
    values.bits = level == Level::High ? 1 : 0;
    if (ioctl(fd_.get(), GPIO_V2_LINE_SET_VALUES_IOCTL, &values) == 0 || reported_) return;
    reported_ = true;
    report(Error(description_, "cannot set the level", errno,
                 "the tone on this line stops; check the board and restart the program"));
}

}  // namespace gpio
