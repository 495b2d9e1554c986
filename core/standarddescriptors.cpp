#include "standarddescriptors.h"

#ifdef __unix__
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace common {

int ReserveStandardDescriptors()
{
    int closed = 0;
#ifdef __unix__
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        closed |= 1 << fd;
        // The lowest free number is this one: the descriptors below it are open by now.
        const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened > fd)
            ::close(opened); // cannot happen while fd is free; nothing to hold on to then
    }
#endif
    return closed;
}

} // namespace common
