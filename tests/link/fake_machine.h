// A machine of a test's own: a device folder, a sysfs and a process list in
// a temporary folder, with the serial devices and processes a test puts there.
#pragma once

#include "platform/serial.h"
#include "temp_folder.h"

#include <filesystem>
#include <fstream>
#include <string>

class FakeMachine {
public:
    FakeMachine() {
        folders.devices = (root.path / "dev").string();
        folders.sysfs = (root.path / "sys").string();
        folders.locks = (root.path / "lock").string();
        folders.proc = (root.path / "proc").string();
        for (const std::string& folder :
             {folders.devices, folders.sysfs + "/class/tty", folders.locks, folders.proc}) {
            std::filesystem::create_directories(folder);
        }
    }
    std::string Device(const std::string& name) const { return folders.devices + "/" + name; }
    // A device node (a plain file stands in for it) and its sysfs entry.
    void Add(const std::string& name) {
        std::ofstream(Device(name)) << "";
        std::filesystem::create_directories(folders.sysfs + "/class/tty/" + name);
    }
    // A built-in port: uartType 0 means no UART answered, 4 is a 16550A.
    void AddBuiltIn(const std::string& name, int uartType) {
        Add(name);
        std::ofstream(folders.sysfs + "/class/tty/" + name + "/type") << uartType << "\n";
        Driven(folders.sysfs + "/devices/platform/serial8250/" + name, name, "serial8250");
    }
    void SetConsoles(const std::string& names) {
        std::filesystem::create_directories(folders.sysfs + "/class/tty/console");
        std::ofstream(folders.sysfs + "/class/tty/console/active") << names << "\n";
    }
    // A USB device on its own port of the bus. A USB serial adapter's tty
    // sits below its interface, a CDC-ACM device's tty is the interface.
    void AddUsb(const std::string& name, const std::string& product, const std::string& ids = "",
                const std::string& manufacturer = "", const std::string& driver = "ftdi_sio") {
        Add(name);
        const std::filesystem::path usb =
            std::filesystem::path(folders.sysfs) / "devices/pci0000:00/usb1" / ("1-" + name);
        const std::filesystem::path interface = usb / ("1-" + name + ":1.0");
        const bool acm = name.rfind("ttyACM", 0) == 0;
        Driven(acm ? interface : interface / name, name, driver);
        if (driver == "ftdi_sio") {
            std::ofstream(interface / name / "latency_timer") << "16\n";
        }
        const std::string vendor = ids.empty() ? "0403" : ids.substr(0, 4);
        std::ofstream(usb / "idVendor") << vendor << "\n";
        std::ofstream(usb / "idProduct") << (ids.empty() ? "6001" : ids.substr(5)) << "\n";
        std::ofstream(usb / "product") << product << "\n";
        if (!manufacturer.empty()) {
            std::ofstream(usb / "manufacturer") << manufacturer << "\n";
        }
    }
    // A name in /dev/serial/by-id for a device.
    void AddById(const std::string& id, const std::string& name) {
        std::filesystem::create_directories(folders.devices + "/serial/by-id");
        std::filesystem::create_symlink(Device(name), folders.devices + "/serial/by-id/" + id);
    }
    // A process with the device open on descriptor 3; unreadable hides its
    // descriptors, as another user's are hidden.
    void AddProcess(int pid, const std::string& comm, const std::string& deviceName,
                    bool readable = true) {
        const std::filesystem::path folder =
            std::filesystem::path(folders.proc) / std::to_string(pid);
        std::filesystem::create_directories(folder / "fd");
        std::ofstream(folder / "comm") << comm << "\n";
        std::filesystem::create_symlink("/dev/null", folder / "fd/0");
        if (!deviceName.empty()) {
            std::filesystem::create_symlink(Device(deviceName), folder / "fd/3");
        }
        if (!readable) {
            std::filesystem::remove_all(folder / "fd");
        }
    }

    Folder root;
    SerialFolders folders;

private:
    // The device folder of a tty, its class link and its driver link.
    void Driven(const std::filesystem::path& device, const std::string& name,
                const std::string& driver) {
        std::filesystem::create_directories(device);
        const std::filesystem::path drivers =
            std::filesystem::path(folders.sysfs) / "bus/drivers" / driver;
        std::filesystem::create_directories(drivers);
        std::filesystem::create_directory_symlink(drivers, device / "driver");
        std::filesystem::create_directory_symlink(device,
                                                  folders.sysfs + "/class/tty/" + name + "/device");
    }
};
