#include "crash/CrashReport.h"

#include "crash/ReportPage.h"
#include "platform/CrashProcess.h"
#include "platform/GuardedRead.h"
#include "platform/ProgramPaths.h"
#include "platform/SafeFile.h"
#include "platform/SystemInfo.h"
#include "platform/ThreadContext.h"

#include <cstring>

namespace crash {

namespace {

constexpr const char* kReportFileName = "bugreport.htm";
constexpr const char* kReportProgramName = "quillmend-bugreport";

// Everything the filter uses, made before it can run: inside the signal
// handler it is only read.
struct Prepared {
    std::string reportFile;
    std::string reportProgram;
    platform::PreparedProgram program;
    unsigned walkSeconds = 8;
};

Prepared& State()
{
    static Prepared prepared;
    return prepared;
}

struct WalkRequest {
    int reportFile;
    const void* context;
};

// In the copy of the crashed process: its memory is the crashed process's,
// so the stack at the fault is there to walk, and whatever the walk breaks
// breaks only the copy.
void WalkInCopy(void* request)
{
    const auto& r = *static_cast<const WalkRequest*>(request);
    CReportStackWalker walker(r.reportFile);
    platform::ThreadContext context;
    if (r.context)
        platform::CopySignalContext(r.context, context);
    walker.WalkStack(platform::CurrentThread(), r.context ? &context : nullptr);
}

void Write(int fd, std::string_view text)
{
    platform::WriteAll(fd, text.data(), text.size());
}

} // namespace

void PrepareCrashReport()
{
    Sources();  // made now, not first in the copy of a crashed process
    Prepared& p = State();
    const std::string folder = platform::PrivateDirectory();
    p.reportFile = folder.empty() ? std::string() : folder + kReportFileName;
    // The report program runs in the page's folder (without its separator).
    const std::string workingDirectory = folder.empty() ? std::string() : folder.substr(0, folder.size() - 1);
    p.reportProgram = platform::FindProgram(kReportProgramName);
    p.program.Prepare(p.reportProgram, workingDirectory);
}

const std::string& ReportFilePath()
{
    return State().reportFile;
}

const std::string& ReportProgramPath()
{
    return State().reportProgram;
}

void SetReportWalkTimeout(unsigned seconds)
{
    State().walkSeconds = seconds;
}

int WriteCrashReport(const platform::CrashInfo& info)
{
    const Prepared& p = State();
    char exceptionText[kExceptionTextSize];
    const std::size_t exceptionLength = FormatExceptionText(exceptionText, info.code, info.address);
    const int fd = p.reportFile.empty() ? -1 : platform::CreateFileForCrash(p.reportFile.c_str());
    if (fd < 0)
        return 1;  // no page: no walk, no report program

    Write(fd, kReportHead);
    Write(fd, kReportVersionLine);
    Write(fd, {exceptionText, exceptionLength});
    WalkRequest request{fd, info.context};
    platform::RunInProcessCopy(WalkInCopy, &request, p.walkSeconds);
    Write(fd, kReportTail);
    platform::CloseFile(fd);

    // The user reads the report now, for as long as it takes.
    platform::SetCrashWatchdog(0);
    p.program.RunAndWait();
    platform::RemoveFile(p.reportFile.c_str());
    return 1;
}

CReportStackWalker::CReportStackWalker(int reportFile)
    : CCallStackWalker(kOptionsAll, nullptr, platform::CurrentProcessId()), reportFile_(reportFile)
{
}

void CReportStackWalker::OnLine(const char* text)
{
    platform::WriteAll(reportFile_, text, std::strlen(text));
    platform::WriteAll(reportFile_, "\r\n", 2);
}

CrashReportGuard::CrashReportGuard()
{
    PrepareCrashReport();
    guard_.emplace(WriteCrashReport);
    // The read guard of mapped files goes in front, passing on what is not its.
    platform::InstallReadGuard();
}

CrashReportGuard::~CrashReportGuard()
{
    guard_.reset();
    // Whatever handled SIGBUS before is back; the read guard goes in front again.
    platform::InstallReadGuard();
}

} // namespace crash
