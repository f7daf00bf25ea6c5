#include "link/port_info.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// Services known to take serial adapters, with what to do about each.
std::string Remedy(const std::string& holderName) {
    if (holderName == "ModemManager") {
        return "; ModemManager probes new serial adapters: install the udev rule that tells it "
               "to leave yours alone, or stop it (sudo systemctl stop ModemManager)";
    }
    if (holderName == "brltty") {
        return "; brltty takes some USB serial adapters for braille displays: remove it if you "
               "do not need it (sudo apt-get remove brltty)";
    }
    return {};
}

// "busy: held by process 1234 (minicom), process 99 (ModemManager)", with what
// to do about each known service among them.
std::string HeldBy(const std::vector<int>& pids, const SerialFolders& folders) {
    std::string names, remedies;
    for (const int pid : pids) {
        const std::string name = ProcessName(pid, folders);
        names += (names.empty() ? "process " : ", process ") + std::to_string(pid) +
                 (name.empty() ? "" : " (" + name + ")");
        const std::string remedy = Remedy(name);
        if (remedies.find(remedy) == std::string::npos) {
            remedies += remedy;
        }
    }
    return "busy: held by " + (names.empty() ? std::string("another program") : names) + remedies;
}

std::vector<int> HolderIds(const std::vector<PortHolder>& holders) {
    std::vector<int> pids;
    for (const PortHolder& holder : holders) {
        pids.push_back(holder.pid);
    }
    return pids;
}

// "no such device (looked for ...)", with the candidates that are there but
// have no UART behind them.
std::string NoSuchDevice(const CString& portName, const SerialFolders& folders) {
    std::string tried, phantoms;
    for (const std::string& candidate : PortNameCandidates(portName, folders.devices)) {
        tried += (tried.empty() ? "" : ", ") + candidate;
        if (ExamineDevice(candidate, folders) == DeviceKind::NoUart) {
            phantoms += "; no UART behind " + candidate;
        }
    }
    if (SerialTraits().namesAreDevices) {
        return "no such COM port";
    }
    return "no such device" + (tried.empty() ? "" : " (looked for " + tried + ")") + phantoms;
}

constexpr char kConsole[] = "the system console; it is not used for the receiver";

// What to do about a device this user may not open: join its group where
// that group may read and write it; otherwise only its owner may, and a udev
// rule can change that.
std::string PermissionAdvice(const DeviceFacts& device) {
    if (device.groupMayOpen && !device.group.empty() && device.group != "root") {
        return "permission denied: add your user to the " + device.group +
               " group (sudo usermod -aG " + device.group +
               " $USER), then log out and in again after joining it";
    }
    return "permission denied: only " + (device.owner.empty() ? "root" : device.owner) +
           " may open it; a udev rule can give it to the dialout group (see the example rule "
           "that comes with this program)";
}

// "/dev/COM1 -> /dev/ttyUSB0" for a name that is a link.
std::string PathAndTarget(const std::string& path, const std::string& real) {
    return real == path ? path : path + " -> " + real;
}

} // namespace

DeviceSurvey SurveyDevice(const std::string& path, const SerialFolders& folders) {
    DeviceSurvey survey;
    static_cast<DeviceFacts&>(survey) = SurveyDeviceFacts(path, folders);
    if (!survey.mayOpen) {
        const bool denied = survey.accessError == EACCES || survey.accessError == EPERM;
        survey.accessProblem = !denied ? std::strerror(survey.accessError)
                               : SerialTraits().groupsGrantAccess ? PermissionAdvice(survey)
                                                                  : "access denied";
    }
    if (!survey.holders.empty()) {
        survey.busy = HeldBy(HolderIds(survey.holders), folders);
    } else if (survey.lockOwner > 0 && survey.lockOwner != ThisProcessId()) {
        survey.busy = HeldBy({survey.lockOwner}, folders);
    } else if (survey.inUse) {
        survey.busy = "busy: in use by another program";
    }
    return survey;
}

std::string ResolveForUser(const CString& portName, const SerialFolders& folders,
                           std::string& problem) {
    const std::string path = ResolvePortName(portName, folders);
    problem.clear();
    if (path.empty() || ExamineDevice(path, folders) == DeviceKind::Missing) {
        problem = NoSuchDevice(portName, folders);
        return {};
    }
    return path;
}

