#pragma once
// The print component's setting codes as an author writes them, and the
// layout's terms they stand for.
#include <cstdint>

#include "imaging/print_layout.h"

inline constexpr int32_t kOrientationAutomatic = 0;
inline constexpr int32_t kOrientationLandscape = 2;  // any other code prints portrait
inline constexpr int32_t kPlaceCentred = 0;
inline constexpr int32_t kPlaceAtPosition = 1;  // any other code prints at the printable corner

inline PrintSettings PrintSettingsFromCodes(bool fitToPage, int32_t orientation, int32_t placement) {
    const Orientation turned = orientation == kOrientationAutomatic   ? Orientation::Automatic
                               : orientation == kOrientationLandscape ? Orientation::Landscape
                                                                      : Orientation::Portrait;
    const Placement at = placement == kPlaceCentred      ? Placement::Centred
                         : placement == kPlaceAtPosition ? Placement::AtPosition
                                                         : Placement::PrintableCorner;
    return {fitToPage, turned, at};
}
