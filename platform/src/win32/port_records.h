// What the device installer's records of a port mean: its USB ids, its
// product name, what is wrong with its driver. Plain text work, tested on
// recorded data.
#pragma once

#include "platform/port_survey.h"
#include "system.h"

#include <string>
#include <vector>

DeviceFacts FactsFromRecord(const win::PortRecord& record);

// "067b:2303" from "USB\VID_067B&PID_2303&REV_0300" (or an FTDI bus's
// "FTDIBUS\VID_0403+PID_6001+..."), or "".
std::string UsbIdOf(const std::vector<std::string>& hardwareIds);

// The names once each, COM1 before COM2 before COM10.
std::vector<std::string> SortedPortNames(std::vector<std::string> names);
