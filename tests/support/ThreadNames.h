#pragma once

#include <QDir>
#include <QFile>

// How many threads of this process carry Name (as the system lists it, at
// most 15 characters).
inline int ThreadsNamed(const char* Name) {
  int Count = 0;
  const QDir Tasks(QStringLiteral("/proc/self/task"));
  for (const QString& Task : Tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    QFile Comm(Tasks.filePath(Task + QStringLiteral("/comm")));
    if (Comm.open(QIODevice::ReadOnly) && Comm.readAll().trimmed() == Name)
      ++Count;
  }
  return Count;
}
