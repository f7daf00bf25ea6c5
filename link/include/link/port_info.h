#pragma once

#include "platform/serial.h"
#include "platform/types.h"

#include <string>

// What a port name leads to, for the user: the device path (and where a link
// points), the USB adapter's product name where the system knows it, and why
// the device cannot be used when it is missing, has no UART behind it, is the
// system console or is not accessible.
CString DescribePort(const CString& portName, const SerialFolders& folders);

// Why opening a port failed, for the user, from the error number the open
// left: what the name led to and the reason, with what to do about it ("no
// such device (looked for ...)", "permission denied: ... dialout group ...",
// "busy: held by process 1234 (minicom)", "no UART behind /dev/ttyS2", ...).
// holder is the process whose lock kept the port, or 0.
CString ExplainPortFailure(const CString& portName, int error, int holder,
                           const SerialFolders& folders);
