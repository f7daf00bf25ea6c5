// What the system shows of the serial devices of the machine: which there
// are, their other names, what drives them, whether this user may open them
// and who else has them open. Facts only; what they mean for the user is said
// by the scanner link.
#pragma once

#include "platform/serial.h"

#include <string>
#include <vector>

// A process that has a device open.
struct PortHolder {
    int pid = 0;
    std::string name; // the process's command name, as the system keeps it
};

// The other processes that have the device open, as far as this user may
// look: the descriptors of another user's processes are hidden from all but
// root. unseen, when given, receives how many processes could not be looked at.
std::vector<PortHolder> FindPortHolders(const std::string& devicePath, const SerialFolders& folders,
                                        int* unseen = nullptr);

// The live process that holds the device's lock, or 0.
int PortLockOwner(const std::string& devicePath, const SerialFolders& folders);

// The command name of a process, or "" when it cannot be seen.
std::string ProcessName(int pid, const SerialFolders& folders);

// Whether this process runs with the rights to see every other process.
bool SeesEveryProcess();

// One serial device as the system shows it.
struct DeviceFacts {
    std::string path; // as it was named
    std::string real; // with every link followed
    DeviceKind kind = DeviceKind::Missing;
    std::vector<std::string> byId; // its stable names (<devices>/serial/by-id)
    std::string friendlyName;      // the system's name for it, where it has one
    std::string driver;            // "ftdi_sio", "cdc_acm", "serial8250", ...
    std::string usbId;             // "0403:6001" for a USB device
    std::string manufacturer;
    std::string product;
    int latencyTimer = -1;     // an FTDI adapter's latency timer in ms, or -1
    std::string driverProblem; // what the system says is wrong with the driver
    bool mayOpen = false;
    int accessError = 0;       // the error number an open would fail with
    std::string owner;         // the user the device belongs to
    std::string group;         // the group that may open the device, where there is one
    bool groupMayOpen = false; // whether that group may read and write it
    bool inUse = false;        // another program has it open, where the system tells no more
    std::vector<PortHolder> holders;
    int lockOwner = 0; // the live holder of its lock
    int unseen = 0;    // processes whose descriptors could not be looked at
};

DeviceFacts SurveyDeviceFacts(const std::string& path, const SerialFolders& folders);

// Every serial device of the machine, in the order of their kinds and numbers.
std::vector<std::string> SerialDevicePaths(const SerialFolders& folders);

// How the system names and guards its serial ports, for how a failure is said.
struct SerialSystemTraits {
    bool namesAreDevices;   // a port's name is the device itself ("COM3"), not looked up
    bool holdersShown;      // the processes that have a device open can be seen
    bool groupsGrantAccess; // access to a device is given by joining its group
    bool lowLatencyOnOpen;  // an open port asks its driver for the shortest latency timer
};
const SerialSystemTraits& SerialTraits();

// This process's id, as the holders and lock owners above are given.
int ThisProcessId();
