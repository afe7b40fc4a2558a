#include "CQuillmendApp.h"

#include "CQuillmendDlg.h"

#include "crash/CrashReport.h"

CQuillmendApp::CQuillmendApp(int& argc, char** argv) : QApplication(argc, argv) {}

int CQuillmendApp::InitInstance() {
    // Qt needs no common-control or control-container set-up; the program's
    // names take the place of the framework's registry key. Nothing is stored
    // under them: the program keeps no settings.
    setOrganizationName(QStringLiteral("Local AppWizard-Generated Applications"));
    setApplicationName(QStringLiteral("Quillmend"));
    setApplicationVersion(QStringLiteral("1.1"));

    CQuillmendDlg dialog;
    // Mail files named on the command line ("Open with" in a file manager).
    dialog.OpenFiles(arguments().mid(1));
    // A fault while the dialog runs goes to the crash report; the process
    // then ends at once with a non-zero status (the preview file deleted),
    // never through a teardown that a damaged heap could hang.
    crash::RunInCrashGuard([&dialog] { dialog.exec(); });
    // The dialog is destroyed here; the process then ends without an event
    // loop of its own.
    return 0;
}
