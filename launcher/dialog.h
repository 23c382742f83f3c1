// The wait dialog: its in-memory template and the procedure that drives the extraction.
#pragma once

#include <stdint.h>

#include "platform/platform.h"

inline constexpr uint32_t kWaitDialogTemplateSize = 278;

// DLGTEMPLATE + one DLGITEMTEMPLATE, DWORD-aligned; filled by BuildWaitDialogTemplate.
alignas(4) extern uint8_t WaitDialogTemplate[kWaitDialogTemplateSize];

// The dialog's window as a 32-bit value: 0 before WM_INITDIALOG, -1 once ended.
extern plat::WindowHandle DialogWindow;
extern bool ExtractionPending;  // true until the extraction starts
extern bool StartPosted;        // the start message is on its way

void BuildWaitDialogTemplate();

// Ends the dialog (result 0) and marks it ended.
void EndWaitDialog();

// Paint posts WM_USER once; WM_USER runs the extraction and then the setup program or
// closes the dialog; IDCANCEL ends the dialog, which stops the extraction only before it
// starts. Answers 0 to everything once the dialog has ended.
intptr_t WaitDialogProc(plat::WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);
