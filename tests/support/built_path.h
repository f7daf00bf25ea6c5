// The paths of built programs and source folders that tests use.
#pragma once

#include <cstdlib>

// Where a program or folder the test uses is: the build's own, unless the
// environment names a copy (the tests also run as an unprivileged user, from a
// folder that user can reach).
inline const char* BuiltPath(const char* variable, const char* built) {
    const char* copy = std::getenv(variable);
    return copy != nullptr && *copy != '\0' ? copy : built;
}
