#pragma once
// The application object: starts the program and runs the main dialog.

#include <QApplication>

class CQuillmendApp : public QApplication {
    Q_OBJECT
public:
    // `argc` and `argv` are main()'s; they must outlive the object, which
    // reads the file arguments from them after Qt has taken its own.
    CQuillmendApp(int& argc, char** argv);

    // Runs the program: sets up the application, shows the main dialog
    // modally and returns the process's exit code: 0 once it has closed, 2
    // (without a window) for a command line it cannot use.
    int InitInstance();

private:
    int& argc_;
    char** argv_;
};
