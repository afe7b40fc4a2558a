#include "CQuillmendApp.h"

#include "CQuillmendDlg.h"
#include "CommandLine.h"
#include "ui/EnginePath.h"


#include <string>
#include <vector>

#include "crash/CrashReport.h"

CQuillmendApp::CQuillmendApp(int& argc, char** argv) : QApplication(argc, argv) {}

int CQuillmendApp::InitInstance() {
    // Qt needs no common-control or control-container set-up; the program's
    // names take the place of the framework's registry key. Nothing is stored
    // under them: the program keeps no settings.
    setOrganizationName(QStringLiteral("Local AppWizard-Generated Applications"));
    setApplicationName(QStringLiteral("Quillmend"));
    setApplicationVersion(QStringLiteral("1.1"));

    // Mail files named on the command line ("Open with" in a file manager);
    // Qt has taken its own options out by now.
    std::vector<std::string> args;
    for (const QString& arg : arguments().mid(1))
        args.push_back(ui::EnginePath(arg));
    const app::CommandLine commandLine = app::ParseCommandLine(args);
    if (const auto exitCode = app::Answer(commandLine))
        return *exitCode;
    QStringList files;
    for (const std::string& file : commandLine.files)
        files << ui::QtPath(file);

    CQuillmendDlg dialog;
    dialog.OpenFiles(files);
    // A fault while the dialog runs goes to the crash report; the process
    // then ends at once with a non-zero status (the preview file deleted),
    // never through a teardown that a damaged heap could hang.
    crash::RunInCrashGuard([&dialog] { dialog.exec(); });
    // The dialog is destroyed here; the process then ends without an event
    // loop of its own.
    return 0;
}
