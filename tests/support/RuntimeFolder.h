#pragma once

// A runtime folder of a test's own. Korvex reads Config.ini beside its
// executable, so every test or benchmark that runs it gets a folder of its
// own with links to the build's recognition libraries and data and, when it
// runs the program as the user does, copies of the programs.

#include <QDir>
#include <QFile>
#include <QString>

// Links the build's Tesseract/ and tessdata/ into Folder; false when a link
// could not be made.
inline bool LinkRecognitionData(const QString& Folder) {
  const QDir Runtime(QStringLiteral(KORVEX_RUNTIME_DIR));
  bool Linked = true;
  for (const char* Name : {"Tesseract", "tessdata"})
    Linked = QFile::link(Runtime.filePath(QLatin1String(Name)), QDir(Folder).filePath(QLatin1String(Name))) && Linked;
  return Linked;
}

// Copies the build's korvex (the launcher) and korvex-gui (the program it
// runs) into Folder, beside links to the recognition data; false when a
// copy or link could not be made.
inline bool MakeRuntimeFolder(const QString& Folder) {
  const QDir Runtime(QStringLiteral(KORVEX_RUNTIME_DIR));
  bool Made = true;
  for (const char* Name : {"korvex", "korvex-gui"})
    Made = QFile::copy(Runtime.filePath(QLatin1String(Name)), QDir(Folder).filePath(QLatin1String(Name))) && Made;
  return LinkRecognitionData(Folder) && Made;
}
