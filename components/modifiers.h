#pragma once
// Entry points of the eight components, as the DLL exports them.
#include "framework/host_abi.h"

extern "C" {
void HOSTAPI zqImportBitmap(RegistrationRecord* record);
void HOSTAPI zqSaveBitmap(RegistrationRecord* record);
void HOSTAPI zqDisplayBitmap(RegistrationRecord* record);
void HOSTAPI zqScaleBitmap(RegistrationRecord* record);
void HOSTAPI zqCaptureBitmap(RegistrationRecord* record);
void HOSTAPI zqPrintBitmap(RegistrationRecord* record);
void HOSTAPI zqDeleteFile(RegistrationRecord* record);
void HOSTAPI zqBitmapVariable(RegistrationRecord* record);
}
