#pragma once
// The crash report: when a fault escapes the main dialog's modal run, a page
// with the exception and the call stack ("bugreport.htm") is written into a
// folder of its own ("crash-<process id>"), made for this crash inside the
// private per-user folder, and the report program (quillmend-bugreport) is
// started with that folder as its working directory. The report program owns
// the page from then on (it deletes the page and its folder when it closes),
// and the process ends at once with a non-zero status, after deleting the
// preview file. When the report program cannot be started, the page's path
// and its text go to the standard error stream and the page stays.

#include "crash/CCallStackWalker.h"
#include "platform/CrashGuard.h"

#include <optional>
#include <string>

namespace crash {

// Works out, now, everything a report needs later (paths, the report
// program, its environment), since none of it can be done inside a signal
// handler. Called by CrashReportGuard; again to pick up a changed folder.
void PrepareCrashReport();

// The folder the crash folders go into and the report program that
// PrepareCrashReport chose (empty: none).
const std::string& ReportFolder();
const std::string& ReportProgramPath();

// How long the stack walk may take before the page goes without it
// (seconds, default 8).
void SetReportWalkTimeout(unsigned seconds);

// The crash filter: writes the page and hands it to the report program (or
// keeps it and prints it); returns 1 (run the handler) in every case. Safe in
// a signal handler: the stack walk, which needs memory and locks, runs in a
// copy of the process.
int WriteCrashReport(const platform::CrashInfo& info);

// The crash guard's abandon call: when the process must end while the page is
// still being written, the page and its folder are deleted; a finished page
// not yet handed over is kept and printed. Safe in a signal handler.
void AbandonCrashReport();

// Writes one line per stack frame, each followed by CR LF, to an open file
// descriptor, and nothing else from the walker.
class CReportStackWalker : public CCallStackWalker {
public:
    explicit CReportStackWalker(int reportFile);

protected:
    void OnSymbolsInitialized(const char*, unsigned, const char*) override {}
    void OnModuleLoaded(const char*, const char*, std::uint64_t, std::uint64_t, int, const char*, const char*,
                        std::uint64_t) override {}
    void OnHelperError(const char*, int, std::uint64_t) override {}
    void OnLine(const char* text) override;

private:
    int reportFile_;
};

// The crash guard around the main dialog's modal run: prepares the report,
// puts the guard in place with WriteCrashReport as its filter and the mapped
// files' read guard in front of it; takes the guard away again when it goes,
// leaving the read guard in place.
class CrashReportGuard {
public:
    CrashReportGuard();
    ~CrashReportGuard();
    CrashReportGuard(const CrashReportGuard&) = delete;
    CrashReportGuard& operator=(const CrashReportGuard&) = delete;

private:
    std::optional<platform::CrashGuard> guard_;
};

// Runs `modal` inside a CrashReportGuard.
template <typename Modal>
void RunInCrashGuard(Modal&& modal)
{
    CrashReportGuard guard;
    modal();
}

} // namespace crash
