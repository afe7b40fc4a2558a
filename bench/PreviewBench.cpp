// The preview's cost: rendering a stored message, and laying the result out
// in the view. Hostile shapes must stay linear in their size and well under
// a few seconds at the largest size the renderer lets through.

#include "render/HtmlSanitizer.h"
#include "render/RenderMessage.h"

#include <QApplication>
#include <QTextBrowser>
#include <QTextDocument>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <malloc.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

std::string TypicalMessage()
{
    std::string html = "<html><body><table width=600>";
    for (int i = 0; i < 200; ++i)
        html += "<tr><td><b>Item " + std::to_string(i) + "</b></td><td style=\"color:#333\">A line of "
            "ordinary newsletter text with <a href=\"http://example.com/" + std::to_string(i) + "\">a link</a>."
            "</td></tr>";
    html += "</table><img src=\"cid:logo@x\"></body></html>";
    std::string attachment;
    for (int i = 0; i < 400; ++i)
        attachment += "QUJDREVGR0hJSktMTU5PUFFSU1RVVldYWVphYmNkZWZnaGlqa2xtbm9wcXJzdHV2d3h5ejAxMjM0NTY3\r\n";
    return "From: a@example.com\r\nTo: b@example.com\r\nSubject: =?utf-8?Q?Newsletter_=E2=80=93_May?=\r\n"
           "Content-Type: multipart/mixed; boundary=m\r\n\r\n--m\r\n"
           "Content-Type: multipart/related; boundary=r\r\n\r\n--r\r\nContent-Type: text/html; charset=utf-8\r\n\r\n"
        + html + "\r\n--r\r\nContent-Type: image/gif\r\nContent-ID: <logo@x>\r\nContent-Transfer-Encoding: base64\r\n\r\n"
                 "R0lGODlhAQABAIAAAP///wAAACH5BAEAAAAALAAAAAABAAEAAAICRAEAOw==\r\n--r--\r\n"
                 "--m\r\nContent-Type: application/pdf; name=a.pdf\r\nContent-Transfer-Encoding: base64\r\n\r\n"
        + attachment + "--m--\r\n";
}

// Many boundary-like lines inside 1000 nested multiparts.
std::string HostileNesting(int lines)
{
    std::string message = "Content-Type: multipart/mixed; boundary=b0\r\n\r\n";
    for (int i = 0; i < 1000; ++i)
        message += "--b" + std::to_string(i) + "\r\nContent-Type: multipart/mixed; boundary=b" + std::to_string(i + 1)
            + "\r\n\r\n";
    for (int i = 0; i < lines; ++i)
        message += "--x\r\n";
    return message;
}

void BM_RenderTypicalMessage(benchmark::State& state)
{
    const std::string message = TypicalMessage();
    for (auto _ : state)
        benchmark::DoNotOptimize(render::RenderMessage(message));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * message.size()));
}
BENCHMARK(BM_RenderTypicalMessage)->Unit(benchmark::kMicrosecond);

// Where the engine says a deleted e-mail's bytes were overwritten: the
// first four of every 512.
dbx::TextDamage EveryBlock(const std::string& message)
{
    dbx::TextDamage damage;
    damage.paddedEnd = true;
    for (std::size_t at = 0; at < message.size(); at += 512)
        damage.overwritten.push_back({at, 4});
    return damage;
}

// The same message deleted: read around a gap in every block.
void BM_RenderDeletedMessage(benchmark::State& state)
{
    std::string message = TypicalMessage();
    const dbx::TextDamage damage = EveryBlock(message);
    for (const auto& range : damage.overwritten)
        message.replace(range.offset, range.length, std::string(range.length, ' '));
    for (auto _ : state)
        benchmark::DoNotOptimize(render::RenderMessage(message, damage));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * message.size()));
}
BENCHMARK(BM_RenderDeletedMessage)->Unit(benchmark::kMicrosecond);

