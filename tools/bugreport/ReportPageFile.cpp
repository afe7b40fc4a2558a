#include "ReportPageFile.h"

#include "crash/ReportPage.h"
#include "platform/CrashProcess.h"
#include "platform/SafeFile.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace fs = std::filesystem;

namespace {

// What the end-request handler deletes: prepared as bytes beforehand.
std::string g_pageToRelease;
std::string g_folderToRelease;

void OnEndRequest(int signal)
{
    if (!g_pageToRelease.empty())
        platform::RemoveFile(g_pageToRelease.c_str());
    if (!g_folderToRelease.empty())
        platform::RemoveEmptyFolder(g_folderToRelease.c_str());
    std::_Exit(128 + signal);
}

// The folder of an owned page when the crash made it for the page alone.
fs::path CrashFolderOf(const fs::path& page)
{
    const fs::path folder = page.parent_path();
    return folder.filename().string().starts_with(crash::kReportFolderPrefix) ? folder : fs::path();
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

ReportPageFile::ReportPageFile(const fs::path& path, bool owned) : path_(path), owned_(owned)
{
    std::ifstream in(path_, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    bytes_ = QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

ReportPageFile ReportPageFile::Owned(const fs::path& folder)
{
    return ReportPageFile(folder / std::string(crash::kReportFileName), true);
}

ReportPageFile ReportPageFile::Named(const fs::path& page)
{
    return ReportPageFile(page, false);
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
    g_pageToRelease.clear();
    g_folderToRelease.clear();
    std::error_code ec;
    fs::remove(path_, ec);
    const fs::path folder = CrashFolderOf(path_);
    if (!folder.empty() && fs::is_empty(folder, ec))
        fs::remove(folder, ec);
}

void ReportPageFile::ReleaseOnEndRequest()
{
    if (!owned_)
        return;
    g_pageToRelease = path_.string();
    g_folderToRelease = CrashFolderOf(path_).string();
    platform::CallOnEndRequest(OnEndRequest);
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
    const std::string message = "Quillmend failed, and the window of its crash report could not open.\n"
                                "The report is kept in " + path_.string() + ":\n\n" + text.toStdString() + "\n";
    std::fwrite(message.data(), 1, message.size(), stderr);
    std::fflush(stderr);
}
