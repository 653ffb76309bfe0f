#include "LineRate.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace testsupport {

std::uint32_t line_rate(int fd)
{
    termios2 tio{};
    return ::ioctl(fd, TCGETS2, &tio) == 0 ? tio.c_ospeed : 0;
}

bool has_custom_rate(int fd)
{
    termios2 tio{};
    return ::ioctl(fd, TCGETS2, &tio) == 0 && (tio.c_cflag & CBAUD) == BOTHER;
}

}  // namespace testsupport
