#include "port_records.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace {

std::string Upper(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

std::string Lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

// The four hexadecimal digits after key in id, or "".
std::string HexAfter(const std::string& id, const std::string& key) {
    const std::size_t at = id.find(key);
    if (at == std::string::npos || at + key.size() + 4 > id.size()) {
        return {};
    }
    const std::string digits = id.substr(at + key.size(), 4);
    return std::all_of(digits.begin(), digits.end(),
                       [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; })
               ? Lower(digits)
               : std::string();
}

// The problem codes that users of serial adapters meet, in words.
std::string ProblemText(unsigned long code) {
    switch (code) {
    case 0:
        return {};
    case 1:
    case 18:
        return "its driver is not set up right (code " + std::to_string(code) + ")";
    case 10:
        return "the device cannot start (code 10)";
    case 22:
        return "the device is disabled (code 22)";
    case 28:
        return "no driver is installed for it (code 28)";
    case 43:
        return "Windows stopped the device because it reported problems (code 43)";
    default:
        return "the device has a problem (code " + std::to_string(code) + ")";
    }
}

int NumberOf(const std::string& name) {
    return name.size() > 3 && name.compare(0, 3, "COM") == 0 ? std::atoi(name.c_str() + 3) : 0;
}

} // namespace

std::string UsbIdOf(const std::vector<std::string>& hardwareIds) {
    for (const std::string& raw : hardwareIds) {
        const std::string id = Upper(raw);
        const std::string vendor = HexAfter(id, "VID_");
        std::string product = HexAfter(id, "&PID_");
        if (product.empty()) {
            product = HexAfter(id, "+PID_");
        }
        if (!vendor.empty() && !product.empty()) {
            return vendor + ":" + product;
        }
    }
    return {};
}

DeviceFacts FactsFromRecord(const win::PortRecord& record) {
    DeviceFacts facts;
    facts.path = record.portName;
    facts.real = record.portName;
    facts.friendlyName = record.friendlyName;
    // The product is the friendly name without the port it was given.
    facts.product = record.friendlyName;
    const std::string suffix = " (" + record.portName + ")";
    if (facts.product.size() > suffix.size() &&
        facts.product.compare(facts.product.size() - suffix.size(), suffix.size(), suffix) == 0) {
        facts.product.resize(facts.product.size() - suffix.size());
    }
    facts.manufacturer = record.manufacturer;
    facts.driver = record.service;
    facts.usbId = UsbIdOf(record.hardwareIds);
    facts.latencyTimer = record.latencyTimer;
    facts.driverProblem = ProblemText(record.problem);
    // Prolific's own drivers name a chip they refuse in the device's name.
    const std::string name = Upper(record.friendlyName);
    if (name.find("PHASED OUT") != std::string::npos ||
        name.find("NOT PROLIFIC") != std::string::npos ||
        name.find("INSTALL CORRESPONDING") != std::string::npos) {
        facts.driverProblem = "the driver refuses this chip";
    }
    return facts;
}

std::vector<std::string> SortedPortNames(std::vector<std::string> names) {
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return NumberOf(a) != NumberOf(b) ? NumberOf(a) < NumberOf(b) : a < b;
    });
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}
