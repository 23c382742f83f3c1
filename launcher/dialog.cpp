// The wait dialog.
//
// The template is laid out field by field as DLGTEMPLATE and DLGITEMTEMPLATE records
// (offsets in bytes; coordinates in dialog units):
//
//    0  4  style 0x80C80880: WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_CENTER | DS_MODALFRAME
//    4  4  extended style 0
//    8  2  item count 1
//   10  8  x 328, y 278, cx 144, cy 44 (DS_CENTER centres it whatever x and y say)
//   18  2  menu 0, 20 2 class 0 (the dialog class), 22 34 title "Velmora Software " in
//          UTF-16LE, 56 2 title terminator, 58 2 alignment to a DWORD
//   60  4  item style 0x50000000: WS_CHILD | WS_VISIBLE, SS_LEFT (word-wrapped text)
//   64  4  item extended style 0
//   68 10  item x 4, y 10, cx 160, cy 30, id 0
//   78  4  class 0xFFFF 0x0082 (the static control, by ordinal)
//   82 128 the text, 64 UTF-16 units; 210 2 terminator; 212 2 creation data 0; 214 64 zero
//
// There is no DS_SETFONT, so no font fields follow the title: the system font is used.
// The template is assembled from four pieces: the 18-byte dialog header, a 42-byte block
// (menu, class, title, terminator, alignment), the 18-byte item header, and a 200-byte
// item block zero-filled before the class and the text go in. The title and the text
// come from the package's text block (launcher/branding) as 8-bit Windows-1252 and are
// widened by zero extension; the title is always 17 characters, so the item stays at
// offset 60, and the text holds at most 96, so the item block stays 200 bytes.
#include "launcher/dialog.h"

#include <string.h>

#include "archive/extract.h"
#include "archive/record.h"
#include "launcher/branding.h"
#include "launcher/launch.h"

alignas(4) uint8_t WaitDialogTemplate[kWaitDialogTemplateSize];
plat::WindowHandle DialogWindow = 0;
bool ExtractionPending = true;
bool StartPosted = false;

namespace {

// DLGTEMPLATE, the dialog header.
namespace DialogField {
constexpr uint32_t kStyle = 0;          // 4
constexpr uint32_t kExtendedStyle = 4;  // 4
constexpr uint32_t kItemCount = 8;      // 2
constexpr uint32_t kX = 10;             // 2
constexpr uint32_t kY = 12;             // 2
constexpr uint32_t kWidth = 14;         // 2
constexpr uint32_t kHeight = 16;        // 2
constexpr uint32_t kSize = 18;
}  // namespace DialogField

// DLGITEMTEMPLATE, the item header.
namespace ItemField {
constexpr uint32_t kStyle = 0;          // 4
constexpr uint32_t kExtendedStyle = 4;  // 4
constexpr uint32_t kX = 8;              // 2
constexpr uint32_t kY = 10;             // 2
constexpr uint32_t kWidth = 12;         // 2
constexpr uint32_t kHeight = 14;        // 2
constexpr uint32_t kId = 16;            // 2
constexpr uint32_t kSize = 18;
}  // namespace ItemField

// What follows the item header: class by ordinal, then the text.
namespace ItemBlockField {
constexpr uint32_t kClassMarker = 0;    // 2: 0xFFFF, an ordinal follows
constexpr uint32_t kClassOrdinal = 2;   // 2: 0x0082, the static control
constexpr uint32_t kText = 4;           // UTF-16LE
constexpr uint32_t kSize = 200;
}  // namespace ItemBlockField

constexpr uint32_t kTitleBlockSize = 42;
constexpr uint32_t kTitleOffset = 4;  // after menu and class
static_assert(kTitleOffset + 2 * kCaptionCapacity + 4 == kTitleBlockSize);
// The wait text, its terminator and the creation data fit the item block.
static_assert(ItemBlockField::kText + 2 * kWaitTextCapacity + 4 <= ItemBlockField::kSize);
static_assert(DialogField::kSize + kTitleBlockSize + ItemField::kSize + ItemBlockField::kSize ==
              kWaitDialogTemplateSize);

// The unpacking, then the hand-over to the setup program or the end of the dialog.
void RunExtraction(plat::WindowHandle window) {
  ExtractionPending = false;
  // Nothing is painted while the extraction blocks the dialog's thread, and the text's
  // own paint message would come only after it: paint now, so the user sees the text.
  plat::PaintWindowNow(window);
  ExtractArchive();
  if (InstallerWritten) {
    plat::ScopedByteString arguments;
    if (BuildInstallerArguments(arguments)) {
      LaunchInstaller(InstallerPath, arguments);
      return;
    }
  }
  EndWaitDialog();
}

}  // namespace

