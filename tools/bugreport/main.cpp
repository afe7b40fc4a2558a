// quillmend-bugreport: started by Quillmend after a crash, in the folder
// that holds the report page, with no arguments; it deletes the page when it
// ends. A page path may be given to look at a kept report.

#include "CBugReportWindow.h"
#include "ReportPageFile.h"

#include <QApplication>

#include <filesystem>
#include <system_error>

namespace {

ReportPageFile* g_page = nullptr;
QtMessageHandler g_previousHandler = nullptr;

// A window that cannot be shown at all (no display, say) ends in a fatal
// message, printed first: the page then stays, and where it is goes to
// standard error.
void OnMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (g_previousHandler)
        g_previousHandler(type, context, message);
    if (type == QtFatalMsg && g_page)
        g_page->Keep();
}

ReportPageFile OpenPage(int argc, char** argv)
{
    if (argc > 1)
        return ReportPageFile::Named(argv[1]);
    std::error_code ec;
    return ReportPageFile::Owned(std::filesystem::current_path(ec));
}

} // namespace

int main(int argc, char** argv)
{
    // Static, so that an exit() from inside Qt (a broken display connection)
    // releases the page too.
    static ReportPageFile page = OpenPage(argc, argv);
    g_page = &page;
    page.ReleaseOnEndRequest();
    g_previousHandler = qInstallMessageHandler(OnMessage);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillmend Bug Report"));
    CBugReportWindow window(page.Bytes(), page.IsOwned());
    window.show();
    const int status = app.exec();
    page.Release();
    return status;
}
