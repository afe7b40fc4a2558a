#include "tools/dbxgen/CarveImages.h"

#include "tools/dbxgen/MailboxBuilder.h"
#include "tools/dbxgen/OeLayout.h"
#include "tools/dbxgen/Prng.h"
#include "tools/dbxgen/RandomMail.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace dbxgen {

namespace {

// Messages longer than this are passed over, so that test files stay small
// but still hold multi-block text, HTML and Base64 attachments.
constexpr std::size_t kLongestMessage = 48 * 1024;

std::string Noise(Prng& prng, std::size_t n)
{
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; i += 8) {
        const std::uint64_t v = prng.Next();
        std::memcpy(s.data() + i, &v, std::min<std::size_t>(8, n - i));
    }
    // No 4-aligned word may read as a block size, so no header appears.
    for (std::size_t i = 0; i + 4 <= n; i += 4) {
        std::uint32_t w;
        std::memcpy(&w, s.data() + i, 4);
        if (w == oe::kLiveBlockSize || w == oe::kFreedFieldSize) {
            w ^= 0x5A5A0000u;
            std::memcpy(s.data() + i, &w, 4);
        }
    }
    return s;
}

std::string Quote(const std::string& s)
{
    std::string q = "'";
    for (const char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs a shell command; "" when it succeeded, else the command. The file
// system images need the Linux tools (mtools, mkfs.ext4); the status is the
// shell's as std::system gives it (on POSIX systems the exit code times 256),
// so that this file builds for Windows too, where the other images are made.
std::string Run(const std::string& command)
{
    const int status = std::system((command + " >/dev/null 2>&1").c_str());
    if (status != 0)
        return "failed (status " + std::to_string(status) + "): " + command;
    return {};
}

const MailFile* Named(const std::vector<MailFile>& files, const std::string& name)
{
    for (const MailFile& f : files)
        if (f.name == name)
            return &f;
    return nullptr;
}

bool WriteBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

bool MakeSparse(const std::string& path, std::uint64_t size)
{
    std::error_code ec;
    std::ofstream(path, std::ios::binary | std::ios::trunc);
    std::filesystem::resize_file(path, size, ec);
    return !ec;
}

} // namespace

std::vector<MailFile> MakeMailFiles(int count, std::size_t size, std::uint64_t seed)
{
    std::vector<MailFile> files;
    for (int i = 0; i < count; ++i) {
        MailboxBuilder builder(seed * 131 + static_cast<std::uint64_t>(i));
        builder.Options().folderName = "Folder " + std::to_string(i);
        RandomMail mail(seed * 7919 + static_cast<std::uint64_t>(i));
        Prng prng(seed * 104729 + static_cast<std::uint64_t>(i));
        std::size_t used = oe::kMiddleSectorStart;
        while (used < size) {
            MailMessage message = mail.Next();
            if (message.text.size() > kLongestMessage)
                continue;
            used += (message.text.size() / oe::kBlockBodySize + 1) * oe::kBlockSpan;
            builder.Add(std::move(message), prng.Chance(0.25));
        }
        files.push_back({"Folder" + std::to_string(i) + ".dbx", builder.Build().Image().Bytes()});
    }
    return files;
}

FragmentedImage MakeFragmentedImage(const std::vector<MailFile>& files, std::uint32_t cluster, std::uint64_t seed)
{
    Prng prng(seed);
    std::vector<PiecePlacement> pieces;
    for (std::size_t f = 0; f < files.size(); ++f) {
        const std::uint64_t length = files[f].bytes.size();
        const std::uint64_t clusters = (length + cluster - 1) / cluster;
        const std::uint64_t count = std::min<std::uint64_t>(prng.Range(2, 8), clusters);
        // Distinct cuts at cluster boundaries inside the file.
        std::vector<std::uint64_t> cuts;
        while (cuts.size() + 1 < count) {
            const std::uint64_t cut = prng.Range(1, clusters - 1) * cluster;
            if (std::find(cuts.begin(), cuts.end(), cut) == cuts.end())
                cuts.push_back(cut);
        }
        std::sort(cuts.begin(), cuts.end());
        cuts.insert(cuts.begin(), 0);
        cuts.push_back(length);
        for (std::size_t k = 0; k + 1 < cuts.size(); ++k)
            pieces.push_back({f, cuts[k], cuts[k + 1] - cuts[k], 0});
    }
    prng.Shuffle(pieces);

    FragmentedImage image;
    image.bytes = Noise(prng, cluster * prng.Range(1, 8));
    for (PiecePlacement& piece : pieces) {
        piece.position = image.bytes.size();
        image.bytes += files[piece.file].bytes.substr(piece.fileOffset, piece.length);
        const std::uint64_t padded = (piece.length + cluster - 1) / cluster * cluster;
        image.bytes += Noise(prng, padded - piece.length + cluster * prng.Range(0, 6));
    }
    image.pieces = std::move(pieces);
    return image;
}

bool WriteLargeImage(const std::string& path, std::uint64_t size, const std::vector<MailFile>& files,
                     std::uint32_t cluster, std::uint64_t seed)
{
    // The pieces, each at a random free cluster of its own stretch of the
    // image, so that they never overlap.
    const FragmentedImage plan = MakeFragmentedImage(files, cluster, seed);
    Prng prng(seed ^ 0x4C41524745ull);
    const std::uint64_t stretch = size / (plan.pieces.size() + 1) / cluster * cluster;
    std::vector<std::pair<std::uint64_t, const PiecePlacement*>> at;
    for (std::size_t k = 0; k < plan.pieces.size(); ++k) {
        const PiecePlacement& p = plan.pieces[k];
        const std::uint64_t room = stretch > p.length + cluster ? (stretch - p.length) / cluster : 1;
        at.emplace_back((k + 1) * stretch + prng.Below(room) * cluster, &p);
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    constexpr std::size_t kChunk = 8u << 20;
    std::string chunk;
    std::size_t next = 0;
    for (std::uint64_t pos = 0; pos < size && out;) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, size - pos));
        // Half noise, half zeros, as a used disk holds both.
        chunk = (pos / kChunk) % 2 ? std::string(n, '\0') : Noise(prng, n);
        while (next < at.size() && at[next].first < pos + n) {
            const PiecePlacement& p = *at[next].second;
            const std::string& bytes = files[p.file].bytes;
            const std::uint64_t begin = at[next].first;
            for (std::uint64_t b = std::max(begin, pos); b < std::min(begin + p.length, pos + n); ++b)
                chunk[static_cast<std::size_t>(b - pos)] = bytes[static_cast<std::size_t>(p.fileOffset + (b - begin))];
            if (begin + p.length > pos + n)
                break;  // the rest goes into the next chunk
            ++next;
        }
        out.write(chunk.data(), static_cast<std::streamsize>(n));
        pos += n;
    }
    return static_cast<bool>(out.flush());
}

