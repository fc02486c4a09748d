#pragma once
// Settings for tests that move a whole record around (settings file, pages):
// every field away from its default and within its control's range, the
// texts with blanks, quotes and INI punctuation.
#include "settings/settings.h"

namespace tarnlight::test {

inline Settings NonDefaultSettings() {
    Settings s;
    s.port = 31;
    s.baudRate = 9;
    s.parity = 2;
    s.stopBits = 1;
    s.cpuId = "CPU%01";
    s.cpuPassword = "pa=ss;#";
    s.areaEnabled = {false, true, false, true, false, true};
    s.areaFrom = {2, 3, 4, 5, 6, 7};
    s.areaTo = {8192, 100, 200, 4096, 300, 400};
    s.T1 = 255;
    s.T2 = 65000;
    s.T3b = 1200;
    s.T4 = 0;
    s.Td = 60000;
    s.k = 17;
    s.lostconn = 2;
    s.dbEnabled = false;
    s.addressIP = "db.example.test";
    s.portNum = "3307";
    s.username = "plc user";
    s.dbPassword = "  spaced \"quoted\" ";
    s.dbName = "line";
    s.dropAfter = false;
    s.dropBefore = false;
    return s;
}

}  // namespace tarnlight::test
