#include "tools/dbxgen/RandomMail.h"

#include "tools/dbxgen/MimeText.h"
#include "tools/dbxgen/SampleFiles.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace dbxgen {

namespace {

const char* const kWords[] = {
    "the", "report", "meeting", "we", "should", "agree", "on", "a", "date", "for", "next",
    "quarter", "budget", "please", "send", "me", "your", "figures", "by", "Friday", "and",
    "let", "know", "if", "anything", "changes", "customer", "asked", "about", "delivery",
    "of", "order", "invoice", "was", "paid", "last", "week", "thanks", "help", "with",
    "project", "plan", "is", "attached", "review", "draft", "before", "call", "tomorrow",
    "team", "will", "travel", "to", "office", "in", "March", "new", "prices", "apply", "from",
    "contract", "signed", "copy", "our", "records", "schedule", "moved", "afternoon",
};

std::string MakeTextPool(Prng& prng, std::size_t size)
{
    std::string pool;
    pool.reserve(size + 200);
    std::size_t line = 0;
    bool sentenceStart = true;
    while (pool.size() < size) {
        std::string w = kWords[prng.Below(std::size(kWords))];
        if (sentenceStart && w[0] >= 'a' && w[0] <= 'z')
            w[0] = static_cast<char>(w[0] - 'a' + 'A');
        sentenceStart = prng.Chance(0.08);
        if (sentenceStart)
            w += '.';
        if (line + w.size() + 1 > 72) {
            pool += prng.Chance(0.15) ? "\r\n\r\n" : "\r\n";
            line = 0;
        } else if (line) {
            pool += ' ';
            ++line;
        }
        pool += w;
        line += w.size();
    }
    return pool + "\r\n";
}

} // namespace

RandomMail::RandomMail(std::uint64_t seed, double attachmentShare, SizeMix sizes)
    : prng_(seed), clock_(UnixFromCivil(2002, 1, 7, 8, 0, 0)),
      attachmentPercent_(static_cast<std::uint64_t>(std::clamp(attachmentShare, 0.0, kUsualAttachmentShare) * 100 + 0.5)),
      sizes_(sizes)
{
    const char* const first[] = {"Anna", "Tom", "Maria", "Peter", "Olga", "James", "Chen", "Sofia",
                                 "Luca", "Emma", "Jan", "Fatima", "Pierre", "Ingrid", "Kenji"};
    const char* const last[] = {"Kowalski", "Becker", "Rossi", "Novak", "Smith", "Dubois",
                                "Larsen", "Ivanova", "Tanaka", "Garcia", "Meyer", "Brown"};
    const char* const domains[] = {"example.com", "example.org", "example.net", "mail.example.de",
                                   "corp.example.co.uk"};
    Prng cast(seed ^ 0xCA57);
    for (int i = 0; i < 40; ++i) {
        const std::string f = first[cast.Below(std::size(first))];
        const std::string l = last[cast.Below(std::size(last))];
        std::string lower = f + "." + l;
        for (char& c : lower)
            c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        people_.push_back({f + " " + l, lower + "@" + domains[cast.Below(std::size(domains))]});
    }
    people_.push_back({EncodedWordB("koi8-r", FromUtf8("Ольга Петрова", Charset::Koi8R)), "olga@example.ru"});
    people_.push_back({EncodedWordQ("ISO-8859-1", FromUtf8("Jürgen Müller", Charset::Latin1)), "j.mueller@example.de"});

    subjects_ = {
        "Meeting notes", "Re: Budget for next quarter", "Invoice 2231", "Fw: Delivery schedule",
        "Project plan - draft 3", "Re: Re: Contract", "Travel to the Lyon office", "Price list",
        "Weekly report", "Question about your order", "Lunch?", "Minutes", "Re: Figures",
        EncodedWordB("UTF-8", "Grüße aus München – Termine"),
        EncodedWordB("windows-1251", FromUtf8("Счёт на оплату", Charset::Windows1251)),
        EncodedWordQ("ISO-8859-1", FromUtf8("Réunion à Genève", Charset::Latin1)),
        FromUtf8("Angebot für Büromöbel – 15 % Rabatt", Charset::Windows1252),
    };
    textPool_ = MakeTextPool(prng_, 256 * 1024);
    noisePool_ = RandomBytes(prng_, 1200 * 1024);
    png_ = MakePng(120, 80, 0xF39C12);
}

