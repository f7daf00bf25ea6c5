// What the system shows of each serial device, against a machine of the
// test's own: other names, drivers and USB ids, who holds a device, and what
// a user who may not open one is told.
#include "fake_machine.h"
#include "link/port_info.h"

#include <functional>
#include <grp.h>
#include <gtest/gtest.h>
#include <iomanip>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr uid_t kNobody = 65534;

} // namespace

TEST(PortSurvey, EachKindOfDeviceIsListedWithWhatDrivesIt) {
    FakeMachine machine;
    machine.AddBuiltIn("ttyS0", 4);
    machine.AddBuiltIn("ttyS1", 0); // no UART behind it: not listed
    machine.AddBuiltIn("ttyS10", 4);
    machine.AddBuiltIn("ttyS2", 4);
    machine.AddUsb("ttyUSB0", "FT232R USB UART", "0403:6001", "FTDI");
    machine.AddUsb("ttyACM0", "Pico", "2e8a:000a", "Raspberry Pi", "cdc_acm");
    machine.Add("ttyUSBx"); // not a numbered device
    machine.AddById("usb-FTDI_FT232R_USB_UART_A10K-if00-port0", "ttyUSB0");
    EXPECT_EQ(SerialDevicePaths(machine.folders),
              (std::vector<std::string>{machine.Device("ttyUSB0"), machine.Device("ttyACM0"),
                                        machine.Device("ttyS0"), machine.Device("ttyS2"),
                                        machine.Device("ttyS10")}));

    const DeviceSurvey usb = SurveyDevice(machine.Device("ttyUSB0"), machine.folders);
    EXPECT_EQ(usb.kind, DeviceKind::Port);
    EXPECT_EQ(usb.byId, std::vector<std::string>{machine.Device(
                            "serial/by-id/usb-FTDI_FT232R_USB_UART_A10K-if00-port0")});
    EXPECT_EQ(usb.driver, "ftdi_sio");
    EXPECT_EQ(usb.usbId, "0403:6001");
    EXPECT_EQ(usb.manufacturer, "FTDI");
    EXPECT_EQ(usb.product, "FT232R USB UART");
    EXPECT_EQ(usb.latencyTimer, 16) << "the FTDI driver's latency timer";
    EXPECT_EQ(PortAdvice(usb), "") << "an open port asks for 1 ms by itself";
    EXPECT_TRUE(usb.busy.empty());

    const DeviceSurvey acm = SurveyDevice(machine.Device("ttyACM0"), machine.folders);
    EXPECT_EQ(acm.driver, "cdc_acm");
    EXPECT_EQ(acm.usbId, "2e8a:000a");
    EXPECT_EQ(acm.product, "Pico");
    EXPECT_EQ(acm.latencyTimer, -1);
    EXPECT_TRUE(acm.byId.empty());

    const DeviceSurvey uart = SurveyDevice(machine.Device("ttyS0"), machine.folders);
    EXPECT_EQ(uart.driver, "serial8250");
    EXPECT_EQ(uart.usbId, "");
    EXPECT_EQ(SurveyDevice(machine.Device("ttyS1"), machine.folders).kind, DeviceKind::NoUart);
}

TEST(PortSurvey, AHolderIsNamedAndAKnownServiceComesWithItsRemedy) {
    FakeMachine machine;
    machine.AddUsb("ttyUSB0", "FT232R USB UART");
    machine.AddUsb("ttyUSB1", "CP2102 USB to UART Bridge Controller");
    machine.AddProcess(1234, "minicom", "ttyUSB0");
    machine.AddProcess(1300, "bash", "");
    machine.AddProcess(1400, "ModemManager", "ttyUSB1");
    machine.AddProcess(1500, "secret", "", false);
    machine.AddProcess(::getpid(), "self", "ttyUSB1"); // this process never counts
    fs::create_symlink(machine.Device("ttyUSB0"), machine.Device("COM1"));

    const DeviceSurvey held = SurveyDevice(machine.Device("COM1"), machine.folders);
    ASSERT_EQ(held.holders.size(), 1u);
    EXPECT_EQ(held.holders[0].pid, 1234);
    EXPECT_EQ(held.holders[0].name, "minicom");
    EXPECT_EQ(held.busy, "busy: held by process 1234 (minicom)");
    EXPECT_EQ(held.unseen, 1) << "the process whose descriptors are hidden";
    EXPECT_EQ(DescribePort("COM1", machine.folders),
              "COM1: " + machine.Device("COM1") + " -> " + machine.Device("ttyUSB0") +
                  " (FT232R USB UART)\nbusy: held by process 1234 (minicom)");

    const DeviceSurvey probed = SurveyDevice(machine.Device("ttyUSB1"), machine.folders);
    EXPECT_EQ(probed.busy.rfind("busy: held by process 1400 (ModemManager); ModemManager", 0), 0u)
        << probed.busy;
    EXPECT_NE(probed.busy.find("sudo systemctl stop ModemManager"), std::string::npos);
    EXPECT_NE(ExplainPortFailure("COM2", EBUSY, 1400, machine.folders)
                  .find("busy: held by process 1400 (ModemManager); "),
              std::string::npos);
    machine.AddProcess(1600, "brltty", "ttyUSB0");
    EXPECT_NE(SurveyDevice(machine.Device("ttyUSB0"), machine.folders).busy.find("brltty"),
              std::string::npos);
}