// Hostile nesting with a gap in every block: the repair walks the structure
// too, and must stay within the parser's bound.
void BM_RenderDeletedHostileNesting(benchmark::State& state)
{
    const std::string message = HostileNesting(static_cast<int>(state.range(0)));
    const dbx::TextDamage damage = EveryBlock(message);
    for (auto _ : state)
        benchmark::DoNotOptimize(render::RenderMessage(message, damage));
}
BENCHMARK(BM_RenderDeletedHostileNesting)->Arg(50'000)->Arg(200'000)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_RenderHostileNesting(benchmark::State& state)
{
    const std::string message = HostileNesting(static_cast<int>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(render::RenderMessage(message));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_RenderHostileNesting)->Arg(50'000)->Arg(100'000)->Arg(200'000)->Unit(benchmark::kMillisecond)
    ->Complexity();

// Growth of the process's peak resident memory while `work` runs, in MiB:
// the heap's free pages are handed back first, so that what the work
// allocates must be made resident anew (Linux resets the peak on request).
template <class Work>
double PeakGrowthMiB(Work&& work)
{
    ::malloc_trim(0);
    const auto read = [](std::string_view key) {  // "VmRSS:" or "VmHWM:", in MiB
        std::FILE* status = std::fopen("/proc/self/status", "r");
        double kib = 0;
        char line[256];
        while (status && std::fgets(line, sizeof line, status))
            if (std::string_view(line).starts_with(key))
                kib = std::strtod(line + key.size(), nullptr);
        if (status)
            std::fclose(status);
        return kib / 1024.0;
    };
    if (std::FILE* clear = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", clear);
        std::fclose(clear);
    }
    const double before = read("VmRSS:");
    work();
    return read("VmHWM:") - before;
}

// Hostile header shapes of range(0) bytes: the time must grow with the
// size (see the fitted complexity), and the memory stay a few times it.
//   HeaderLineInEveryBlock: a deleted e-mail whose 512-byte blocks each
//     begin with a header line, so a name is restored in every block.
//   ShortHeaderFields: "a:b" lines, a field every five bytes.
//   ManyParts: empty parts, one every seven bytes.
std::string HeaderShape(const std::string& shape, std::size_t size)
{
    std::string message;
    message.reserve(size + 64);
    if (shape == "HeaderLineInEveryBlock") {
        message = "From: a@example.com\r\nSubject: lines\r\nX-Pad: ";
        message += std::string(62 - message.size(), 'p') + "\r\n";  // lines of 64 bytes from here on
        const std::string line = "Received: " + std::string(52, 'a') + "\r\n";
        while (message.size() + line.size() <= size)
            message += line;
    } else if (shape == "ShortHeaderFields") {
        message = "Subject: fields\r\n";
        while (message.size() < size)
            message += "a:b\r\n";
    } else {
        message = "Subject: parts\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n";
        while (message.size() < size)
            message += "--b\r\n\r\n";
    }
    return message + "\r\nbody\r\n";
}

void RenderHeaderShape(benchmark::State& state, const std::string& shape, bool deleted)
{
    const auto size = static_cast<std::size_t>(state.range(0));
    std::string message = HeaderShape(shape, size);
    dbx::TextDamage damage;
    if (deleted) {
        damage = EveryBlock(message);
        for (const auto& range : damage.overwritten)
            message.replace(range.offset, std::min(range.length, message.size() - range.offset), range.length, ' ');
    }
    double peak = 0;
    for (auto _ : state)
        peak = std::max(peak, PeakGrowthMiB([&] { benchmark::DoNotOptimize(render::RenderMessage(message, damage)); }));
    state.counters["peak_MiB"] = peak;
    state.counters["peak_per_size"] = peak * 1048576.0 / static_cast<double>(size);
    state.SetComplexityN(state.range(0));
}
BENCHMARK_CAPTURE(RenderHeaderShape, HeaderLineInEveryBlock, "HeaderLineInEveryBlock", true)
    ->Arg(2 << 20)->Arg(4 << 20)->Arg(8 << 20)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);
BENCHMARK_CAPTURE(RenderHeaderShape, ShortHeaderFields, "ShortHeaderFields", false)
    ->Arg(2 << 20)->Arg(4 << 20)->Arg(8 << 20)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);
