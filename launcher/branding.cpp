// The package's own texts: the block in the program's image, and the texts made from it.
//
// The block is ordinary initialised data, so a package's copy of the program carries
// whatever sfx-pack wrote into it; it is read through a volatile object so that the
// compiler cannot fold the build's defaults into the code. On first use every field is
// copied out with its length checked against the field's size, and the three fatal
// messages are put together from their fixed parts and the contact lines.
#include "launcher/branding.h"

#ifndef SFX_CONTACT_EMAIL
#define SFX_CONTACT_EMAIL "support@example.com"
#endif
#ifndef SFX_CONTACT_WEB
#define SFX_CONTACT_WEB "www.example.com"
#endif
#ifndef SFX_CONTACT_WEB2
#define SFX_CONTACT_WEB2 "downloads.example.com"
#endif
#ifndef SFX_CONTACT_EMAIL2
#define SFX_CONTACT_EMAIL2 "help@example.com"
#endif
#ifndef SFX_CONTACT_WEB3
#define SFX_CONTACT_WEB3 "help.example.com"
#endif

#define SFX_DEFAULT_CAPTION "Velmora Software"
#define SFX_DEFAULT_WAIT_TEXT "Iniciando el asistente para la instalaci\xF3n.\rEspere un momento..."
#define SFX_TEXT_FIELD(text) {sizeof(text) - 1, text}

static_assert(sizeof(SFX_CONTACT_EMAIL) - 1 <= kContactCapacity && sizeof(SFX_CONTACT_WEB) - 1 <= kContactCapacity &&
                  sizeof(SFX_CONTACT_WEB2) - 1 <= kContactCapacity &&
                  sizeof(SFX_CONTACT_EMAIL2) - 1 <= kContactCapacity && sizeof(SFX_CONTACT_WEB3) - 1 <= kContactCapacity,
              "a contact line holds at most 63 characters");

const volatile BrandingBlock PackageTexts = {
    "sfx.texts.block",
    sizeof(SFX_DEFAULT_CAPTION) - 1,
    SFX_DEFAULT_CAPTION,
    sizeof(SFX_DEFAULT_WAIT_TEXT) - 1,
    SFX_DEFAULT_WAIT_TEXT,
    {SFX_TEXT_FIELD(SFX_CONTACT_EMAIL), SFX_TEXT_FIELD(SFX_CONTACT_WEB), SFX_TEXT_FIELD(SFX_CONTACT_WEB2),
     SFX_TEXT_FIELD(SFX_CONTACT_EMAIL2), SFX_TEXT_FIELD(SFX_CONTACT_WEB3)},
};

namespace {

const char kDamagedPackageStart[] =
    "Archivo de instalaci\xF3n da\xF1" "ado.\r\rArxiu d'instal\xB7laci\xF3 trencat.\r\r"
    "Installation program is damaged.\r\rE-mail: ";
const char kCannotOpenStart[] =
    "No puedo descomprimir los archivos de instalaci\xF3n.\r\rNo puc descomprimir els arxius "
    "d'instal\xB7laci\xF3.\r\rCannot uncompress installation archives.\r\r";
const char kNothingUnpackedStart[] =
    "No puedo reconstruir los archivos de instalaci\xF3n.\r\rNo puc reconstruir els arxius "
    "d'instal\xB7laci\xF3.\r\rCannot reconstruct installation archives.\r\r";

// The longest message: its fixed part, three contact lines with their separators, and
// "\r\rError #SFXNDA#".
constexpr uint32_t kMessageSize = sizeof kCannotOpenStart + 3 * (kContactCapacity + 1) + 16;
static_assert(sizeof kDamagedPackageStart <= sizeof kCannotOpenStart &&
              sizeof kNothingUnpackedStart <= sizeof kCannotOpenStart);

bool Loaded = false;
// Message-box captions are UTF-8 (they are paths as often as not): each Windows-1252
// byte of the caption becomes one character, two bytes at most (the caption has no
// bytes from 0x80 to 0x9F, where Windows-1252 and Latin-1 differ).
char Caption[2 * kCaptionCapacity + 1];
char Title[kCaptionCapacity + 1];
char Wait[kWaitTextCapacity + 1];
char Contacts[kContactCount][kContactCapacity + 1];
char DamagedPackage[kMessageSize];
char CannotOpen[kMessageSize];
char NothingUnpacked[kMessageSize];

// Copies a field of the block into `out` (capacity + 1 bytes) with its terminator.
uint32_t CopyField(uint8_t length, const volatile char* text, uint32_t capacity, char* out) {
  uint32_t n = length < capacity ? length : capacity;
  for (uint32_t i = 0; i < n; ++i) out[i] = text[i];
  out[n] = 0;
  return n;
}

// Appends the zero-terminated parts, up to a null pointer, to `out`.
void Compose(char* out, const char* const* parts) {
  for (; *parts; ++parts)
    for (const char* p = *parts; *p; ++p) *out++ = *p;
  *out = 0;
}

void Load() {
  if (Loaded) return;
  Loaded = true;
  const volatile BrandingBlock& b = PackageTexts;
  uint32_t n = CopyField(b.captionLength, b.caption, kCaptionCapacity, Title);
  char* out = Caption;
  for (uint32_t i = 0; i < n; ++i) {
    uint8_t c = static_cast<uint8_t>(Title[i]);
    if (c < 0x80) {
      *out++ = static_cast<char>(c);
    } else {
      *out++ = static_cast<char>(0xC0 | (c >> 6));
      *out++ = static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  *out = 0;
  for (uint32_t i = n; i < kCaptionCapacity; ++i) Title[i] = ' ';
  Title[kCaptionCapacity] = 0;
  CopyField(b.waitTextLength, b.waitText, kWaitTextCapacity, Wait);
  for (int i = 0; i < kContactCount; ++i)
    CopyField(b.contacts[i].length, b.contacts[i].text, kContactCapacity, Contacts[i]);
  const char* damaged[] = {kDamagedPackageStart, Contacts[kContactEmail], "\r", Contacts[kContactWeb], "\r",
                           Contacts[kContactWeb2], "\r\rError #SFXAID#", nullptr};
  const char* cannotOpen[] = {kCannotOpenStart, Contacts[kContactEmail], "\r", Contacts[kContactWeb],
                              "\r\rError #SFXNDA#", nullptr};
  const char* nothing[] = {kNothingUnpackedStart, Contacts[kContactEmail2], "\r", Contacts[kContactWeb3],
                           "\r\rError #SFXNRA#", nullptr};
  Compose(DamagedPackage, damaged);
  Compose(CannotOpen, cannotOpen);
  Compose(NothingUnpacked, nothing);
}

}  // namespace

const char* PackageCaption() { return Load(), Caption; }
const char* WaitTitle() { return Load(), Title; }
const char* WaitText() { return Load(), Wait; }
const char* DamagedPackageText() { return Load(), DamagedPackage; }
const char* CannotOpenText() { return Load(), CannotOpen; }
const char* NothingUnpackedText() { return Load(), NothingUnpacked; }
