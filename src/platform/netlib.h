// Stand-in for the host maker's network-file library: tells network file
// names (URLs) from local paths.
#ifndef GRIDWRIGHT_PLATFORM_NETLIB_H
#define GRIDWRIGHT_PLATFORM_NETLIB_H

#include <stdint.h>

// Returns 0 when name is a network file name and 1 when it is not (also for
// NULL). Note the inverted sense, kept from the library it stands in for.
int32_t NetLibIsNetFile(const char* name);

#endif  // GRIDWRIGHT_PLATFORM_NETLIB_H
