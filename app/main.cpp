// Quillmend's desktop program.

#include "CQuillmendApp.h"
#include "CommandLine.h"

int main(int argc, char** argv) {
    // --help and --version answer like the command-line tool, also where no
    // window can be opened.
    if (const auto exitCode = app::AnswerInfoOptions(argc, argv))
        return *exitCode;
    CQuillmendApp app(argc, argv);
    return app.InitInstance();
}
