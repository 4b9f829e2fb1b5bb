#pragma once
// The eight components, listed once, one per line. The DLL's exports, the
// simulator's entry points, the tests and the player all come from here.
// Includes nothing, so that the host's side can read it too.
#define ZQ_MODIFIERS(X) \
    X(zqImportBitmap)   \
    X(zqSaveBitmap)     \
    X(zqDisplayBitmap)  \
    X(zqScaleBitmap)    \
    X(zqCaptureBitmap)  \
    X(zqPrintBitmap)    \
    X(zqDeleteFile)
#define ZQ_COMPONENTS(X) \
    ZQ_MODIFIERS(X)      \
    X(zqBitmapVariable)

#define ZQ_NAME_TEXT(entry) #entry,
inline constexpr const char* kComponentNames[] = {ZQ_COMPONENTS(ZQ_NAME_TEXT)};
#undef ZQ_NAME_TEXT