std::string MakeFat32Image(const std::string& path, std::uint64_t size, const std::vector<MailFile>& files,
                           const std::vector<FsStep>& steps)
{
    const std::string staging = path + ".files";
    std::filesystem::create_directories(staging);
    if (!MakeSparse(path, size))
        return "cannot create " + path;
    const std::string image = " -i " + Quote(path) + " ";
    // MTOOLS_SKIP_CHECK: an image file has no partition table to check.
    const std::string mtools = "MTOOLS_SKIP_CHECK=1 ";
    std::string error = Run(mtools + "mformat" + image + "-F -c 1 -v CARVE ::");
    for (const FsStep& step : steps) {
        if (!error.empty())
            break;
        if (step.remove) {
            error = Run(mtools + "mdel" + image + Quote("::" + step.name));
            continue;
        }
        const MailFile* file = Named(files, step.name);
        if (!file)
            return "no file named " + step.name;
        const std::string local = staging + "/" + step.name;
        if (!WriteBytes(local, file->bytes))
            return "cannot write " + local;
        error = Run(mtools + "mcopy" + image + Quote(local) + " " + Quote("::" + step.name));
    }
    std::error_code ec;
    std::filesystem::remove_all(staging, ec);
    return error;
}

std::string MakeExt4Image(const std::string& path, std::uint64_t size, const std::vector<MailFile>& files,
                          const std::vector<FsStep>& steps)
{
    const std::string staging = path + ".files";
    const std::string root = staging + "/root";
    std::filesystem::create_directories(root);
    // The files copied before anything is deleted go in with the file system.
    std::size_t first = 0;
    for (; first < steps.size() && !steps[first].remove; ++first) {
        const MailFile* file = Named(files, steps[first].name);
        if (!file || !WriteBytes(root + "/" + file->name, file->bytes))
            return "cannot stage " + steps[first].name;
    }
    std::filesystem::remove(path);
    std::string error = Run("mke2fs -q -F -t ext4 -b 4096 -d " + Quote(root) + " " + Quote(path) + " " +
                            std::to_string(size / 1024) + "k");
    for (std::size_t k = first; k < steps.size() && error.empty(); ++k) {
        const FsStep& step = steps[k];
        std::string request;
        if (step.remove) {
            request = "rm " + step.name;
        } else {
            const MailFile* file = Named(files, step.name);
            const std::string local = staging + "/" + step.name;
            if (!file || !WriteBytes(local, file->bytes))
                return "cannot stage " + step.name;
            request = "write " + local + " " + step.name;
        }
        error = Run("debugfs -w -R " + Quote(request) + " " + Quote(path));
    }
    std::error_code ec;
    std::filesystem::remove_all(staging, ec);
    return error;
}

