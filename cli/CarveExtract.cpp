#include "cli/CarveParts.h"
#include "cli/CliCommon.h"

#include "archive/Sha256.h"
#include "platform/Directory.h"
#include "platform/FileTime.h"
#include "platform/Files.h"
#include "platform/FsPath.h"
#include "platform/SparseFile.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>

namespace cli {

namespace {

std::string Absolute(const std::string& path)
{
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(platform::ToFsPath(path), ec);
    return ec ? path : platform::FromFsPath(absolute.lexically_normal());
}

std::string NowUtc()
{
    const platform::SystemTime t = platform::GetSystemTime();
    char text[48];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02uZ", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return text;
}

// "former03-at-1258496.dbx": the order and where the file began.
std::string FileName(std::size_t index, std::int64_t start)
{
    char name[64];
    std::snprintf(name, sizeof name, "former%02zu-at-%lld.dbx", index, static_cast<long long>(start));
    return name;
}

// Writes the pieces of `carved` at their own offsets; false on any failure.
bool WriteFormerFile(const dbx::CarvedFile& carved, const std::string& path)
{
    platform::SparseFile out;
    if (!out.Create(path))
        return false;
    const dbx::ByteSource& view = carved.File().Source();
    constexpr std::size_t kChunk = 1 << 20;
    auto buffer = std::make_unique<char[]>(kChunk);
    for (const dbx::Piece& piece : carved.Pieces()) {
        for (std::uint64_t at = piece.from; at < piece.to;) {
            const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, piece.to - at));
            const std::size_t got = view.Read(at, buffer.get(), want);
            if (got != want || !out.WriteAt(at, buffer.get(), got)) {
                out.Discard();
                return false;
            }
            at += got;
        }
    }
    return out.Finish(carved.Extent());
}

// Where each block the file's e-mails use lay in the image: [offset, position].
std::string BlockList(const dbx::CarvedFile& carved)
{
    std::set<std::uint32_t> offsets;
    for (const dbx::EmailRecord& r : carved.File().Records())
        for (const dbx::BlockRef& b : r.blocks)
            offsets.insert(b.offset);
    std::string out = "[";
    for (const std::uint32_t offset : offsets) {
        std::uint64_t position = 0;
        if (!carved.PositionOf(offset, position))
            continue;
        out += (out.size() > 1 ? ",[" : "[") + std::to_string(offset) + "," + std::to_string(position) + "]";
    }
    return out + "]";
}

} // namespace

bool ExtractFormerFiles(const dbx::Carver& carver, const std::string& imagePath, const std::string& imageSha256,
                        const std::string& folder)
{
    std::error_code ec;
    std::filesystem::create_directories(platform::ToFsPath(folder), ec);
    if (!std::filesystem::is_directory(platform::ToFsPath(folder), ec)) {
        Error(ForTerminal(folder) + ": cannot create this folder");
        return false;
    }
    const std::string manifestPath = platform::ChildPath(folder, "manifest.json");
    if (std::filesystem::exists(std::filesystem::symlink_status(platform::ToFsPath(manifestPath), ec))) {
        Error(ForTerminal(manifestPath) + ": already exists; a manifest is never replaced");
        return false;
    }
    const dbx::CarveCounts& k = carver.Counts();
    std::string json = "{\n\"tool\":\"" + std::string(kProgram) + " " + QUILLMEND_VERSION + "\",\n\"written\":\"" +
                       NowUtc() + "\",\n\"image\":{\"path\":" + JsonString(Absolute(imagePath)) + ",\"size\":" +
                       std::to_string(k.imageSize) + ",\"bytesRead\":" + std::to_string(k.bytesRead) + ",\"sha256\":" +
                       (imageSha256.empty() ? std::string("null") : "\"" + imageSha256 + "\"") +
                       ",\"unreadableSectors\":" + std::to_string(k.unreadableSectors) + "},\n\"files\":[";
    bool allWritten = true;
    const auto& files = carver.Files();
    for (std::size_t f = 0; f < files.size(); ++f) {
        const dbx::CarvedFile& c = *files[f];
        const std::string name = FileName(f, c.Start());
        const std::string path = platform::ChildPath(folder, name);
        const bool written = WriteFormerFile(c, path);
        if (written) {
            std::fprintf(stderr, "%zu\t%s\n", f, ForTerminal(path).c_str());
        } else {
            Error("could not write former mail file " + std::to_string(f) + " as " + ForTerminal(path) +
                  " (it exists, or the disk is full)");
            allWritten = false;
        }
        json += f == 0 ? "\n" : ",\n";
        json += "{\"index\":" + std::to_string(f) + ",\"name\":" + (written ? JsonString(name) : std::string("null")) +
                ",\"start\":" + std::to_string(c.Start()) + ",\"extent\":" + std::to_string(c.Extent()) +
                ",\"emails\":" + std::to_string(c.File().GetCount()) + ",\"pieces\":[";
        for (std::size_t p = 0; p < c.Pieces().size(); ++p) {
            const dbx::Piece& piece = c.Pieces()[p];
            json += (p ? ",{" : "{") + std::string("\"from\":") + std::to_string(piece.from) + ",\"to\":" +
                    std::to_string(piece.to) + ",\"position\":" + std::to_string(piece.Position(piece.from)) +
                    ",\"shift\":" + std::to_string(piece.shift) + "}";
        }
        json += "],\"blocks\":" + BlockList(c) + "}";
    }
    json += "\n]\n}\n";
    platform::ExclusiveFile manifest;
    if (!manifest.Create(manifestPath) || !manifest.Write(json.data(), json.size()) || !manifest.Commit()) {
        Error(ForTerminal(manifestPath) + ": the manifest could not be written");
        return false;
    }
    if (!platform::SyncFolder(folder)) {
        Error(ForTerminal(folder) + ": the files could not be flushed to the disk");
        return false;
    }
    return allWritten;
}

} // namespace cli
