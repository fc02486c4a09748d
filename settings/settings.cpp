#include "settings/settings.h"

#include <algorithm>

#include "settings/settings_directory.h"

namespace tarnlight {

bool operator==(const Settings& a, const Settings& b) {
    return a.port == b.port && a.baudRate == b.baudRate && a.parity == b.parity &&
           a.stopBits == b.stopBits && a.cpuId == b.cpuId && a.cpuPassword == b.cpuPassword &&
           a.areaEnabled == b.areaEnabled && a.areaFrom == b.areaFrom && a.areaTo == b.areaTo &&
           a.T1 == b.T1 && a.T2 == b.T2 && a.T3b == b.T3b && a.T4 == b.T4 && a.Td == b.Td &&
           a.k == b.k && a.lostconn == b.lostconn && a.dbEnabled == b.dbEnabled &&
           a.addressIP == b.addressIP && a.portNum == b.portNum && a.username == b.username &&
           a.dbPassword == b.dbPassword && a.dbName == b.dbName && a.dropAfter == b.dropAfter &&
           a.dropBefore == b.dropBefore && a.mirrorEachValue == b.mirrorEachValue &&
           a.dbTls == b.dbTls && a.scanMs == b.scanMs && a.maxReadBytes == b.maxReadBytes &&
           a.historyDb == b.historyDb && a.historyDays == b.historyDays &&
           a.historyJournal == b.historyJournal && a.historyJournalMB == b.historyJournalMB &&
           a.tags == b.tags && a.stations == b.stations;
}

Settings DefaultSettings() {
    return Settings{};
}

std::string SettingsFilePath(const std::string& name) {
    return SettingsDirectory() + name + ".ini";
}

int ClampSpin(int value, int min, int max) {
    return std::clamp(value, min, max);
}

int ClampRadio(int index, int items) {
    if (index < 0) return -1;
    if (index >= items) return items - 1;
    return index;
}

int ClampCombo(int index, int items) {
    return index >= 0 && index < items ? index : -1;
}

int AreaToMax(int area) {
    return area < kSettingsBitAreaCount ? kBitAreaToMax : kWordAreaToMax;
}

void ClampToControls(Settings& s) {
    s.port = ClampCombo(s.port, kPortItems);
    s.baudRate = ClampCombo(s.baudRate, kBaudRateItems);
    s.parity = ClampRadio(s.parity, kParityItems);
    s.stopBits = ClampRadio(s.stopBits, kStopBitsItems);
    for (int area = 0; area < kSettingsAreaCount; ++area) {
        s.areaFrom[area] = ClampSpin(s.areaFrom[area], 1, kAreaFromMax);
        s.areaTo[area] = ClampSpin(s.areaTo[area], 1, AreaToMax(area));
    }
    s.T1 = ClampSpin(s.T1, 0, kT1Max);
    s.T2 = ClampSpin(s.T2, 0, kTimerMax);
    s.T3b = ClampSpin(s.T3b, 0, kTimerMax);
    s.T4 = ClampSpin(s.T4, 0, kTimerMax);
    s.Td = ClampSpin(s.Td, 0, kTdMax);
    s.k = ClampSpin(s.k, kKMin, kKMax);
    s.lostconn = ClampRadio(s.lostconn, kLostConnItems);
}

}  // namespace tarnlight
