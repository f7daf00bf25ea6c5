// What a port name leads to, against a device folder and a kernel description
// of the test's own: the order of the candidates, built-in ports with no UART
// behind them, the system console, CDC-ACM cables and USB adapters.
#include "fake_machine.h"
#include "link/port_info.h"

#include <cerrno>
#include <fstream>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

TEST(PortNames, ComNamesResolveInAFixedOrder) {
    EXPECT_EQ(PortNameCandidates("COM2", "/x"),
              (std::vector<std::string>{"/x/COM2", "/x/ttyUSB1", "/x/ttyACM1", "/x/ttyS1"}));
    for (const char* name : {"COM0", "COM", "LPT1", "com1", "COM1x", "/dev/ttyS0"}) {
        EXPECT_TRUE(PortNameCandidates(name, "/x").empty()) << name;
    }
    FakeMachine machine;
    const auto resolve = [&](const char* name) { return ResolvePortName(name, machine.folders); };
    EXPECT_EQ(resolve("COM1"), "");
    machine.AddBuiltIn("ttyS0", 4);
    EXPECT_EQ(resolve("COM1"), machine.Device("ttyS0"));
    machine.Add("ttyACM0");
    EXPECT_EQ(resolve("COM1"), machine.Device("ttyACM0")) << "a CDC-ACM cable before ttyS";
    machine.AddUsb("ttyUSB0", "FT232R USB UART");
    EXPECT_EQ(resolve("COM1"), machine.Device("ttyUSB0"));
    fs::create_symlink(machine.Device("ttyS0"), machine.Device("COM1"));
    EXPECT_EQ(resolve("COM1"), machine.Device("COM1"));
    // A link that leads nowhere does not count.
    fs::create_symlink(machine.Device("missing"), machine.Device("COM2"));
    EXPECT_EQ(resolve("COM2"), "");
    EXPECT_EQ(resolve("/dev/serial/by-id/x"), "/dev/serial/by-id/x") << "a path stands for itself";
}

TEST(PortNames, ABuiltInPortWithNoUartCountsAsAbsent) {
    FakeMachine machine;
    machine.AddBuiltIn("ttyS2", 0);
    EXPECT_EQ(ExamineDevice(machine.Device("ttyS2"), machine.folders), DeviceKind::NoUart);
    EXPECT_EQ(ResolvePortName("COM3", machine.folders), "");
    const std::string looked = "COM3: no such device (looked for " + machine.Device("COM3") + ", " +
                               machine.Device("ttyUSB2") + ", " + machine.Device("ttyACM2") + ", " +
                               machine.Device("ttyS2") + "); no UART behind " +
                               machine.Device("ttyS2");
    EXPECT_EQ(DescribePort("COM3", machine.folders), looked);
    EXPECT_EQ(ExplainPortFailure("COM3", ENOENT, 0, machine.folders), looked);
    // Resolution goes on past it: a later candidate, and an earlier one, win.
    machine.Add("ttyACM2");
    EXPECT_EQ(ResolvePortName("COM3", machine.folders), machine.Device("ttyACM2"));
    // Named by its path, it is refused before it is opened.
    SetSerialFolders(machine.folders);
    EXPECT_EQ(OpenSerialPort(machine.Device("ttyS2")), INVALID_HANDLE_VALUE);
    EXPECT_EQ(LastSerialError(), ENODEV);
    EXPECT_EQ(ExplainPortFailure(machine.Device("ttyS2"), ENODEV, 0, machine.folders),
              machine.Device("ttyS2") + ": no UART behind " + machine.Device("ttyS2"));
    SetSerialFolders({});
}

TEST(PortNames, TheSystemConsoleIsNeverOpened) {
    FakeMachine machine;
    machine.AddBuiltIn("ttyS0", 4);
    machine.SetConsoles("tty0 ttyS0");
    EXPECT_EQ(ResolvePortName("COM1", machine.folders), machine.Device("ttyS0"));
    SetSerialFolders(machine.folders);
    EXPECT_EQ(OpenSerialPort("COM1"), INVALID_HANDLE_VALUE);
    const int error = LastSerialError();
    SetSerialFolders({});
    EXPECT_EQ(ExplainPortFailure("COM1", error, 0, machine.folders),
              "COM1 leads to " + machine.Device("ttyS0") +
                  ": the system console; it is not used for the receiver");
    EXPECT_EQ(DescribePort("COM1", machine.folders),
              "COM1: " + machine.Device("ttyS0") +
                  "\nthe system console; it is not used for the receiver");
    machine.SetConsoles("tty0");
    EXPECT_EQ(DescribePort("COM1", machine.folders), "COM1: " + machine.Device("ttyS0"));
}

TEST(PortNames, TheDescriptionNamesTheAdapter) {
    FakeMachine machine;
    machine.AddUsb("ttyUSB0", "USB-Serial Controller");
    EXPECT_EQ(DescribePort("COM1", machine.folders),
              "COM1: " + machine.Device("ttyUSB0") + " (USB-Serial Controller)");
    fs::create_symlink(machine.Device("ttyUSB0"), machine.Device("COM1"));
    EXPECT_EQ(DescribePort("COM1", machine.folders), "COM1: " + machine.Device("COM1") + " -> " +
                                                         machine.Device("ttyUSB0") +
                                                         " (USB-Serial Controller)");
}
