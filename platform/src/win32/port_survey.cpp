// The serial ports of a Windows machine: COM1 to COM4 and every port the
// registry maps, with what the device installer says of each.
#include "platform/port_survey.h"

#include "port_records.h"
#include "system.h"

#include <algorithm>
#include <cerrno>

std::vector<PortHolder> FindPortHolders(const std::string&, const SerialFolders&, int* unseen) {
    // Windows does not show who has a port open; the open says that it is in use.
    if (unseen != nullptr) {
        *unseen = 0;
    }
    return {};
}

int PortLockOwner(const std::string&, const SerialFolders&) {
    return 0;
}

std::string ProcessName(int, const SerialFolders&) {
    return {};
}

bool SeesEveryProcess() {
    return true;
}

int ThisProcessId() {
    return win::ProcessId();
}

DeviceFacts SurveyDeviceFacts(const std::string& path, const SerialFolders& folders) {
    win::PortRecord found;
    found.portName = path;
    for (const win::PortRecord& record : win::PortRecords()) {
        if (record.portName == path) {
            found = record;
        }
    }
    DeviceFacts facts = FactsFromRecord(found);
    facts.kind = ExamineDevice(path, folders);
    if (facts.kind == DeviceKind::Port) {
        if (win::PortMutexHeld(PortLockName(path))) {
            facts.inUse = true;
        } else {
            const int error = win::ErrnoOf(win::ProbePort(path));
            facts.inUse = error == EACCES || error == EBUSY;
            facts.mayOpen = error == 0 || facts.inUse;
            facts.accessError = facts.mayOpen ? 0 : error;
        }
    }
    return facts;
}

std::vector<std::string> SerialDevicePaths(const SerialFolders&) {
    std::vector<std::string> names;
    for (const std::string& name : win::SerialCommNames()) {
        names.push_back(name);
    }
    for (const win::PortRecord& record : win::PortRecords()) {
        names.push_back(record.portName);
    }
    return SortedPortNames(names);
}

const SerialSystemTraits& SerialTraits() {
    static const SerialSystemTraits traits{true, false, false, false};
    return traits;
}
