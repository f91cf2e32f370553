#pragma once

// Text compared as people search: without regard to case or accents, so that "novak" finds "Novák" and
// "strasse" finds "Straße".

#include "core/strings.h"

namespace pelmsg {

// The text folded for searching: its case folded (full folding: "ß" becomes "ss"), decomposed (NFD), its combining
// marks dropped, and the letters with a stroke or ligature that do not decompose ("ø", "ł", "đ", "æ", "œ",
// "ı", ...) written as their base letters. Unpaired surrogates stay as they are.
WideString FoldForSearch(const WideString& text);

// Whether the folded needle occurs in the folded haystack; an empty needle occurs everywhere.
bool ContainsFolded(const WideString& haystack, const WideString& needle);

} // namespace pelmsg
