#pragma once
// Included before every source of the Windows build: the few POSIX names that the shared code
// uses and the C runtime spells differently. O_CLOEXEC is the runtime's O_NOINHERIT (a handle
// not inherited by programs started later); O_NONBLOCK guards against opening a FIFO, which
// Windows files never are.
#include <fcntl.h>

#ifndef O_CLOEXEC
#define O_CLOEXEC _O_NOINHERIT
#endif
#ifndef O_NONBLOCK
#define O_NONBLOCK 0
#endif
