#pragma once

#include "harmonica/chromaticlayout.h"
#include "harmonica/diatoniclayout.h"
#include "settings/settingsstore.h"

namespace reedtab {

/// Restores tuning and key of both layouts from section "Version 3.1" ("DiatonicTuning",
/// "DiatonicKey", "ChromaticTuning", "ChromaticKey") and builds them.
///
/// A stored tuning text names a built-in tuning, or else is the path of a tuning file that is
/// loaded into the custom record; when it is neither (or empty) the first tuning of the list is
/// used. The chromatic tuning defaults to "12 Hole Chromatic (std 48)". The chromatic key
/// defaults to the diatonic key just restored. A key outside the range the harmonica windows
/// can set (diatonic key + key offset 31..90, chromatic 36..95) is replaced by its default, and
/// a default outside the range by 60.
void restoreLayouts(const SettingsStore& store, DiatonicLayout& diatonic,
                    ChromaticLayout& chromatic);

/// Writes tuning (its name, or the tuning file's path for the custom record) and key of both
/// layouts.
void saveLayouts(SettingsStore& store, const DiatonicLayout& diatonic,
                 const ChromaticLayout& chromatic);

} // namespace reedtab
