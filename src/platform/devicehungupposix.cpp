#include "devicehungup.h"

#include <poll.h>

bool deviceHungUp(qintptr handle)
{
    pollfd descriptor = {int(handle), POLLIN | POLLOUT, 0};
    return ::poll(&descriptor, 1, 0) < 0 ||
           (descriptor.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}
