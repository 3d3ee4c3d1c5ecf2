#pragma once

#include <string>

// The three-letter code Apertium names a language by, for the two-letter
// code Korvex sends ("en" -> "eng"); a known three-letter code is returned
// as is, anything else as the empty string.
std::string ApertiumLanguageCode(const std::string& Code);

// The two-letter code of an Apertium code ("spa" -> "es"), or Code itself
// when the language has none.
std::string ShortLanguageCode(const std::string& Code);

// Whether Text is well-formed UTF-8 (no overlong forms, surrogates or code
// points above U+10FFFF).
bool IsValidUtf8(const std::string& Text);
