// ports: what COM1..COM4 lead to, and every serial device of the machine with
// what the system shows of it, as text or as JSON for scripts.
#include "cli.h"
#include "link/port_info.h"

#include "terminal_report.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

namespace {

constexpr const char* kComNames[] = {"COM1", "COM2", "COM3", "COM4"};

std::string Json(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string JsonOrNull(const std::string& text) {
    return text.empty() ? "null" : Json(text);
}

// What a device is free for: "free", or why not.
std::string State(const DeviceSurvey& device) {
    if (device.kind == DeviceKind::Console) {
        return "the system console; it is not used for the receiver";
    }
    if (!device.busy.empty()) {
        return device.busy;
    }
    if (device.unseen > 0 && !SeesEveryProcess()) {
        return "free, as far as can be seen (" + std::to_string(device.unseen) +
               " processes of other users could not be looked at)";
    }
    return "free";
}

std::string Target(const std::string& path, const std::string& real) {
    return real == path ? path : path + " -> " + real;
}

// One device with all that is known of it.
void PrintDevice(const DeviceSurvey& device) {
    std::printf("%s\n", Target(device.path, device.real).c_str());
    if (!device.friendlyName.empty()) {
        std::printf("  name           %s\n", device.friendlyName.c_str());
    }
    for (const std::string& name : device.byId) {
        std::printf("  also known as  %s\n", name.c_str());
    }
    if (!device.driver.empty()) {
        std::printf("  driver         %s\n", device.driver.c_str());
    }
    if (!device.usbId.empty()) {
        std::string usb = device.usbId;
        for (const std::string* part : {&device.manufacturer, &device.product}) {
            usb += part->empty() ? "" : " " + *part;
        }
        std::printf("  USB            %s\n", usb.c_str());
    }
    if (device.latencyTimer >= 0) {
        std::printf("  latency timer  %d ms%s\n", device.latencyTimer,
                    SerialTraits().lowLatencyOnOpen && device.latencyTimer > 1
                        ? " (1 ms while this program has the port open)"
                        : "");
    }
    std::printf("  access         %s\n",
                device.mayOpen ? "yes" : ("no: " + device.accessProblem).c_str());
    std::printf("  state          %s\n", State(device).c_str());
    if (const std::string advice = PortAdvice(device); !advice.empty()) {
        std::printf("  advice         %s\n", advice.c_str());
    }
}

void PrintText(const std::vector<DeviceSurvey>& devices, const SerialFolders& folders) {
    for (const char* name : kComNames) {
        std::string problem;
        const std::string path = ResolveForUser(name, folders, problem);
        if (path.empty()) {
            std::printf("%s  %s\n", name, problem.c_str());
            continue;
        }
        const DeviceSurvey device = SurveyDevice(path, folders);
        const std::string state = State(device);
        std::printf("%s  %s%s%s\n", name, Target(path, device.real).c_str(),
                    device.product.empty() ? "" : (" (" + device.product + ")").c_str(),
                    state.rfind("free", 0) == 0 ? "" : (": " + state).c_str());
    }
    std::printf("\n");
    if (devices.empty()) {
        std::printf("No serial devices found. Plug the adapter in and look at 'dmesg'.\n");
    }
    for (const DeviceSurvey& device : devices) {
        PrintDevice(device);
    }
}

void PrintJson(const std::vector<DeviceSurvey>& devices, const SerialFolders& folders) {
    std::printf("{\n  \"names\": [");
    const char* separator = "\n";
    for (const char* name : kComNames) {
        std::string problem;
        const std::string path = ResolveForUser(name, folders, problem);
        if (!path.empty()) {
            // A name that leads to a device that cannot be had says why.
            const std::string state = State(SurveyDevice(path, folders));
            problem = state.rfind("free", 0) == 0 ? "" : state;
        }
        std::printf("%s    {\"name\": %s, \"device\": %s, \"problem\": %s}", separator,
                    Json(name).c_str(), JsonOrNull(path).c_str(), JsonOrNull(problem).c_str());
        separator = ",\n";
    }
    std::printf("\n  ],\n  \"devices\": [");
    separator = "\n";
    for (const DeviceSurvey& device : devices) {
        std::string byId, holders;
        for (const std::string& name : device.byId) {
            byId += (byId.empty() ? "" : ", ") + Json(name);
        }
        for (const PortHolder& holder : device.holders) {
            holders += (holders.empty() ? "" : ", ") + std::string("{\"pid\": ") +
                       std::to_string(holder.pid) + ", \"name\": " + Json(holder.name) + "}";
        }
        std::printf("%s    {\"path\": %s, \"real\": %s, \"by_id\": [%s], \"driver\": %s, "
                    "\"usb_id\": %s, \"manufacturer\": %s, \"product\": %s, \"console\": %s, "
                    "\"may_open\": %s, \"access_problem\": %s, \"busy\": %s, \"holders\": [%s], "
                    "\"lock_owner\": %d, \"unseen_processes\": %d, \"state\": %s, "
                    "\"friendly_name\": %s, \"latency_timer\": %s, \"advice\": %s}",
                    separator, Json(device.path).c_str(), Json(device.real).c_str(), byId.c_str(),
                    JsonOrNull(device.driver).c_str(), JsonOrNull(device.usbId).c_str(),
                    JsonOrNull(device.manufacturer).c_str(), JsonOrNull(device.product).c_str(),
                    device.kind == DeviceKind::Console ? "true" : "false",
                    device.mayOpen ? "true" : "false", JsonOrNull(device.accessProblem).c_str(),
                    device.busy.empty() ? "false" : "true", holders.c_str(), device.lockOwner,
                    device.unseen, Json(State(device)).c_str(),
                    JsonOrNull(device.friendlyName).c_str(),
                    device.latencyTimer >= 0 ? std::to_string(device.latencyTimer).c_str() : "null",
                    JsonOrNull(PortAdvice(device)).c_str());
        separator = ",\n";
    }
    std::printf("\n  ]\n}\n");
}

} // namespace

// Waits for a serial device to appear and says what it is; says what goes
// meanwhile.
int Watch(const Options& options, const SerialFolders& folders) {
    std::fputs("Plug in the receiver's cable now (Ctrl-C to stop)\u2026\n", stderr);
    std::vector<std::string> known = SerialDevicePaths(folders);
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(options.watchSeconds);
    while (std::chrono::steady_clock::now() < deadline) {
        if (TerminalReport::CancelSignal() != 0) {
            return 128 + TerminalReport::CancelSignal();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        const std::vector<std::string> now = SerialDevicePaths(folders);
        const DeviceChanges changes = CompareDeviceLists(known, now);
        for (const std::string& gone : changes.gone) {
            std::printf("Gone: %s\n", gone.c_str());
        }
        if (!changes.appeared.empty()) {
            for (const std::string& path : changes.appeared) {
                const std::string name = ComNameOf(path, folders);
                std::printf("Appeared: %s, %s\n", path.c_str(),
                            name.empty()
                                ? ("found by none of COM1 to COM4: use --port " + path).c_str()
                                : ("found as " + name).c_str());
                PrintDevice(SurveyDevice(path, folders));
            }
            return kSuccess;
        }
        std::fflush(stdout);
        known = now;
    }
    return Fail(kNothingAppeared, "no serial device appeared within " +
                                      std::to_string(options.watchSeconds) +
                                      " s; look at 'dmesg' after plugging the cable in");
}

int Ports(const Options& options) {
    const SerialFolders& folders = GetSerialFolders();
    if (options.watch) {
        return Watch(options, folders);
    }
    std::vector<DeviceSurvey> devices;
    for (const std::string& path : SerialDevicePaths(folders)) {
        devices.push_back(SurveyDevice(path, folders));
    }
    if (options.json) {
        PrintJson(devices, folders);
    } else {
        PrintText(devices, folders);
    }
    return kSuccess;
}
