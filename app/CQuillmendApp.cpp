#include "CQuillmendApp.h"

#include "CQuillmendDlg.h"
#include "CommandLine.h"


#include <string>
#include <vector>

#include "crash/CrashReport.h"

CQuillmendApp::CQuillmendApp(int& argc, char** argv) : QApplication(argc, argv), argc_(argc), argv_(argv) {}

int CQuillmendApp::InitInstance() {
    // Qt needs no common-control or control-container set-up; the program's
    // names take the place of the framework's registry key. Nothing is stored
    // under them: the program keeps no settings.
    setOrganizationName(QStringLiteral("Local AppWizard-Generated Applications"));
    setApplicationName(QStringLiteral("Quillmend"));
    setApplicationVersion(QStringLiteral("1.1"));

    // Mail files named on the command line ("Open with" in a file manager),
    // as the bytes main() was given: Qt's decoded arguments would change a
    // name that is not UTF-8. Qt has taken its own options out by now.
    const app::CommandLine commandLine = app::ParseCommandLine(std::vector<std::string>(argv_ + 1, argv_ + argc_));
    if (const auto exitCode = app::Answer(commandLine))
        return *exitCode;

    CQuillmendDlg dialog;
    dialog.OpenFiles(commandLine.files);
    // A fault while the dialog runs goes to the crash report; the process
    // then ends at once with a non-zero status (the preview file deleted),
    // never through a teardown that a damaged heap could hang.
    crash::RunInCrashGuard([&dialog] { dialog.exec(); });
    // The dialog is destroyed here; the process then ends without an event
    // loop of its own.
    return 0;
}