// What an ordinary user sees, from a process of its own: as nobody when the
// test runs as root, who may open anything and see everyone.
std::string AsOrdinaryUser(const std::function<std::string()>& look) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) {
        return "no pipe";
    }
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
            ::_exit(98);
        }
        const std::string said = look();
        const ssize_t ignored = ::write(pipeFds[1], said.data(), said.size());
        (void)ignored;
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    std::string said;
    char buffer[512];
    for (ssize_t got; (got = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;) {
        said.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? said : "child failed";
}

// What a user who may not open the device is told, by the survey and the
// port's description alike: the group to join where that group may open it,
// and the truth where only root may.
TEST(PortSurvey, AUserWhoMayNotOpenADeviceIsToldWhatHelps) {
    FakeMachine machine;
    machine.AddUsb("ttyUSB0", "FT232R USB UART");
    const auto look = [&] {
        const DeviceSurvey survey = SurveyDevice(machine.Device("ttyUSB0"), machine.folders);
        return std::string(survey.mayOpen ? "yes" : "no") + "|" + survey.accessProblem + "|" +
               DescribePort("COM1", machine.folders);
    };
    const group* dialout = ::getgrnam("dialout");
    if (dialout != nullptr && ::geteuid() == 0) {
        ASSERT_EQ(::chown(machine.Device("ttyUSB0").c_str(), 0, dialout->gr_gid), 0);
        fs::permissions(machine.Device("ttyUSB0"), fs::perms::owner_read | fs::perms::owner_write |
                                                       fs::perms::group_read |
                                                       fs::perms::group_write);
        const std::string said = AsOrdinaryUser(look);
        EXPECT_EQ(said.rfind("no|permission denied: add your user to the dialout group", 0), 0u)
            << said;
        EXPECT_NE(said.find("\npermission denied: add your user to the dialout group"),
                  std::string::npos)
            << "the description says it too: " << said;
    }
    // Root's alone: joining a group would not help. (Run as an ordinary
    // user, the test's device is that user's own.)
    if (::geteuid() != 0) {
        GTEST_SKIP() << "a device of another user needs root to make";
    }
    fs::permissions(machine.Device("ttyUSB0"), fs::perms::owner_read | fs::perms::owner_write);
    const std::string said = AsOrdinaryUser(look);
    EXPECT_EQ(said.rfind("no|permission denied: only ", 0), 0u) << said;
    EXPECT_NE(said.find("a udev rule can give it to the dialout group"), std::string::npos) << said;
    EXPECT_EQ(said.find("add your user"), std::string::npos) << said;
}

// Every holder is named, and a holder that another user cannot see is still
// found by its lock, which the kernel shows to everyone.
TEST(PortSurvey, EveryHolderIsNamedAndAHiddenOneByItsLock) {
    FakeMachine machine;
    machine.AddUsb("ttyUSB0", "FT232R USB UART");
    machine.AddProcess(1234, "minicom", "ttyUSB0");
    machine.AddProcess(1400, "ModemManager", "ttyUSB0");
    const DeviceSurvey both = SurveyDevice(machine.Device("ttyUSB0"), machine.folders);
    EXPECT_EQ(both.holders.size(), 2u);
    EXPECT_EQ(both.busy.rfind("busy: held by process 1234 (minicom), process 1400 (ModemManager); "
                              "ModemManager probes",
                              0),
              0u)
        << both.busy;

    // A process of another user whose descriptors are hidden, with the
    // device flocked: the kernel's list of locks names it.
    struct stat device {};
    ASSERT_EQ(::stat(machine.Device("ttyUSB0").c_str(), &device), 0);
    machine.AddProcess(2000, "cu", "", false);
    std::ofstream(fs::path(machine.folders.proc) / "locks")
        << "1: FLOCK  ADVISORY  WRITE 2000 " << std::hex << std::setfill('0') << std::setw(2)
        << major(device.st_dev) << ":" << std::setw(2) << minor(device.st_dev) << ":" << std::dec
        << device.st_ino << " 0 EOF\n";
    const DeviceSurvey hidden = SurveyDevice(machine.Device("ttyUSB0"), machine.folders);
    ASSERT_EQ(hidden.holders.size(), 3u);
    EXPECT_EQ(hidden.holders[2].pid, 2000);
    EXPECT_EQ(hidden.holders[2].name, "cu");
}

// What ports --watch says when a cable is plugged in: the device that came,
// the one that went, and the COM name that finds it.
TEST(PortSurvey, APluggedInDeviceIsSeenWithTheComNameThatFindsIt) {
    FakeMachine machine;
    machine.AddBuiltIn("ttyS0", 4);
    const std::vector<std::string> before = SerialDevicePaths(machine.folders);
    machine.AddUsb("ttyUSB0", "FT232R USB UART");
    fs::remove(machine.Device("ttyS0"));
    const DeviceChanges changes = CompareDeviceLists(before, SerialDevicePaths(machine.folders));
    EXPECT_EQ(changes.appeared, std::vector<std::string>{machine.Device("ttyUSB0")});
    EXPECT_EQ(changes.gone, std::vector<std::string>{machine.Device("ttyS0")});
    EXPECT_EQ(ComNameOf(machine.Device("ttyUSB0"), machine.folders), "COM1");
    machine.AddUsb("ttyUSB7", "CP2102");
    EXPECT_EQ(ComNameOf(machine.Device("ttyUSB7"), machine.folders), "")
        << "no COM name reaches it";
    fs::create_symlink(machine.Device("ttyUSB7"), machine.Device("COM3"));
    EXPECT_EQ(ComNameOf(machine.Device("ttyUSB7"), machine.folders), "COM3");
}
