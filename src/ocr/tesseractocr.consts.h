#pragma once

// File names and entry-point tables of the OCR libraries that the binding
// loads at run time. Constants only.

namespace tesseractocr {

inline constexpr const char* TesseractLibraryName = "libtesseract.so.5";
// Debian 12's Leptonica is liblept.so.5; newer releases call it
// libleptonica.so.6, which is tried first.
inline constexpr const char* LeptonicaLibraryNames[] = {"libleptonica.so.6", "liblept.so.5"};

} // namespace tesseractocr

// The Tesseract C API in binding order: a missing name stops the binding, so
// the order decides which name a binding error reports.
#define KORVEX_TESSERACT_ENTRY_POINTS(X)                                                                               \
  X(TessVersion)                                                                                                       \
  X(TessDeleteText)                                                                                                    \
  X(TessDeleteTextArray)                                                                                               \
  X(TessDeleteIntArray)                                                                                                \
  X(TessTextRendererCreate)                                                                                            \
  X(TessHOcrRendererCreate)                                                                                            \
  X(TessHOcrRendererCreate2)                                                                                           \
  X(TessPDFRendererCreate)                                                                                             \
  X(TessUnlvRendererCreate)                                                                                            \
  X(TessBoxTextRendererCreate)                                                                                         \
  X(TessDeleteResultRenderer)                                                                                          \
  X(TessResultRendererInsert)                                                                                          \
  X(TessResultRendererNext)                                                                                            \
  X(TessResultRendererBeginDocument)                                                                                   \
  X(TessResultRendererAddImage)                                                                                        \
  X(TessResultRendererEndDocument)                                                                                     \
  X(TessResultRendererExtention)                                                                                       \
  X(TessResultRendererTitle)                                                                                           \
  X(TessResultRendererImageNum)                                                                                        \
  X(TessBaseAPICreate)                                                                                                 \
  X(TessBaseAPIDelete)                                                                                                 \
  X(TessBaseAPISetInputName)                                                                                           \
  X(TessBaseAPIGetInputName)                                                                                           \
  X(TessBaseAPISetInputImage)                                                                                          \
  X(TessBaseAPIGetInputImage)                                                                                          \
  X(TessBaseAPIGetSourceYResolution)                                                                                   \
  X(TessBaseAPIGetDatapath)                                                                                            \
  X(TessBaseAPISetOutputName)                                                                                          \
  X(TessBaseAPISetVariable)                                                                                            \
  X(TessBaseAPISetDebugVariable)                                                                                       \
  X(TessBaseAPIGetIntVariable)                                                                                         \
  X(TessBaseAPIGetBoolVariable)                                                                                        \
  X(TessBaseAPIGetDoubleVariable)                                                                                      \
  X(TessBaseAPIGetStringVariable)                                                                                      \
  X(TessBaseAPIPrintVariables)                                                                                         \
  X(TessBaseAPIPrintVariablesToFile)                                                                                   \
  X(TessBaseAPIInit1)                                                                                                  \
  X(TessBaseAPIInit2)                                                                                                  \
  X(TessBaseAPIInit3)                                                                                                  \
  X(TessBaseAPIInit4)                                                                                                  \
  X(TessBaseAPIGetInitLanguagesAsString)                                                                               \
  X(TessBaseAPIGetLoadedLanguagesAsVector)                                                                             \
  X(TessBaseAPIGetAvailableLanguagesAsVector)                                                                          \
  X(TessBaseAPIInitForAnalysePage)                                                                                     \
  X(TessBaseAPIReadConfigFile)                                                                                         \
  X(TessBaseAPIReadDebugConfigFile)                                                                                    \
  X(TessBaseAPISetPageSegMode)                                                                                         \
  X(TessBaseAPIGetPageSegMode)                                                                                         \
  X(TessBaseAPIRect)                                                                                                   \
  X(TessBaseAPIClearAdaptiveClassifier)                                                                                \
  X(TessBaseAPISetImage)                                                                                               \
  X(TessBaseAPISetImage2)                                                                                              \
  X(TessBaseAPISetSourceResolution)                                                                                    \
  X(TessBaseAPISetRectangle)                                                                                           \
  X(TessBaseAPIGetThresholdedImage)                                                                                    \
  X(TessBaseAPIGetRegions)                                                                                             \
  X(TessBaseAPIGetTextlines)                                                                                           \
  X(TessBaseAPIGetTextlines1)                                                                                          \
  X(TessBaseAPIGetStrips)                                                                                              \
  X(TessBaseAPIGetWords)                                                                                               \
  X(TessBaseAPIGetConnectedComponents)                                                                                 \
  X(TessBaseAPIGetComponentImages)                                                                                     \
  X(TessBaseAPIGetComponentImages1)                                                                                    \
  X(TessBaseAPIGetThresholdedImageScaleFactor)                                                                         \
  X(TessBaseAPIAnalyseLayout)                                                                                          \
  X(TessBaseAPIRecognize)                                                                                              \
  X(TessBaseAPIProcessPages)                                                                                           \
  X(TessBaseAPIProcessPage)                                                                                            \
  X(TessBaseAPIGetIterator)                                                                                            \
  X(TessBaseAPIGetMutableIterator)                                                                                     \
  X(TessBaseAPIGetUTF8Text)                                                                                            \
  X(TessBaseAPIGetHOCRText)                                                                                            \
  X(TessBaseAPIGetBoxText)                                                                                             \
  X(TessBaseAPIGetUNLVText)                                                                                            \
  X(TessBaseAPIMeanTextConf)                                                                                           \
  X(TessBaseAPIAllWordConfidences)                                                                                     \
  X(TessBaseAPIAdaptToWordStr)                                                                                         \
  X(TessBaseAPIClear)                                                                                                  \
  X(TessBaseAPIEnd)                                                                                                    \
  X(TessBaseAPIIsValidWord)                                                                                            \
  X(TessBaseAPIGetTextDirection)                                                                                       \
  X(TessBaseAPIGetUnichar)                                                                                             \
  X(TessBaseAPISetMinOrientationMargin)                                                                                \
  X(TessPageIteratorDelete)                                                                                            \
  X(TessPageIteratorCopy)                                                                                              \
  X(TessPageIteratorBegin)                                                                                             \
  X(TessPageIteratorNext)                                                                                              \
  X(TessPageIteratorIsAtBeginningOf)                                                                                   \
  X(TessPageIteratorIsAtFinalElement)                                                                                  \
  X(TessPageIteratorBoundingBox)                                                                                       \
  X(TessPageIteratorBlockType)                                                                                         \
  X(TessPageIteratorGetBinaryImage)                                                                                    \
  X(TessPageIteratorGetImage)                                                                                          \
  X(TessPageIteratorBaseline)                                                                                          \
  X(TessPageIteratorOrientation)                                                                                       \
  X(TessPageIteratorParagraphInfo)                                                                                     \
  X(TessResultIteratorDelete)                                                                                          \
  X(TessResultIteratorCopy)                                                                                            \
  X(TessResultIteratorGetPageIterator)                                                                                 \
  X(TessResultIteratorGetPageIteratorConst)                                                                            \
  X(TessResultIteratorGetChoiceIterator)                                                                               \
  X(TessResultIteratorNext)                                                                                            \
  X(TessResultIteratorGetUTF8Text)                                                                                     \
  X(TessResultIteratorConfidence)                                                                                      \
  X(TessResultIteratorWordRecognitionLanguage)                                                                         \
  X(TessResultIteratorWordFontAttributes)                                                                              \
  X(TessResultIteratorWordIsFromDictionary)                                                                            \
  X(TessResultIteratorWordIsNumeric)                                                                                   \
  X(TessResultIteratorSymbolIsSuperscript)                                                                             \
  X(TessResultIteratorSymbolIsSubscript)                                                                               \
  X(TessResultIteratorSymbolIsDropcap)                                                                                 \
  X(TessChoiceIteratorDelete)                                                                                          \
  X(TessChoiceIteratorNext)                                                                                            \
  X(TessChoiceIteratorGetUTF8Text)                                                                                     \
  X(TessChoiceIteratorConfidence)

// The Leptonica functions in binding order.
#define KORVEX_LEPTONICA_ENTRY_POINTS(X)                                                                               \
  X(pixRead)                                                                                                           \
  X(pixDestroy)                                                                                                        \
  X(pixCreateNoInit)                                                                                                   \
  X(pixGetData)                                                                                                        \
  X(pixGetWpl)                                                                                                         \
  X(boxaGetBox)                                                                                                        \
  X(boxaGetCount)                                                                                                      \
  X(boxDestroy)                                                                                                        \
  X(boxaDestroy)                                                                                                       \
  X(pixReadMem)                                                                                                        \
  X(pixWriteMemPng)                                                                                                    \
  X(pixWriteMemBmp)                                                                                                    \
  X(pixDeskew)                                                                                                         \
  X(lept_free)                                                                                                         \
  X(setPixMemoryManager)
