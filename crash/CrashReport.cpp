#include "crash/CrashReport.h"

#include "crash/ReportPage.h"
#include "platform/CrashProcess.h"
#include "platform/GuardedRead.h"
#include "platform/ProgramPaths.h"
#include "platform/SafeFile.h"
#include "platform/SystemInfo.h"
#include "platform/ThreadContext.h"

#include <atomic>
#include <cerrno>
#include <cstring>

namespace crash {

namespace {

constexpr const char* kReportProgramName = "quillmend-bugreport";
// Room for "crash-<process id>-<n>/bugreport.htm" after the private folder.
constexpr std::size_t kPathRoom = 4096;
constexpr std::size_t kNameRoom = 64;
// Folder names tried per process: a folder left from an earlier process of
// the same id (its report kept) is skipped, never reused.
constexpr int kFolderTries = 100;

// Everything the filter uses, made before it can run: inside the signal
// handler it is only read.
struct Prepared {
    std::string folder;  // with its separator
    std::string reportProgram;
    platform::PreparedProgram program;
    unsigned walkSeconds = 8;
};

Prepared& State()
{
    static Prepared prepared;
    return prepared;
}

// The report being written, inside the signal handler (once per process).
enum Stage { kNone, kWriting, kWritten, kHandedOver };
std::atomic<int> g_stage{kNone};
char g_folder[kPathRoom];
char g_page[kPathRoom];

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

bool Write(int fd, std::string_view text)
{
    return platform::WriteAll(fd, text.data(), text.size());
}

void Tell(std::string_view text)
{
    Write(2, text);
}

// Appends `text` at `out[n]`; false when it does not fit (with its zero).
bool Append(char* out, std::size_t& n, std::string_view text)
{
    if (n + text.size() >= kPathRoom)
        return false;
    std::memcpy(out + n, text.data(), text.size());
    n += text.size();
    out[n] = '\0';
    return true;
}

std::string_view Decimal(unsigned long long value, char (&buffer)[24])
{
    std::size_t at = sizeof buffer;
    do {
        buffer[--at] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value);
    return {buffer + at, sizeof buffer - at};
}

// Makes this crash's folder exclusively and opens the page inside it, new.
// Returns its descriptor, or -1 with errno set.
int CreatePage(const Prepared& p)
{
    char digits[24];
    bool madePrivateFolder = false;
    for (int attempt = 1; attempt <= kFolderTries; ++attempt) {
        std::size_t n = 0;
        Append(g_folder, n, p.folder);
        Append(g_folder, n, kReportFolderPrefix);
        Append(g_folder, n, Decimal(static_cast<unsigned long long>(platform::CurrentProcessId()), digits));
        if (attempt > 1) {
            Append(g_folder, n, "-");
            Append(g_folder, n, Decimal(static_cast<unsigned long long>(attempt), digits));
        }
        if (!platform::CreateFolderForCrash(g_folder)) {
            if (errno == EEXIST)
                continue;
            if (errno != ENOENT || madePrivateFolder)
                return -1;
            // The private folder went away since the start (a runtime folder
            // cleaned up): made again for the user alone, and tried once more.
            char privateFolder[kPathRoom];
            std::size_t m = 0;
            Append(privateFolder, m, p.folder);
            privateFolder[m - 1] = '\0';
            madePrivateFolder = true;
            if (!platform::CreateFolderForCrash(privateFolder))
                return -1;
            --attempt;
            continue;
        }
        std::size_t m = 0;
        Append(g_page, m, g_folder);
        Append(g_page, m, "/");
        Append(g_page, m, kReportFileName);
        const int fd = platform::CreateNewFileForCrash(g_page);
        if (fd < 0) {
            const int error = errno;
            platform::RemoveEmptyFolder(g_folder);
            errno = error;
        }
        return fd;
    }
    errno = EEXIST;
    return -1;
}

void TellReason(int error)
{
    const char* text = platform::ErrorDescription(error);
    char digits[24];
    if (text) {
        Tell(text);
    } else {
        Tell("error ");
        Tell(Decimal(static_cast<unsigned long long>(error), digits));
    }
}

// Copies the text area of the written page to the standard error stream,
// without the CRs of its line ends.
void TellReportText()
{
    const int fd = platform::OpenFileForCrash(g_page);
    if (fd < 0)
        return;
    const long long size = platform::FileSize(fd);
    const unsigned long long begin = kReportHead.size();
    const unsigned long long end = size > static_cast<long long>(begin + kReportTail.size())
        ? static_cast<unsigned long long>(size) - kReportTail.size()
        : begin;
    char buffer[4096];
    for (unsigned long long at = begin; at < end;) {
        const std::size_t want = end - at < sizeof buffer ? static_cast<std::size_t>(end - at) : sizeof buffer;
        const long long n = platform::ReadAt(fd, buffer, want, at);
        if (n <= 0)
            break;
        at += static_cast<unsigned long long>(n);
        std::size_t kept = 0;
        for (long long i = 0; i < n; ++i) {
            if (buffer[i] != '\r')
                buffer[kept++] = buffer[i];
        }
        Write(2, {buffer, kept});
    }
    platform::CloseFile(fd);
}

// No page could be written: say why, and give what is known without one.
void TellNoReport(int error, std::string_view exceptionText)
{
    Tell("Quillmend failed and ends. No crash report could be written (");
    TellReason(error);
    Tell(").\n");
    Tell(kReportVersionLine.substr(0, kReportVersionLine.size() - 2));
    Tell("\n");
    for (const char c : exceptionText) {
        if (c != '\r')
            Write(2, {&c, 1});
    }
}

// The report could not be shown: say why and where it is, and show it here.
void TellReportKept(const Prepared& p, int error)
{
    Tell("Quillmend failed and ends. Its crash report could not be shown: ");
    if (p.reportProgram.empty()) {
        Tell(kReportProgramName);
        Tell(" was not found beside the program");
    } else {
        Tell(p.reportProgram);
        Tell(" could not be started (");
        TellReason(error);
        Tell(")");
    }
    Tell(".\nThe report is kept in ");
    Tell(g_page);
    Tell(":\n\n");
    TellReportText();
    Tell("\n");
}

} // namespace

void PrepareCrashReport()
{
    Sources();  // made now, not first in the copy of a crashed process
    Prepared& p = State();
    p.folder = platform::PrivateDirectory();
    if (p.folder.size() + kNameRoom + kReportFileName.size() >= kPathRoom)
        p.folder.clear();  // no page rather than a cut path
    p.reportProgram = platform::FindProgram(kReportProgramName);
    p.program.Prepare(p.reportProgram);
}

const std::string& ReportFolder()
{
    return State().folder;
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
    const int fd = p.folder.empty() ? -1 : CreatePage(p);
    if (fd < 0) {
        TellNoReport(p.folder.empty() ? ENOENT : errno, {exceptionText, exceptionLength});
        return 1;  // no page: no walk, no report program
    }
    g_stage.store(kWriting);

    bool written = Write(fd, kReportHead) && Write(fd, kReportVersionLine) &&
        Write(fd, {exceptionText, exceptionLength});
    // The walk has its own time limit; the watchdog must not cut the page
    // short because of it.
    platform::PauseCrashWatchdog();
    WalkRequest request{fd, info.context};
    if (written)
        platform::RunInProcessCopy(WalkInCopy, &request, p.walkSeconds);
    platform::RestartCrashWatchdog();
    written = written && Write(fd, kReportTail);
    const int writeError = errno;
    platform::CloseFile(fd);
    if (!written) {
        // A page cut short (a full disk) would show as no report at all.
        platform::RemoveFile(g_page);
        platform::RemoveEmptyFolder(g_folder);
        g_stage.store(kHandedOver);
        TellNoReport(writeError, {exceptionText, exceptionLength});
        return 1;
    }
    g_stage.store(kWritten);

    // The report program owns the page from here on; this process ends at
    // once, so that nothing of it (its windows, grabs, threads) stays in the
    // user's way while the report is read.
    int error = 0;
    if (p.program.Start(g_folder, error)) {
        g_stage.store(kHandedOver);
        return 1;
    }
    TellReportKept(p, error);
    g_stage.store(kHandedOver);
    return 1;
}

void AbandonCrashReport()
{
    switch (g_stage.load()) {
    case kWriting:
        platform::RemoveFile(g_page);
        platform::RemoveEmptyFolder(g_folder);
        break;
    case kWritten:
        TellReportKept(State(), ETIMEDOUT);
        break;
    default:
        break;
    }
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
    guard_.emplace(WriteCrashReport, AbandonCrashReport);
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
