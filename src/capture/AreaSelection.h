#pragma once

#include "core/GlobalTypes.h"

#include <functional>
#include <optional>

class TPlatform;
class TSelectionForm;

// Lays Form over every monitor (the guidance on the one under the pointer)
// and polls the pointer and the keys until
// the user has chosen the two corners of an area, drawing the rubber band as
// the pointer moves. Two ways to choose: press, drag and release; or, once
// Shift has been held, click the start point and click the end point.
//
// Returns the area between the corners, normalised (Left and Top the smaller
// coordinates); Form stays shown. Returns none when the user pressed Escape
// or StillWanted() turned false (another command ended the selection while
// events were processed); Form is hidden then.
std::optional<TRect> RunAreaSelection(TPlatform& Platform, TSelectionForm& Form, bool OverlayMode,
                                      const std::function<bool()>& StillWanted);
