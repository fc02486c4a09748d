#pragma once
// Port and rate tables of the serial-port settings, and how a port name
// becomes a device path on this platform.
#include <array>
#include <cstdint>
#include <string>

namespace tarnlight {

inline constexpr int kPortCount = 32;
inline constexpr std::array<uint32_t, 10> baudRateTable = {300,  600,   1200,  2400,  4800,
                                                           9600, 19200, 38400, 57600, 115200};

// "COM1".."COM32" for indexes 0..31; empty outside that range.
std::string PortName(int index);

// "COMn" opens <settings directory>/devices/COMn when that exists (a link to
// any device: a USB adapter, a pseudo-terminal), else /dev/ttyS<n-1>.
// Empty for an index outside 0..31.
std::string ResolvePortDevice(int index);

// Bits per second for a baud index: -1 gives 19200; 0 for other indexes
// outside the table (the caller keeps the current rate).
uint32_t BaudRateForIndex(int index);

}  // namespace tarnlight
