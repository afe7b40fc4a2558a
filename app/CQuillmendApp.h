#pragma once
// The application object: starts the program and runs the main dialog.

#include <QApplication>

class CQuillmendApp : public QApplication {
    Q_OBJECT
public:
    CQuillmendApp(int& argc, char** argv);

    // Runs the program: sets up the application, shows the main dialog
    // modally and returns the process's exit code: 0 once it has closed, 2
    // (without a window) for a command line it cannot use.
    int InitInstance();

private:
    // Runs `modal` inside the crash guard. The crash report hooks in here:
    // an exception escaping the dialog goes to the report and the program
    // then ends as after a normal close.
    template <typename Modal>
    static void RunInCrashGuard(Modal&& modal) {
        modal();
    }
};
