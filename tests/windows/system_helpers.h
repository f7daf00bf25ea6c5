// What the Windows tests do to files behind the program's back, through the
// system's own calls, with plain types: the tests see the platform's headers,
// whose stand-in names would clash with the system's.
#pragma once

#include <string>
#include <vector>

namespace helpers {

// Holds a file open with no sharing, as another program may; Release ends it.
void* HoldOpen(const std::string& path);
void Release(void* held);
void SetReadOnly(const std::string& path, bool readOnly);
// Ages a file's last write time by the given seconds.
void Age(const std::string& path, int seconds);
// A new empty folder of the test's own in the temporary folder.
std::string NewFolder();
void RemoveTree(const std::string& folder);
// The names in a folder, sorted.
std::vector<std::string> Names(const std::string& folder);

} // namespace helpers
