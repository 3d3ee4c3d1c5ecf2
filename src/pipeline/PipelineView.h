#pragma once

#include "core/GlobalTypes.h"

#include <QImage>
#include <QString>

#include <functional>
#include <optional>

// What the pipeline needs from the windows around it. The main window
// answers: it owns the selection window, the translation overlay and the
// capture preview, so the pipeline itself holds no widget. Every call comes
// on the GUI thread and returns without waiting for the user.
class TPipelineView {
public:
  virtual ~TPipelineView() = default;

  // Lets the user choose an area of the screen, in screen pixels, and
  // returns at once. Chosen runs once, later: with the area, or with none
  // when the user cancelled or CancelChoice ended the selection.
  virtual void ChooseArea(std::function<void(std::optional<TRect>)> Chosen) = 0;
  // Ends a selection under way as if the user had cancelled it.
  virtual void CancelChoice() = 0;

  // Around every copy of Area: Korvex's own windows must not show in it.
  // HideWindowsFrom makes them leave the area and runs Hidden once the
  // screen shows what lies beneath them (or a short limit passed), without
  // blocking; at once (before it returns) where nothing had to move.
  // RestoreWindows brings back what it hid.
  virtual void HideWindowsFrom(const TRect& Area, std::function<void()> Hidden) = 0;
  virtual void RestoreWindows() = 0;

  // A capture about to be recognised, for the preview.
  virtual void ShowCapture(const QImage& Bitmap) = 0;
  // The engine found nothing: the shown result goes out of view.
  virtual void HideTranslation() = 0;
  // A new result, its boxes in pixels of Area. TargetList lives as long as
  // the pipeline and stays unchanged until the next result.
  virtual void ShowTranslation(const TIteratorResultList& TargetList, const TRect& Area) = 0;
  // A failure the user must hear of: an unreachable or refusing server, a
  // time-out, a failing engine, a missing language.
  virtual void ShowError(const QString& Message) = 0;
};
