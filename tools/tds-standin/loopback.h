#pragma once

#include <cstdint>

namespace standin {

// Binds the socket `fd` to 127.0.0.1:`port` (0: a port the system picks). False with errno set
// when it cannot.
bool bindLoopback(int fd, uint16_t port);
// The port the socket `fd` is bound to.
uint16_t boundPort(int fd);

}  // namespace standin
