#pragma once

#include "core/GlobalTypes.h"

// Folding of recognised boxes into larger units before translation. Both
// operations scan their input once in the order given (the reading order the
// engine delivered), compare each item only with the one before it, and
// return a new list; the input is never changed. An empty input gives an
// empty output.

// Joins word boxes that stand side by side on one text line into line boxes.
TIteratorResultList GroupingToTextLine(const TIteratorResultList& OCRWordList);

// Joins line boxes that stand one under the other into segments (paragraphs
// or bulleted items).
TIteratorResultList GroupingToSegment(const TIteratorResultList& TextLineList);

// The neighbour tests behind the two operations; V1 is the previous input
// item, V2 the current one.
bool IsSameLine(const TIteratorResult& V1, const TIteratorResult& V2);
bool IsSameSegment(const TIteratorResult& V1, const TIteratorResult& V2);
