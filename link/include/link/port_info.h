#pragma once

#include "platform/serial.h"
#include "platform/types.h"

#include <string>

// What a port name leads to, for the user: the device path (and where a link
// points), the USB adapter's product name where the system knows it, and why
// the device cannot be used when it is missing or not accessible. deviceFolder
// is where port names are looked up, sysfsRoot where the kernel describes its
// devices ("/sys").
CString DescribePort(const CString& portName, const std::string& deviceFolder,
                     const std::string& sysfsRoot);

// Why opening a port failed, for the user, from the error number the open
// left: what the name led to and the reason, with what to do about it ("no
// such device (looked for ...)", "permission denied: ... dialout group ...",
// "busy: held by another program", ...).
CString ExplainPortFailure(const CString& portName, int error, const std::string& deviceFolder);
