#pragma once
// Shared pieces of the command-line tool: exit codes, opening and scanning
// a mail file with progress on a terminal, and text helpers for output.

#include "dbx/DbxFile.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

enum ExitCode : int {
    kExitOk = 0,
    kExitSomeNotWritten = 1,  // some e-mail could not be written (or read completely), or the list is incomplete
    kExitUsage = 2,           // bad arguments, or the mail file cannot be opened
};

inline constexpr const char* kProgram = "quillmend-cli";

// Prints "quillmend-cli: <message>" on stderr.
void Error(std::string_view message);

// Opens and scans `path`, drawing a progress bar on stderr when it is a
// terminal. On failure prints why (naming the file) and returns false.
bool OpenAndScan(const std::string& path, dbx::DbxFile& file);

// When the scan of `file` listed less than the file holds (the file shrank
// while it was read, or it is packed with fake block headers and chains
// were left unexamined), says so on stderr and returns true.
bool WarnIfIncomplete(const std::string& path, const dbx::DbxFile& file);

// "YYYY-MM-DD HH:MM:SS" of a local file time; "" for 0 or an invalid time.
std::string FormatDate(std::uint64_t fileTime);

// Message bytes as UTF-8 for people to read on a terminal: control
// characters (escape sequences of a hostile message among them) become '?'.
std::string ForTerminal(std::string_view bytes);

// A JSON string literal of message bytes (shown as UTF-8 per the text rule).
std::string JsonString(std::string_view bytes);
// The same appended to `out`.
void AppendJsonString(std::string& out, std::string_view bytes);
// The same as FormatDate appended to `out`.
void AppendDate(std::string& out, std::uint64_t fileTime);

// A path (or file name) for people to read on a terminal: shown as
// dbx::PathToDisplay does, control characters replaced by '?'.
std::string PathForTerminal(std::string_view path);

// A path in JSON: `text` as a string literal, the path itself where it is
// valid UTF-8, otherwise its readable form (not a name that exists); then
// `hex`, a string literal of its exact bytes in hex that a script decodes
// to open it, or empty when the text is the path.
struct JsonPath {
    std::string text;
    std::string hex;
};
JsonPath JsonPathValues(std::string_view path);

// The members that give a path under `key`: "key":TEXT, and
// ,"keyHex":HEX when the path is not UTF-8 (see JsonPathValues).
std::string JsonPathMembers(std::string_view key, std::string_view path);

// Parses a non-negative decimal int; nullopt for anything else.
std::optional<int> ParseIndex(std::string_view text);

// The arguments of a command whose one option is --json, read in order:
// --help answers with `usage`; --json sets `json`; other words are operands,
// at most `maxOperands` of them; anything else is refused. Returns the exit
// status when the command ends here, nothing otherwise.
std::optional<int> ReadJsonOption(const std::string& command, const char* usage,
                                  const std::vector<std::string>& args, std::size_t maxOperands, bool& json,
                                  std::vector<std::string>& operands);

// The FILE.dbx INDEX arguments of the commands that print one e-mail:
// answers --help with `usage`, refuses other arguments, then opens and scans
// the file and reads the e-mail's stored text into `text`. Returns the exit
// status when the command ends here (help or an error), nothing otherwise;
// `complete` is false when the file shrank while the e-mail was read (said
// on stderr).
struct OneEmail {
    dbx::DbxFile file;
    int index = 0;
    std::string text;
    bool complete = false;
};
std::optional<int> ReadOneEmail(const std::string& command, const char* usage,
                                const std::vector<std::string>& args, OneEmail& email);

// Writes `bytes` to stdout and flushes; false when they did not all go out.
bool WriteToStdout(std::string_view bytes);

int RunList(const std::vector<std::string>& args);
int RunCat(const std::vector<std::string>& args);
int RunSave(const std::vector<std::string>& args);
int RunShow(const std::vector<std::string>& args);
int RunAttachments(const std::vector<std::string>& args);
int RunStore(const std::vector<std::string>& args);
int RunFind(const std::vector<std::string>& args);
int RunCarve(const std::vector<std::string>& args);

} // namespace cli