void OverwriteStart(MailFile& file, std::size_t length, std::uint64_t seed)
{
    Prng prng(seed);
    length = std::min(length, file.bytes.size());
    file.bytes.replace(0, length, Noise(prng, length));
}

MovedEmailFile MakeMovedEmailFile(std::uint64_t seed)
{
    MailboxBuilder builder(seed);
    RandomMail mail(seed * 3 + 1);
    // A filler first, whose text lists nothing: the moved copy lands on it.
    std::string filler = "X-Filler: space\r\n\r\n";
    while (filler.size() < 40 * 1024)
        filler += "------------------------------------------------------------\r\n";
    builder.AddText(filler);
    for (int i = 0; i < 12;) {
        MailMessage message = mail.Next();
        if (message.text.size() > kLongestMessage / 2)
            continue;
        builder.Add(std::move(message), i % 4 == 3);
        ++i;
    }
    MailMessage target;
    do
        target = mail.Next();
    while (target.text.size() < 3 * oe::kBlockBodySize || target.text.size() > 30 * 1024);
    const std::string subject = target.subject;
    const int id = builder.Add(std::move(target));
    const Mailbox box = builder.Build();

    MovedEmailFile result;
    result.original = {"Moved.dbx", box.Image().Bytes()};
    result.movedSubject = subject;
    const ExpectedMessage& moved = box.Messages()[static_cast<std::size_t>(id)];
    const ExpectedMessage& space = box.Messages()[0];
    const std::uint32_t from = moved.placed.front();
    const std::uint32_t span = static_cast<std::uint32_t>(moved.placed.size()) * oe::kBlockSpan;
    if (moved.placed.back() != from + span - oe::kBlockSpan || space.placed.size() < moved.placed.size())
        throw std::logic_error("the moved message must lie in one run and fit the filler");
    std::string bytes = result.original.bytes;
    const std::uint32_t to = space.placed.front();
    bytes.replace(to, span, result.original.bytes.substr(from, span));
    Prng prng(seed ^ 0x4D4F5645ull);
    bytes.replace(from, span, Noise(prng, span));
    result.file = {"Moved.dbx", std::move(bytes)};
    return result;
}

} // namespace dbxgen
