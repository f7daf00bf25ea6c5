#pragma once

#include "platform/port_survey.h"
#include "platform/serial.h"
#include "platform/types.h"

#include <string>
#include <vector>

// Everything the system lets this user see of one serial device, with what
// it means for the user.
struct DeviceSurvey : DeviceFacts {
    std::string accessProblem; // why this user may not open it, with what to do about it
    // Whether another program has it: "" when none can be seen, else "busy:
    // held by process 1234 (minicom)" and, for a service known to take serial
    // adapters, what to do about it.
    std::string busy;
};

DeviceSurvey SurveyDevice(const std::string& path, const SerialFolders& folders);

// What a port name leads to: the device path, or empty with why it leads
// nowhere in problem ("no such device (looked for ...)").
std::string ResolveForUser(const CString& portName, const SerialFolders& folders,
                           std::string& problem);

// What a port name leads to, for the user: the device path (and where a link
// points), the USB adapter's product name where the system knows it, why the
// device cannot be used when it is missing, has no UART behind it, is the
// system console or is not accessible, and who holds it when it is busy.
CString DescribePort(const CString& portName, const SerialFolders& folders);
// The same, where the serial layer looks now.
CString DescribePort(const CString& portName);

// Why opening a port failed, for the user, from the error number the open
// left: what the name led to and the reason, with what to do about it ("no
// such device (looked for ...)", "permission denied: ... dialout group ...",
// "busy: held by process 1234 (minicom)", "no UART behind /dev/ttyS2", ...).
// holder is the process whose lock or descriptor kept the port, or 0.
CString ExplainPortFailure(const CString& portName, int error, int holder,
                           const SerialFolders& folders);
// The same, where the serial layer looks now.
CString ExplainPortFailure(const CString& portName, int error, int holder);

// What to do about a device's driver or settings where users commonly get
// stuck (a driver that refuses the adapter's chip, a slow latency timer); ""
// when there is nothing to do.
std::string PortAdvice(const DeviceFacts& device);

// What appeared and what went between two lists of devices.
struct DeviceChanges {
    std::vector<std::string> appeared;
    std::vector<std::string> gone;
};
DeviceChanges CompareDeviceLists(const std::vector<std::string>& before,
                                 const std::vector<std::string>& after);

// The port name, COM1 to COM4, under which a device is found, or "".
std::string ComNameOf(const std::string& device, const SerialFolders& folders);
