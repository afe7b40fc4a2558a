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
};
