#pragma once

// Byte counts as the user reads them everywhere in Ombrix (tray tooltip,
// statistics, rows, memory panel, dump): units of 1024 picked by magnitude.
//   0 -> "Zero KB", 1 -> "1 byte", 1023 -> "1,023 bytes", 1536 -> "2 KB",
//   1310720 -> "1.2 MB", 1342177280 -> "1.25 GB".
// Bytes and KB carry no fraction digits, MB one, GB and above two; trailing
// zeros are dropped; rounding is half to even; a value that rounds up to 1,024
// of a unit stays in that unit ("1,024 KB").

#include <cstdint>
#include <string>

namespace ombrix::platform {

std::string formatByteCount(std::int64_t bytes);

} // namespace ombrix::platform
