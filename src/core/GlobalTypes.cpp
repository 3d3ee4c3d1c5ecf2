#include "core/GlobalTypes.h"

TIteratorResult IteratorResultFromOCRItem(const TOCRItem& Item) {
  TIteratorResult Result;
  Result.Left = Item.Left;
  Result.Top = Item.Top;
  Result.Right = Item.Right;
  Result.Bottom = Item.Bottom;
  Result.Text = Item.Text;
  Result.FFontSize = FontSizeForHeight(static_cast<double>(Item.Bottom) - Item.Top);
  return Result;
}
