#include "server/LanguageCodes.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <utility>

namespace {

// ISO 639-1 to the ISO 639-3 codes the Apertium packages use in their mode names.
constexpr std::array<std::pair<const char*, const char*>, 48> Codes{{
    {"af", "afr"}, {"an", "arg"}, {"ar", "ara"}, {"be", "bel"}, {"bg", "bul"}, {"br", "bre"}, {"ca", "cat"},
    {"cs", "ces"}, {"cy", "cym"}, {"da", "dan"}, {"de", "deu"}, {"el", "ell"}, {"en", "eng"}, {"eo", "epo"},
    {"es", "spa"}, {"eu", "eus"}, {"fa", "fas"}, {"fi", "fin"}, {"fr", "fra"}, {"ga", "gle"}, {"gl", "glg"},
    {"he", "heb"}, {"hi", "hin"}, {"hr", "hrv"}, {"id", "ind"}, {"is", "isl"}, {"it", "ita"}, {"ja", "jpn"},
    {"kk", "kaz"}, {"ko", "kor"}, {"mk", "mkd"}, {"ms", "msa"}, {"mt", "mlt"}, {"nb", "nob"}, {"nl", "nld"},
    {"nn", "nno"}, {"oc", "oci"}, {"pl", "pol"}, {"pt", "por"}, {"ro", "ron"}, {"ru", "rus"}, {"sk", "slk"},
    {"sl", "slv"}, {"sr", "srp"}, {"sv", "swe"}, {"tr", "tur"}, {"uk", "ukr"}, {"zh", "zho"},
}};

std::string Lower(std::string Text) {
  std::transform(Text.begin(), Text.end(), Text.begin(), [](unsigned char C) { return std::tolower(C); });
  return Text;
}

} // namespace

std::string ApertiumLanguageCode(const std::string& Code) {
  const std::string Key = Lower(Code);
  for (const auto& [Short, Long] : Codes) {
    if (Key == Short || Key == Long)
      return Long;
  }
  // Languages without a two-letter code (ast, hbs, ...) arrive in their own code.
  if (Key.size() == 3 && std::all_of(Key.begin(), Key.end(), [](unsigned char C) { return std::islower(C); }))
    return Key;
  return {};
}

std::string ShortLanguageCode(const std::string& Code) {
  for (const auto& [Short, Long] : Codes) {
    if (Code == Long)
      return Short;
  }
  return Code;
}

bool IsValidUtf8(const std::string& Text) {
  const auto* P = reinterpret_cast<const unsigned char*>(Text.data());
  const auto* End = P + Text.size();
  while (P < End) {
    const unsigned char C = *P;
    int Length = 0;
    char32_t Min = 0;
    char32_t Value = 0;
    if (C < 0x80) {
      ++P;
      continue;
    } else if ((C & 0xE0) == 0xC0) {
      Length = 2, Min = 0x80, Value = C & 0x1F;
    } else if ((C & 0xF0) == 0xE0) {
      Length = 3, Min = 0x800, Value = C & 0x0F;
    } else if ((C & 0xF8) == 0xF0) {
      Length = 4, Min = 0x10000, Value = C & 0x07;
    } else {
      return false;
    }
    if (End - P < Length)
      return false;
    for (int I = 1; I < Length; ++I) {
      if ((P[I] & 0xC0) != 0x80)
        return false;
      Value = (Value << 6) | (P[I] & 0x3F);
    }
    if (Value < Min || Value > 0x10FFFF || (Value >= 0xD800 && Value <= 0xDFFF))
      return false;
    P += Length;
  }
  return true;
}
