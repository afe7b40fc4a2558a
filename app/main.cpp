// Quillmend's desktop program.

#include "CQuillmendApp.h"

int main(int argc, char** argv) {
    CQuillmendApp app(argc, argv);
    return app.InitInstance();
}
