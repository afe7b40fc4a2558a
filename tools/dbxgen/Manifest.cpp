#include "tools/dbxgen/Manifest.h"

#include "tools/dbxgen/MimeText.h"

#include <cstdio>
#include <fstream>

namespace dbxgen {

std::string JsonString(const std::string& text)
{
    std::string out = "\"";
    for (char ch : DisplayUtf8(text)) {
        const auto c = static_cast<unsigned char>(ch);
        if (ch == '"' || ch == '\\') {
            out.push_back('\\');
            out.push_back(ch);
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out.push_back(ch);
        }
    }
    return out + "\"";
}

Manifest Manifest::FromMailbox(const Mailbox& box, std::string fileName)
{
    Manifest manifest(std::move(fileName), box.Image().Size());
    auto entry = [](const ExpectedMessage& m, bool recovered) {
        ManifestEntry e;
        e.id = m.id;
        e.deleted = m.deleted;
        e.recovered = recovered;
        e.blocks = m.blocks;
        e.size = m.text.size();
        e.textLength = m.textLength;
        e.from = m.from;
        e.to = m.to;
        e.subject = m.subject;
        e.hasAttachment = m.hasAttachment;
        return e;
    };
    const auto order = box.RecoveryOrder();
    for (const ExpectedMessage* m : order)
        manifest.Add(entry(*m, true));
    for (const auto& m : box.Messages())
        if (!m.startsChain || m.blocks.empty())
            manifest.Add(entry(m, false));
    return manifest;
}

void Manifest::Write(std::ostream& out) const
{
    std::size_t deleted = 0;
    for (const auto& e : entries_)
        deleted += e.deleted;
    out << "{\n  \"file\": " << JsonString(fileName_) << ",\n  \"fileSize\": " << fileSize_
        << ",\n  \"messageCount\": " << entries_.size() << ",\n  \"deletedCount\": " << deleted
        << ",\n  \"messages\": [";
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const auto& e = entries_[i];
        out << (i ? ",\n" : "\n") << "    {\"id\": " << e.id << ", \"status\": \""
            << (e.deleted ? "Deleted" : "Existing") << "\", \"deleted\": " << (e.deleted ? "true" : "false")
            << ", \"recovered\": " << (e.recovered ? "true" : "false") << ",\n     \"from\": "
            << JsonString(e.from) << ",\n     \"to\": " << JsonString(e.to)
            << ",\n     \"subject\": " << JsonString(e.subject)
            << ",\n     \"hasAttachment\": " << (e.hasAttachment ? "true" : "false")
            << ", \"size\": " << e.size << ", \"textLength\": " << e.textLength << ",\n     \"blocks\": [";
        for (std::size_t k = 0; k < e.blocks.size(); ++k)
            out << (k ? (k % 16 ? ", " : ",\n                ") : "") << e.blocks[k];
        out << "]}";
    }
    out << (entries_.empty() ? "]\n}\n" : "\n  ]\n}\n");
}

bool Manifest::WriteTo(const std::string& path) const
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        return false;
    Write(out);
    out.flush();
    return static_cast<bool>(out);
}

} // namespace dbxgen
