#pragma once

// The program's own build stamp, compared with the first line of the
// server's program version file.
inline constexpr char BuildStamp[] = "18052007";
