#pragma once

#include "core/GlobalTypes.h"

#include <QImage>

#include <functional>
#include <optional>

// What the pipeline needs from the windows around it. The main window
// answers: it owns the selection window, the translation overlay and the
// capture preview, so the pipeline itself holds no widget.
class TPipelineView {
public:
  virtual ~TPipelineView() = default;

  // Lets the user choose an area of the screen, in screen pixels. None when
  // the user cancelled, or as soon as StillWanted() turns false.
  virtual std::optional<TRect> ChooseArea(const std::function<bool()>& StillWanted) = 0;

  // Around every copy of Area: Korvex's own windows must not show in it.
  // HideWindowsFrom returns once the screen shows what lies beneath them;
  // RestoreWindows brings back what it hid.
  virtual void HideWindowsFrom(const TRect& Area) = 0;
  virtual void RestoreWindows() = 0;

  // A capture about to be recognised, for the preview.
  virtual void ShowCapture(const QImage& Bitmap) = 0;
  // The engine found nothing: the shown result goes out of view.
  virtual void HideTranslation() = 0;
  // A new result, its boxes in pixels of Area. TargetList lives as long as
  // the pipeline and stays unchanged until the next result.
  virtual void ShowTranslation(const TIteratorResultList& TargetList, const TRect& Area) = 0;
};