BENCHMARK_CAPTURE(RenderHeaderShape, ShortHeaderFieldsDeleted, "ShortHeaderFields", true)
    ->Arg(2 << 20)->Arg(4 << 20)->Arg(8 << 20)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);
BENCHMARK_CAPTURE(RenderHeaderShape, ManyParts, "ManyParts", false)
    ->Arg(2 << 20)->Arg(4 << 20)->Arg(8 << 20)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

void BM_SanitizeHtml(benchmark::State& state)
{
    std::string html;
    while (html.size() < 1'000'000)
        html += "<p class=a onclick=x() style=\"color:red; background:url(http://x/y)\">Some <b>text</b> &amp; "
                "<a href=\"http://example.com/\">link</a><img src=\"http://x/t.gif\" alt=t></p>\n";
    for (auto _ : state)
        benchmark::DoNotOptimize(render::SanitizeHtml(html));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * html.size()));
}
BENCHMARK(BM_SanitizeHtml)->Unit(benchmark::kMillisecond);

// Newsletter-style CSS: a large style sheet and many inline styles, with
// comments, escapes and URLs the sanitiser has to look at.
void BM_SanitizeStyles(benchmark::State& state)
{
    std::string html = "<style>";
    for (int i = 0; html.size() < 500'000; ++i)
        html += ".c" + std::to_string(i) + " { color: #333; font: 12px/1.4 \"Segoe UI\", Arial, sans-serif; "
            "/* brand */ background: #fff url(cid:bg" + std::to_string(i) + "@x) no-repeat; margin: 0 auto; }\n"
            "@media (max-width: 600px) { .m" + std::to_string(i) + " { width: 100% !important } }\n";
    html += "</style>";
    while (html.size() < 1'000'000)
        html += "<td style=\"padding: 4px 8px; border-bottom: 1px solid #eee; font-family: Arial, sans-serif; "
                "background-image: url('http://x/y.gif'); color: r\\65 d\">cell</td>\n";
    for (auto _ : state)
        benchmark::DoNotOptimize(render::SanitizeHtml(html));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * html.size()));
}
BENCHMARK(BM_SanitizeStyles)->Unit(benchmark::kMillisecond);

// Render and lay out in a text browser, as the preview does.
void ShowAndLayOut(benchmark::State& state, const std::string& message)
{
    QTextBrowser view;
    view.resize(760, 560);
    view.show();  // a shown view lays out at its width, wrapping lines
    for (auto _ : state) {
        view.setHtml(QString::fromStdString(render::RenderMessage(message).html));
        benchmark::DoNotOptimize(view.document()->size());
    }
}

void BM_ShowEndlessWord(benchmark::State& state)
{
    ShowAndLayOut(state, "Subject: x\r\n\r\n" + std::string(static_cast<std::size_t>(state.range(0)), 'x'));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ShowEndlessWord)->Arg(1 << 20)->Arg(2 << 20)->Arg(4 << 20)->Unit(benchmark::kMillisecond)
    ->Iterations(1)->Complexity();

void BM_ShowManyTableRows(benchmark::State& state)
{
    std::string message = "Content-Type: text/html\r\n\r\n<table>";
    for (int i = 0; i < state.range(0); ++i)
        message += "<tr><td>row";
    ShowAndLayOut(state, message);
}
BENCHMARK(BM_ShowManyTableRows)->Arg(10'000)->Arg(500'000)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_ShowManyPictures(benchmark::State& state)
{
    std::string message = "Content-Type: text/html\r\n\r\n";
    for (int i = 0; i < state.range(0); ++i)
        message += "<img src=\"cid:x\" width=100 height=100>";
    ShowAndLayOut(state, message);
}
BENCHMARK(BM_ShowManyPictures)->Arg(1'000)->Arg(100'000)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
