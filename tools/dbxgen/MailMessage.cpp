#include "tools/dbxgen/MailMessage.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace dbxgen {

namespace {

bool NameIs(std::string_view line, std::string_view name)
{
    if (line.size() <= name.size() || line[name.size()] != ':')
        return false;
    for (std::size_t i = 0; i < name.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(line[i]))
            != std::tolower(static_cast<unsigned char>(name[i])))
            return false;
    return true;
}

std::string Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return std::string(s);
}

void SplitMailbox(const std::string& value, std::string& name, std::string& address)
{
    const auto lt = value.find('<');
    const auto gt = value.find('>', lt == std::string::npos ? 0 : lt);
    if (lt == std::string::npos || gt == std::string::npos) {
        name.clear();
        address = Trim(value.substr(0, value.find(',')));
        return;
    }
    address = value.substr(lt + 1, gt - lt - 1);
    name = Trim(std::string_view(value).substr(0, lt));
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
        name = name.substr(1, name.size() - 2);
}

} // namespace

MailMessage MailMessage::FromText(std::string text)
{
    MailMessage m;
    m.text = std::move(text);
    const std::string_view all(m.text);
    const std::size_t headerEnd = std::min(all.find("\r\n\r\n"), all.size());
    std::size_t pos = 0;
    while (pos < headerEnd) {
        std::size_t eol = all.find("\r\n", pos);
        if (eol == std::string_view::npos || eol > headerEnd)
            eol = headerEnd;
        const std::string_view line = all.substr(pos, eol - pos);
        auto value = [&](std::string_view name) { return Trim(line.substr(name.size() + 1)); };
        if (NameIs(line, "From"))
            m.from = value("From");
        else if (NameIs(line, "To"))
            m.to = value("To");
        else if (NameIs(line, "Subject"))
            m.subject = value("Subject");
        else if (NameIs(line, "Message-ID"))
            m.messageId = value("Message-ID");
        pos = eol + 2;
    }
    SplitMailbox(m.from, m.senderName, m.senderAddress);
    SplitMailbox(m.to, m.receiverName, m.receiverAddress);
    m.hasAttachment = all.find("Content-Disposition: attachment") != std::string_view::npos;
    return m;
}

} // namespace dbxgen
