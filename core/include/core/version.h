// The program's name and version, as the About box shows them.
#pragma once

inline constexpr char kProductNameAndVersion[] = "BC245XLT Morvane Utility v1.0";
