#pragma once
// The page the report program shows. Started after a crash, with no
// arguments, in the folder the crash made for its page, the program owns that
// page: it is deleted when the program ends (closed, ended by SIGTERM, SIGINT
// or SIGHUP, or by the end of its display connection), and the crash's folder
// with it. A page named on the command line is the user's: it is only read.
// Paths are kept as the system's bytes throughout.

#include <QByteArray>

#include <filesystem>

// The bytes between the text area's opening and closing tags of `page`, as
// written (CR LF line ends); false when the page has no text area.
bool ExtractReportText(const QByteArray& page, QByteArray& text);

class ReportPageFile {
public:
    // The owned page "bugreport.htm" in `folder`.
    static ReportPageFile Owned(const std::filesystem::path& folder);
    // A page the user names; never deleted.
    static ReportPageFile Named(const std::filesystem::path& page);

    ReportPageFile(const ReportPageFile&) = delete;
    ReportPageFile& operator=(const ReportPageFile&) = delete;
    // Releases an owned page.
    ~ReportPageFile();

    const std::filesystem::path& Path() const { return path_; }
    bool IsOwned() const { return owned_; }
    // The page's bytes as read at construction; empty when it could not be read.
    const QByteArray& Bytes() const { return bytes_; }

    // Deletes an owned page, and its folder when that is a crash's own and
    // now empty; nothing for a named page. Once only.
    void Release();
    // From now on, a request to end the program (SIGTERM, SIGINT, SIGHUP)
    // releases the page first. One page per process.
    void ReleaseOnEndRequest();
    // The page could not be shown: it stays, and the standard error stream
    // says where and shows its text.
    void Keep();

private:
    ReportPageFile(const std::filesystem::path& path, bool owned);

    std::filesystem::path path_;
    bool owned_;
    QByteArray bytes_;
};
