// What the ports command makes of the device installer's records, on records
// taken from real machines: adapters with and without driver trouble, a slow
// FTDI latency timer, a CDC-ACM device, a built-in port, a busy port.
#include "link/port_info.h"
#include "port_records.h"

#include <gtest/gtest.h>

namespace {

win::PortRecord Prolific(unsigned long problem, const char* friendlyName) {
    win::PortRecord record;
    record.portName = "COM3";
    record.friendlyName = friendlyName;
    record.hardwareIds = {"USB\\VID_067B&PID_2303&REV_0300", "USB\\VID_067B&PID_2303"};
    record.manufacturer = "Prolific";
    record.service = "Ser2pl";
    record.problem = problem;
    return record;
}

TEST(PortRecords, AProlificAdapterWithAndWithoutItsDriverRefusingTheChip) {
    const DeviceFacts good =
        FactsFromRecord(Prolific(0, "Prolific USB-to-Serial Comm Port (COM3)"));
    EXPECT_EQ(good.usbId, "067b:2303");
    EXPECT_EQ(good.product, "Prolific USB-to-Serial Comm Port");
    EXPECT_EQ(good.friendlyName, "Prolific USB-to-Serial Comm Port (COM3)");
    EXPECT_EQ(good.driver, "Ser2pl");
    EXPECT_EQ(good.driverProblem, "");
    EXPECT_EQ(PortAdvice(good), "");

    // Prolific's driver names a chip it refuses in the device's name, and the
    // device stops with code 10.
    const DeviceFacts refused = FactsFromRecord(
        Prolific(10, "Prolific USB-to-Serial Comm Port (COM3) PL2303HXA PHASED OUT SINCE 2012. "
                     "PLEASE CONTACT YOUR SUPPLIER."));
    EXPECT_EQ(refused.driverProblem, "the driver refuses this chip");
    EXPECT_NE(PortAdvice(refused).find("3.3.2.102"), std::string::npos) << PortAdvice(refused);

    const DeviceFacts stopped = FactsFromRecord(Prolific(10, "Prolific USB-to-Serial (COM3)"));
    EXPECT_EQ(stopped.driverProblem, "the device cannot start (code 10)");
    EXPECT_NE(PortAdvice(stopped).find("Prolific"), std::string::npos);
}

TEST(PortRecords, AnFtdiAdapterWithASlowLatencyTimerIsToldWhereToSetIt) {
    win::PortRecord record;
    record.portName = "COM5";
    record.friendlyName = "USB Serial Port (COM5)";
    record.hardwareIds = {"FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000"};
    record.manufacturer = "FTDI";
    record.service = "FTSER2K";
    record.latencyTimer = 16;
    DeviceFacts facts = FactsFromRecord(record);
    EXPECT_EQ(facts.usbId, "0403:6001");
    EXPECT_EQ(facts.latencyTimer, 16);
    EXPECT_NE(PortAdvice(facts).find("latency timer is 16 ms"), std::string::npos)
        << PortAdvice(facts);
    record.latencyTimer = 1;
    EXPECT_EQ(PortAdvice(FactsFromRecord(record)), "");
}

TEST(PortRecords, ACdcAcmDeviceAndABuiltInPort) {
    win::PortRecord acm;
    acm.portName = "COM7";
    acm.friendlyName = "USB Serial Device (COM7)";
    acm.hardwareIds = {"USB\\VID_2341&PID_0043&REV_0001"};
    acm.service = "usbser";
    const DeviceFacts cable = FactsFromRecord(acm);
    EXPECT_EQ(cable.usbId, "2341:0043");
    EXPECT_EQ(cable.product, "USB Serial Device");
    EXPECT_EQ(cable.driver, "usbser");

    win::PortRecord builtIn;
    builtIn.portName = "COM1";
    builtIn.friendlyName = "Communications Port (COM1)";
    builtIn.hardwareIds = {"ACPI\\PNP0501", "*PNP0501"};
    builtIn.service = "Serial";
    const DeviceFacts port = FactsFromRecord(builtIn);
    EXPECT_EQ(port.usbId, "");
    EXPECT_EQ(port.product, "Communications Port");
    EXPECT_EQ(PortAdvice(port), "");
}

TEST(PortRecords, NamesAreListedOnceInTheOrderOfTheirNumbers) {
    EXPECT_EQ(SortedPortNames({"COM10", "COM3", "COM1", "COM3", "COM2"}),
              (std::vector<std::string>{"COM1", "COM2", "COM3", "COM10"}));
}

TEST(PortNamesOnWindows, AnyComNumberFrom1To256IsAPortName) {
    for (const char* name : {"COM1", "COM9", "COM10", "COM256"}) {
        EXPECT_EQ(PortNameCandidates(name, ""), std::vector<std::string>{name}) << name;
    }
    for (const char* name : {"COM0", "COM257", "COM01", "com1", "COM", "LPT1", "COM1x"}) {
        EXPECT_TRUE(PortNameCandidates(name, "").empty()) << name;
    }
    EXPECT_EQ(ResolvePortName("\\\\.\\COM12", GetSerialFolders()), "\\\\.\\COM12")
        << "a device path stands for itself";
}

TEST(PortNamesOnWindows, FailuresAreSaidInWindowsTerms) {
    EXPECT_EQ(ExplainPortFailure("COM77", ENOENT, 0), "COM77: no such COM port");
    EXPECT_EQ(ExplainPortFailure("\\\\.\\COM9", EBUSY, 0),
              "\\\\.\\COM9: busy: in use by another program");
    EXPECT_EQ(ExplainPortFailure("\\\\.\\COM9", EACCES, 0), "\\\\.\\COM9: access denied");
}

} // namespace
