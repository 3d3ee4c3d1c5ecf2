#pragma once

#include <cstdint>

// Every key of Config.ini: its section, name, type and the default a reader
// applies when the key is missing or unreadable. Code reads and writes
// settings through these rows only, so a key's rules live in one place.
//
// Where two readers of one key apply different defaults, each reader has a
// row of its own, side by side, named after the reader.

// Text, stored unchanged.
struct TStringSetting {
  const char* Section;
  const char* Ident;
  const char* Default; // UTF-8
};

// A whole number, stored in decimal; "0x" and "$" values read as hexadecimal.
struct TIntegerSetting {
  const char* Section;
  const char* Ident;
  int32_t Default;
};

// Stored as "1" or "0"; any non-zero number reads as true.
struct TBoolSetting {
  const char* Section;
  const char* Ident;
  bool Default;
};

// A colour name ("clGray") or number ("$00E2E2E2"), read as text and turned
// into a colour by the reader, which rejects anything else.
struct TColorSetting {
  const char* Section;
  const char* Ident;
  const char* Default;
};

// A window's position or size. Its default is the window's own current
// value, so the reader passes that in.
struct TGeometrySetting {
  const char* Section;
  const char* Ident;
};

namespace Settings {

// [General]: the main window.
inline constexpr TGeometrySetting MainLeft{"General", "Left"};
inline constexpr TGeometrySetting MainTop{"General", "Top"};
inline constexpr TGeometrySetting MainWidth{"General", "Width"}; // outer (frame) size
inline constexpr TGeometrySetting MainHeight{"General", "Height"};
inline constexpr TBoolSetting StayOnTop{"General", "StayOnTop", false};
// The five global hotkeys, as the text of a hotkey list item.
inline constexpr TStringSetting HotKey1{"General", "HotKey1", "Ctrl+Alt+C"}; // select and translate
inline constexpr TStringSetting HotKey2{"General", "HotKey2", "Ctrl+Alt+T"}; // translate
inline constexpr TStringSetting HotKey3{"General", "HotKey3", "Ctrl+Alt+A"}; // automatic translation
inline constexpr TStringSetting HotKey4{"General", "HotKey4", "Ctrl+Alt+F"}; // full screen
inline constexpr TStringSetting HotKey5{"General", "HotKey5", "Ctrl+Alt+Z"}; // mouse translation
// Cleared once the user has read the notice on what works in a Wayland session.
inline constexpr TBoolSetting WaylandNotice{"General", "WaylandNotice", true};

// [Translation]
// Base URL of the translation server and of the remote OCR service.
inline constexpr TStringSetting Server{"Translation", "Server", "http://127.0.0.1:5000"};
// The language pair sent with every text ("sl" and "tl"), as two-letter codes.
inline constexpr TStringSetting SourceLanguage{"Translation", "SourceLanguage", "en"};
inline constexpr TStringSetting TargetLanguage{"Translation", "TargetLanguage", "ko"};
// Translate line by line instead of by segment.
inline constexpr TBoolSetting TextLine{"Translation", "TextLine", false};
// Interval of the automatic-translation timer, milliseconds: the main
// window's default; the settings dialog shows 2000 for a missing key.
inline constexpr TIntegerSetting AutoInterval{"Translation", "AutoInterval", 1000};
inline constexpr TIntegerSetting AutoIntervalInDialog{"Translation", "AutoInterval", 2000};

// [TranslationWindow]: the translation overlay.
inline constexpr TBoolSetting EqualArea{"TranslationWindow", "EqualArea", true};
inline constexpr TGeometrySetting OverlayLeft{"TranslationWindow", "Left"};
inline constexpr TGeometrySetting OverlayTop{"TranslationWindow", "Top"};
inline constexpr TGeometrySetting OverlayWidth{"TranslationWindow", "Width"};
inline constexpr TGeometrySetting OverlayHeight{"TranslationWindow", "Height"};
// See-through where there is no text: true when the overlay is created (and
// in the settings dialog), false each time a result is shown.
inline constexpr TBoolSetting OverlayAtCreation{"TranslationWindow", "Overlay", true};
inline constexpr TBoolSetting OverlayOnResult{"TranslationWindow", "Overlay", false};
inline constexpr TStringSetting FontName{"TranslationWindow", "FontName", "맑은 고딕"};
// Points; 0 fits every box's text automatically.
inline constexpr TIntegerSetting FontSize{"TranslationWindow", "FontSize", 14};
inline constexpr TColorSetting FontColor{"TranslationWindow", "FontColor", "clBlack"};
// The fill of each text box: painting (and the dialog's swatch) default to
// clGray, the settings dialog stores "$00E2E2E2" for a missing key.
inline constexpr TColorSetting TextBackColor{"TranslationWindow", "TextBackColor", "clGray"};
inline constexpr TColorSetting TextBackColorInDialog{"TranslationWindow", "TextBackColor", "$00E2E2E2"};
// Seconds until a shown result hides itself; 0 never.
inline constexpr TIntegerSetting OverlayTimer{"TranslationWindow", "Timer", 0};

// [Capture]
// The selection window's mode: colour-keyed frame over the live screen.
inline constexpr TBoolSetting CaptureOverlay{"Capture", "Overlay", false};
inline constexpr TBoolSetting ShowCaptureImage{"Capture", "ShowCaptureImage", true};

// [OCR]
// "Tesseract", "Windows OCR" or "EasyOCR".
inline constexpr TStringSetting Engine{"OCR", "Engine", "Tesseract"};
// Position in the operating system's list of OCR languages.
inline constexpr TIntegerSetting OCRLanguage{"OCR", "Language", 0};
// Show the recognised text together with its translation.
inline constexpr TBoolSetting OCRResult{"OCR", "OCRResult", false};
// Kept for the settings dialog's hidden check box; nothing else reads it.
inline constexpr TBoolSetting Preprocess{"OCR", "Preprocess", false};
// Automatic enhancement of the picture before recognition (polarity,
// background suppression, scaling of small text). A manual threshold from
// the preprocessing picker wins over it.
inline constexpr TBoolSetting Enhance{"OCR", "Enhance", true};

// [Tesseract]
inline constexpr TStringSetting TesseractLang{"Tesseract", "lang", "eng"};

} // namespace Settings