std::string RandomMail::TextSlice(std::size_t bytes)
{
    // Whole lines, starting at a random line of the pool.
    bytes = std::min(bytes, textPool_.size() / 2);
    const std::size_t from = textPool_.find("\r\n", prng_.Below(textPool_.size() - bytes - 100)) + 2;
    std::size_t end = textPool_.find("\r\n", from + bytes);
    end = end == std::string::npos ? textPool_.size() : end + 2;
    return textPool_.substr(from, end - from);
}

std::string RandomMail::HtmlFrom(const std::string& text)
{
    std::string html = "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\">\r\n"
                       "<HTML><HEAD></HEAD>\r\n<BODY bgColor=#ffffff>\r\n<DIV><FONT face=Arial size=2>";
    html.reserve(text.size() * 5 / 4 + 200);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 4, "\r\n\r\n") == 0) {
            html += "</FONT></DIV>\r\n<DIV><FONT face=Arial size=2>";
            i += 3;
        } else {
            html.push_back(text[i]);
        }
    }
    return html + "</FONT></DIV></BODY></HTML>\r\n";
}

MailMessage RandomMail::Next()
{
    ++serial_;
    clock_ += static_cast<std::int64_t>(prng_.LogRange(60, 30000));
    const Person& from = prng_.Pick(people_);
    const Person* to = &prng_.Pick(people_);
    if (to == &from)
        to = &people_[(static_cast<std::size_t>(to - people_.data()) + 1) % people_.size()];
    char id[64];
    std::snprintf(id, sizeof id, "%06llx%08llx$%04x@mail", static_cast<unsigned long long>(serial_),
                  static_cast<unsigned long long>(clock_), static_cast<unsigned>(prng_.Below(0x10000)));

    MessageMaker mk;
    mk.From(from).To(*to).Subject(prng_.Pick(subjects_)).Date(clock_, 60 * static_cast<int>(prng_.Range(0, 4)) - 120)
        .MessageId(id).ReceivedBy("pop.example.com");
    if (prng_.Chance(0.1))
        mk.Cc(prng_.Pick(people_));

    // Text sizes of each kind and the attachments' total: the real mix
    // draws the same numbers from narrower ranges.
    const bool real = sizes_ == SizeMix::kReal;
    const auto size = [&](std::uint64_t lo, std::uint64_t hi, std::uint64_t realLo, std::uint64_t realHi) {
        return real ? prng_.LogRange(realLo, realHi) : prng_.LogRange(lo, hi);
    };
    std::uint64_t kind = prng_.Below(100);
    // The attachment band is 80..94; what a smaller share leaves of it is
    // plain text, so the draws (and the default mailbox) stay the same.
    if (kind >= 80 + attachmentPercent_ && kind < 95)
        kind = 0;
    if (kind < 50) { // plain text
        mk.Plain(TextSlice(size(200, 12000, 1500, 18000)));
    } else if (kind < 75) { // plain and HTML
        const std::string text = TextSlice(size(800, 16000, 700, 7000));
        mk.Plain(text, "iso-8859-1", Transfer::QuotedPrintable).Html(HtmlFrom(text), "iso-8859-1");
    } else if (kind < 80) { // HTML only
        mk.Html(HtmlFrom(TextSlice(size(1500, 30000, 1500, 14000))), "iso-8859-1");
    } else if (kind < 95) { // with attachments
        mk.Plain(TextSlice(size(200, 3000, 400, 3000)));
        static const char* const types[][2] = {
            {"application/pdf", "pdf"}, {"application/zip", "zip"}, {"application/msword", "doc"},
            {"application/vnd.ms-excel", "xls"}, {"image/jpeg", "jpg"}};
        const int files = prng_.Chance(0.2) ? 2 : 1;
        for (int f = 0; f < files; ++f) {
            const auto& type = types[prng_.Below(std::size(types))];
            const std::size_t bytes = size(8 * 1024, 700 * 1024 / static_cast<std::size_t>(files), 8 * 1024,
                                           200 * 1024 / static_cast<std::size_t>(files));
            const std::size_t at = prng_.Below(noisePool_.size() - bytes);
            mk.Attach({"file" + std::to_string(serial_) + "-" + std::to_string(f) + "." + type[1], type[0],
                       noisePool_.substr(at, bytes), ""});
        }
    } else { // HTML with an inline image
        const std::string text = TextSlice(size(300, 4000, 800, 4000));
        const std::string cid = "image" + std::to_string(serial_) + "@01C5A1B2.00000000";
        mk.Plain(text).Html("<HTML><BODY>" + text + "<IMG src=\"cid:" + cid + "\"></BODY></HTML>\r\n")
            .Inline({"image.png", "image/png", png_, cid});
    }
    return mk.Make();
}

} // namespace dbxgen
