#include "app/appdir.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace velmora {

namespace {

QString withTrailingSlash(QString dir)
{
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir;
}

// Permission bits do not settle this (root writes through them, ACLs and read-only
// mounts override them), so create a file and remove it again.
bool canCreateFilesIn(const QString &dir)
{
    if (dir.isEmpty() || !QFileInfo(dir).isDir())
        return false;
    QTemporaryFile probe(QDir(dir).filePath(QStringLiteral(".velmora-write-probe-XXXXXX")));
    return probe.open();
}

} // namespace

std::string chooseAppDir(const QString &programDir)
{
    if (canCreateFilesIn(programDir))
        return withTrailingSlash(programDir).toStdString();

    QString base = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    if (base.isEmpty())
        base = QDir::homePath();
    const QString dir = QDir::cleanPath(base + QStringLiteral("/velmora-downloader"));
    QDir().mkpath(dir);
    return withTrailingSlash(dir).toStdString();
}

} // namespace velmora
