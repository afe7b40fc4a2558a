#include "cli/CliCommon.h"
#include "cli/SaveParts.h"

#include "archive/Sha256.h"
#include "platform/FileTime.h"
#include "platform/Files.h"
#include "platform/FsPath.h"

#include <cstdio>
#include <filesystem>

namespace cli {

namespace {

// "YYYY-MM-DDTHH:MM:SSZ" of a UTC file time.
std::string IsoUtc(std::uint64_t utc)
{
    platform::SystemTime t;
    if (utc == 0 || !platform::FileTimeToSystemTime(utc, t))
        return {};
    char text[48];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02uZ", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return text;
}

std::string Quoted(const std::string& text)
{
    return text.empty() ? std::string("null") : "\"" + text + "\"";
}

std::string Absolute(const std::string& path)
{
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(platform::ToFsPath(path), ec);
    return ec ? path : platform::FromFsPath(absolute.lexically_normal());
}

const char* ManifestResultName(dbx::DbxFile::WriteResult result)
{
    switch (result) {
    case dbx::DbxFile::WriteResult::kWhole: return "whole";
    case dbx::DbxFile::WriteResult::kCutShort: return "cutShort";
    default: return "notWritten";
    }
}

// A file's path, size and digest.
std::string FileEntry(const std::string& path)
{
    std::string digest;
    std::uint64_t size = 0;
    const bool read = archive::HashFile(path, digest, size);
    if (!read)
        Error(PathForTerminal(path) + ": could not be read for its SHA-256");
    return JsonPathMembers("path", Absolute(path)) + ",\"size\":" + (read ? std::to_string(size) : "null") +
           ",\"sha256\":" + Quoted(read ? digest : "");
}

} // namespace

std::string ManifestHead(const std::string& mailPath, const dbx::DbxFile& file)
{
    const platform::SystemTime now = platform::GetSystemTime();
    platform::FileTime nowTicks = 0;
    platform::SystemTimeToFileTime(now, nowTicks);
    std::string json = "{\n\"tool\":\"" + std::string(kProgram) + " " + QUILLMEND_VERSION + "\",\n\"written\":" + Quoted(IsoUtc(nowTicks)) + ",\n";
    json += "\"mailFile\":{" + FileEntry(mailPath) + ",\"emailsFound\":" + std::to_string(file.GetCount()) + "},\n";
    return json;
}

std::string ManifestPath(const std::string& key, const std::string& path)
{
    return JsonPathMembers(key, Absolute(path));
}

std::string ManifestDate(std::uint64_t utc)
{
    return Quoted(IsoUtc(utc));
}

bool WriteManifestFile(const std::string& path, const std::string& json)
{
    platform::FolderSync sync;
    sync.Open(FolderOf(path));
    platform::ExclusiveFile out;
    if (!out.Create(path) || !out.Write(json.data(), json.size()) || !out.Commit()) {
        Error(PathForTerminal(path) + ": the manifest could not be written");
        return false;
    }
    if (!sync.Sync()) {
        Error(PathForTerminal(path) + ": the manifest could not be flushed to the disk");
        return false;
    }
    return true;
}

bool WriteManifest(const std::string& path, const std::string& mailPath, const dbx::DbxFile& file,
                   const ManifestOutput& output, const std::vector<SavedEmail>& saved)
{
    std::string json = ManifestHead(mailPath, file);
    // An mbox that holds no e-mail is removed: nothing to describe but its name.
    std::error_code ec;
    if (!output.mbox.empty() && !std::filesystem::exists(platform::ToFsPath(output.mbox), ec))
        json += "\"mbox\":{\"path\":" + JsonString(Absolute(output.mbox)) + ",\"size\":null,\"sha256\":null},\n";
    else if (!output.mbox.empty())
        json += "\"mbox\":{" + FileEntry(output.mbox) + "},\n";
    else
        json += ManifestPath("folder", output.folder) + ",\n";
    json += "\"emails\":[";
    for (std::size_t k = 0; k < saved.size(); ++k) {
        const SavedEmail& email = saved[k];
        const dbx::EmailRecord& record = *file.GetAt(email.index);
        json += k == 0 ? "\n" : ",\n";
        json += "{\"index\":" + std::to_string(email.index);
        json += ",\"status\":";
        json += record.isDeleted ? "\"Deleted\"" : "\"Existing\"";
        json += ",\"blocks\":[";
        for (std::size_t b = 0; b < record.blocks.size(); ++b) {
            if (b > 0)
                json += ',';
            json += std::to_string(record.blocks[b].offset);
        }
        json += "],\"size\":" + std::to_string(file.MessageSize(email.index));
        json += ",\"date\":" + ManifestDate(email.dateUtc);
        json += ",\"result\":\"" + std::string(ManifestResultName(email.result)) + "\"";
        const bool written = email.result != dbx::DbxFile::WriteResult::kNotCreated;
        if (!output.mbox.empty()) {
            json += ",\"mboxOffset\":" + (written ? std::to_string(email.mboxOffset) : "null");
            json += ",\"mboxLength\":" + (written ? std::to_string(email.mboxLength) : "null");
        } else {
            const std::string name = platform::FromFsPath(platform::ToFsPath(email.savedAs).filename());
            json += "," + (written ? JsonPathMembers("savedName", name) : std::string("\"savedName\":null"));
            json += ",\"mtimeSet\":";
            json += email.mtimeSet ? "true" : "false";
        }
        json += ",\"sha256\":" + Quoted(email.sha256) + "}";
    }
    json += "\n]\n}\n";
    return WriteManifestFile(path, json);
}

} // namespace cli
