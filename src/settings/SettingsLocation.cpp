#include "settings/SettingsLocation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// $HOME, or the password database's home when HOME is unset: never "/",
// which is where QDir::homePath() would put the settings then.
QString HomeFolder() {
  const QString Home = qEnvironmentVariable("HOME");
  if (QDir::isAbsolutePath(Home))
    return Home;
  if (const passwd* Entry = getpwuid(getuid()); Entry && Entry->pw_dir)
    return QFile::decodeName(Entry->pw_dir);
  return QDir::homePath();
}

} // namespace

QString UserSettingsFile() {
  QString Base = qEnvironmentVariable("XDG_CONFIG_HOME");
  // The XDG base directory rules ignore a relative path.
  if (!QDir::isAbsolutePath(Base))
    Base = QDir(HomeFolder()).filePath(QStringLiteral(".config"));
  return QDir::cleanPath(QDir(Base).filePath(QStringLiteral("korvex/Config.ini")));
}

QString SettingsFileFor(const QString& ExecutableDir) {
  const QDir Folder(ExecutableDir);
  const bool Installed = QFileInfo::exists(Folder.filePath(QLatin1String(InstalledMarkerName)));
  // Writing Config.ini means creating a temporary file beside it, so the
  // folder itself must be writable, not only the file.
  const bool Writable = access(QFile::encodeName(Folder.absolutePath()).constData(), W_OK) == 0;
  if (!Installed && Writable)
    return Folder.absoluteFilePath(QStringLiteral("Config.ini"));
  return UserSettingsFile();
}

bool CreateSettingsFolder(const QString& File, QString* Error) {
  const QString Folder = QFileInfo(File).absolutePath();
  QString Path;
  for (const QString& Part : Folder.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
    Path += QLatin1Char('/') + Part;
    if (mkdir(QFile::encodeName(Path).constData(), 0700) == 0 || errno == EEXIST)
      continue;
    if (Error)
      *Error = QStringLiteral("Cannot create %1: %2").arg(Path, QString::fromLocal8Bit(std::strerror(errno)));
    return false;
  }
  if (!QFileInfo(Folder).isDir()) {
    if (Error)
      *Error = QStringLiteral("Cannot create %1: a file of that name is in the way").arg(Folder);
    return false;
  }
  return true;
}