CString ExplainPortFailure(const CString& portName, int error, int holder,
                           const SerialFolders& folders) {
    std::string problem;
    const std::string path = ResolveForUser(portName, folders, problem);
    if (path.empty() || error == ENOENT) {
        return portName + ": " + (problem.empty() ? NoSuchDevice(portName, folders) : problem);
    }
    const DeviceKind kind = ExamineDevice(path, folders);
    const std::string real = RealPath(path);
    std::string text = portName == path ? PathAndTarget(path, real)
                                        : portName + " leads to " + PathAndTarget(path, real);
    if (kind == DeviceKind::NoUart) {
        return text + ": no UART behind " + path;
    }
    if (kind == DeviceKind::Console) {
        return text + ": " + kConsole;
    }
    switch (error) {
    case EACCES:
    case EPERM:
        if (!SerialTraits().groupsGrantAccess) {
            return text + ": access denied";
        }
        return text + ": " + PermissionAdvice(SurveyDeviceFacts(path, folders));
    case EBUSY:
    case EWOULDBLOCK: {
        if (holder <= 0 && !SerialTraits().holdersShown) {
            return text + ": busy: in use by another program";
        }
        std::vector<int> pids;
        if (holder > 0) {
            pids.push_back(holder);
        }
        for (const int pid : HolderIds(FindPortHolders(path, folders))) {
            if (pid != holder) {
                pids.push_back(pid);
            }
        }
        return text + ": " + HeldBy(pids, folders);
    }
    case ENOTTY:
        return text + ": not a serial port";
    default:
        return text + ": " + std::strerror(error);
    }
}

CString DescribePort(const CString& portName, const SerialFolders& folders) {
    std::string problem;
    const std::string path = ResolveForUser(portName, folders, problem);
    if (path.empty()) {
        return portName + ": " + problem;
    }
    const DeviceSurvey survey = SurveyDevice(path, folders);
    CString text = portName + ": " + PathAndTarget(path, survey.real);
    if (!survey.product.empty()) {
        text += " (" + survey.product + ")";
    }
    switch (survey.kind) {
    case DeviceKind::NoUart:
        return text + "\nno UART behind " + path;
    case DeviceKind::Console:
        return text + "\n" + kConsole;
    case DeviceKind::Missing:
    case DeviceKind::Port:
        break;
    }
    if (!survey.mayOpen) {
        text.append("\n").append(survey.accessProblem);
    }
    if (!survey.busy.empty()) {
        text.append("\n").append(survey.busy);
    }
    return text;
}

CString DescribePort(const CString& portName) {
    return DescribePort(portName, GetSerialFolders());
}

CString ExplainPortFailure(const CString& portName, int error, int holder) {
    return ExplainPortFailure(portName, error, holder, GetSerialFolders());
}

std::string PortAdvice(const DeviceFacts& device) {
    std::string advice;
    if (!device.driverProblem.empty()) {
        advice = device.driverProblem;
        if (device.usbId.rfind("067b:", 0) == 0) {
            advice += "; Prolific's newer drivers refuse the older PL-2303 chips: in Device "
                      "Manager, roll the driver back to Prolific's 3.3.2.102, or use an adapter "
                      "with another chip";
        }
    }
    if (device.latencyTimer > 1 && !SerialTraits().lowLatencyOnOpen) {
        advice += (advice.empty() ? "" : "; ") + std::string("the FTDI latency timer is ") +
                  std::to_string(device.latencyTimer) +
                  " ms, which makes transfers slower: set it to 1 ms in Device Manager (the "
                  "port's Properties, Port Settings, Advanced, Latency Timer)";
    }
    return advice;
}

DeviceChanges CompareDeviceLists(const std::vector<std::string>& before,
                                 const std::vector<std::string>& after) {
    DeviceChanges changes;
    const auto in = [](const std::vector<std::string>& list, const std::string& path) {
        return std::find(list.begin(), list.end(), path) != list.end();
    };
    for (const std::string& path : after) {
        if (!in(before, path)) {
            changes.appeared.push_back(path);
        }
    }
    for (const std::string& path : before) {
        if (!in(after, path)) {
            changes.gone.push_back(path);
        }
    }
    return changes;
}

std::string ComNameOf(const std::string& device, const SerialFolders& folders) {
    const std::string real = RealPath(device);
    for (const char* name : {"COM1", "COM2", "COM3", "COM4"}) {
        const std::string path = ResolvePortName(name, folders);
        if (!path.empty() && RealPath(path) == real) {
            return name;
        }
    }
    return {};
}