void EndWaitDialog() {
  plat::EndModalDialog(DialogWindow, 0);
  DialogWindow = -1;
}

void BuildWaitDialogTemplate() {
  uint8_t* t = WaitDialogTemplate;
  WriteLe32(t + DialogField::kStyle, 0x80C80880u);
  WriteLe32(t + DialogField::kExtendedStyle, 0);
  WriteLe16(t + DialogField::kItemCount, 1);
  WriteLe16(t + DialogField::kX, 328);
  WriteLe16(t + DialogField::kY, 278);
  WriteLe16(t + DialogField::kWidth, 144);
  WriteLe16(t + DialogField::kHeight, 44);
  // Menu 0, class 0, the title (the caption padded to 17 characters), its terminator
  // and the alignment word: zeros but for the title.
  uint8_t* title = t + DialogField::kSize;
  memset(title, 0, kTitleBlockSize);
  const char* titleText = WaitTitle();
  for (uint32_t i = 0; i < kCaptionCapacity; ++i)
    WriteLe16(title + kTitleOffset + 2 * i, static_cast<uint8_t>(titleText[i]));
  uint8_t* item = t + DialogField::kSize + kTitleBlockSize;
  WriteLe32(item + ItemField::kStyle, 0x50000000u);
  WriteLe32(item + ItemField::kExtendedStyle, 0);
  WriteLe16(item + ItemField::kX, 4);
  WriteLe16(item + ItemField::kY, 10);
  WriteLe16(item + ItemField::kWidth, 160);
  WriteLe16(item + ItemField::kHeight, 30);
  WriteLe16(item + ItemField::kId, 0);
  // The item block is zero-filled first: the text's terminator, the creation data and
  // the padding are the zeros after the text.
  uint8_t* block = item + ItemField::kSize;
  memset(block, 0, ItemBlockField::kSize);
  WriteLe16(block + ItemBlockField::kClassMarker, 0xFFFF);
  WriteLe16(block + ItemBlockField::kClassOrdinal, 0x0082);
  const char* text = WaitText();
  for (uint32_t i = 0; text[i] != 0 && i < kWaitTextCapacity; ++i)
    WriteLe16(block + ItemBlockField::kText + 2 * i, static_cast<uint8_t>(text[i]));
}

intptr_t WaitDialogProc(plat::WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t) {
  if (DialogWindow == -1) return 0;
  switch (message) {
    case plat::kWmInitDialog:
      if (ExtractionPending) DialogWindow = window;
      return 0;
    case plat::kWmPaint:
      if (!StartPosted && ExtractionPending) {
        StartPosted = true;
        (void)plat::PostWindowMessage(window, plat::kWmUser, 0, 0);
      }
      return 0;  // the system paints the window as usual
    case plat::kWmCommand:
      if ((wParam & 0xFFFF) != plat::kIdCancel) return 0;
      StartPosted = false;
      EndWaitDialog();
      return 1;
    case plat::kWmUser:
      if (StartPosted && ExtractionPending) RunExtraction(window);
      return 1;
    default:
      return 0;
  }
}
