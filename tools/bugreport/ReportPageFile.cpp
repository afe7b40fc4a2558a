#include "ReportPageFile.h"

#include "crash/ReportPage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

// What a signal handler deletes: prepared as bytes beforehand.
QByteArray g_pageToRelease;
QByteArray g_folderToRelease;

void OnEndSignal(int signal)
{
    if (!g_pageToRelease.isEmpty())
        unlink(g_pageToRelease.constData());
    if (!g_folderToRelease.isEmpty())
        rmdir(g_folderToRelease.constData());
    _exit(128 + signal);
}

// The folder of an owned page when the crash made it for the page alone.
QString CrashFolderOf(const QString& page)
{
    const QFileInfo folder(QFileInfo(page).absolutePath());
    const QString prefix = QString::fromLatin1(crash::kReportFolderPrefix.data(),
                                               static_cast<qsizetype>(crash::kReportFolderPrefix.size()));
    return folder.fileName().startsWith(prefix) ? folder.absoluteFilePath() : QString();
}

} // namespace

bool ExtractReportText(const QByteArray& page, QByteArray& text)
{
    const qsizetype open = page.indexOf("<textarea");
    const qsizetype start = open < 0 ? -1 : page.indexOf('>', open);
    const qsizetype end = start < 0 ? -1 : page.indexOf("</textarea>", start);
    if (end < 0)
        return false;
    text = page.mid(start + 1, end - start - 1);
    return true;
}

ReportPageFile::ReportPageFile(const QString& path, bool owned) : path_(path), owned_(owned)
{
    QFile file(path_);
    if (file.open(QIODevice::ReadOnly))
        bytes_ = file.readAll();
}

ReportPageFile ReportPageFile::Owned(const QString& workingFolder)
{
    const QString name = QString::fromLatin1(crash::kReportFileName.data(),
                                             static_cast<qsizetype>(crash::kReportFileName.size()));
    return ReportPageFile(QDir(workingFolder).absoluteFilePath(name), true);
}

ReportPageFile ReportPageFile::Named(const QString& path)
{
    return ReportPageFile(path, false);
}

ReportPageFile::~ReportPageFile()
{
    Release();
}

void ReportPageFile::Release()
{
    if (!owned_)
        return;
    owned_ = false;
    QFile::remove(path_);
    const QString folder = CrashFolderOf(path_);
    if (!folder.isEmpty())
        QDir().rmdir(folder);  // only when empty
    g_pageToRelease.clear();
    g_folderToRelease.clear();
}

void ReportPageFile::ReleaseOnEndSignals()
{
    if (!owned_)
        return;
    g_pageToRelease = QFile::encodeName(path_);
    g_folderToRelease = QFile::encodeName(CrashFolderOf(path_));
    struct sigaction action {};
    action.sa_handler = OnEndSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);
}

void ReportPageFile::Keep()
{
    if (!owned_)
        return;
    owned_ = false;
    g_pageToRelease.clear();
    g_folderToRelease.clear();
    QByteArray text;
    ExtractReportText(bytes_, text);
    text.replace("\r\n", "\n");
    const QByteArray message = "Quillmend failed, and the window of its crash report could not open.\n"
                               "The report is kept in "
        + QFile::encodeName(path_) + ":\n\n" + text + "\n";
    std::fwrite(message.constData(), 1, static_cast<std::size_t>(message.size()), stderr);
    std::fflush(stderr);
}
