#pragma once

#include <QByteArray>
#include <QString>

namespace tesseractocr {

// A zero-terminated UTF-8 string from the Tesseract library as a QString;
// null gives "". With ADeleteText the library's buffer is released with
// TessDeleteText once it has been copied.
QString PUTF8CharToString(const char* AUTF8Char, bool ADeleteText);

// aDllPath + FileName as a file name for dlopen. A name without a slash would
// make dlopen search the system's library path, so it is anchored to the
// current folder: a library is only ever loaded from the folder named.
QByteArray LibraryFileName(const QString& aDllPath, const char* FileName);

// The Tesseract library is built with OpenMP, whose threads only slow
// recognition down on a desktop (a full screen takes about 6 s instead of
// 0.9 s on two cores). Unless the user's environment sets OMP_THREAD_LIMIT,
// sets it to 1. OpenMP reads it once, when libgomp is loaded, and Qt's own
// dependencies may have loaded libgomp before main() ran: then the program
// is started afresh with the same arguments (execv of its own executable),
// so call this first thing in main(). Returns when nothing more is needed or
// the restart failed.
void LimitOpenMPThreads(char** argv);

// Runs the OpenMP parallel regions that the calling thread starts on that
// thread alone: the nesting allowed is set to none, which outranks the
// thread counts Tesseract asks for. Unlike OMP_THREAD_LIMIT, which the
// runtime reads once as it loads, this works after the runtime has loaded,
// so a program that links Tesseract needs no restart. The setting may be
// the thread's own, so every thread that recognises calls it. Does nothing
// when no OpenMP runtime is loaded.
void KeepOpenMPOnThisThread();

} // namespace tesseractocr
