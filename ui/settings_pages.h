#pragma once
// The four configuration pages hold the settings; these move them between
// the pages' controls and a Settings record (Save and Connect read, Load and
// All Default show). Reading applies the controls' own rules: a spin edit
// whose text is no number reads as its minimum and shows it.
#include "settings/settings.h"

namespace tarnlight::ui {

class TFrame01;
class TFrame02;
class TFrame03;
class TFrame04;

struct ConfigPages {
    TFrame01* serial;
    TFrame02* plc;
    TFrame03* connection;
    TFrame04* database;
};

// Fields that have no control on the pages are taken from base (the main
// window keeps them from the last Load).
Settings ReadSettings(const ConfigPages& pages, const Settings& base);
// Every control that has a settings key, with the controls' limits (spin
// edits clamp, radio groups and combo boxes as TRadioGroup::setItemIndex and
// an out-of-list combo index showing no selection). Break-Free SNP is left alone.
void ShowSettings(const ConfigPages& pages, const Settings& settings);
// "Break-Free SNP Enabled": not a setting of the file, but Connect takes it.
bool ReadBreakFree(const ConfigPages& pages);

}  // namespace tarnlight::ui
