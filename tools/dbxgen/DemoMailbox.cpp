#include "tools/dbxgen/DemoMailbox.h"

#include "tools/dbxgen/MailboxBuilder.h"
#include "tools/dbxgen/MessageMaker.h"
#include "tools/dbxgen/MimeText.h"
#include "tools/dbxgen/Prng.h"
#include "tools/dbxgen/SampleFiles.h"

namespace dbxgen {

namespace {

const Person kTom{"Tom Becker", "tom.becker@example.com"};
constexpr const char* kPop = "pop.example.com";

MailMessage Statement()
{
    const std::string html =
        "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\">\n"
        "<HTML><HEAD><TITLE>Account statement</TITLE></HEAD>\n"
        "<BODY style=\"font-family: Arial; font-size: 10pt\">\n"
        "<TABLE width=\"100%\" bgColor=#003366><TR><TD><FONT color=white size=4>"
        "Northbank Online</FONT></TD></TR></TABLE>\n"
        "<P>Dear Mr Becker,</P>\n"
        "<P>your statement for November 2004 is ready. Balance on 30 November: "
        "<B>2,418.77 USD</B>.</P>\n"
        "<TABLE border=1 cellPadding=3>\n"
        "<TR><TH>Date</TH><TH>Description</TH><TH>Amount</TH></TR>\n"
        "<TR><TD>02.11.</TD><TD>Salary</TD><TD align=right>+3,150.00</TD></TR>\n"
        "<TR><TD>05.11.</TD><TD>Rent</TD><TD align=right>-950.00</TD></TR>\n"
        "<TR><TD>19.11.</TD><TD>Card payment, City Books</TD><TD align=right>-42.30</TD></TR>\n"
        "</TABLE>\n"
        "<P>Please do not reply to this e-mail.</P>\n</BODY></HTML>\n";
    return MessageMaker()
        .From({"Northbank Online", "statements@northbank.example.com"})
        .To(kTom)
        .Subject("Your account statement for November")
        .Date(UnixFromCivil(2004, 11, 30, 8, 15, 2), 0)
        .MessageId("20041130081502.4711@northbank.example.com")
        .ReceivedBy(kPop)
        .Mailer("Northbank Mailer 2.1")
        .Html(html, "iso-8859-1")
        .Make();
}

MailMessage Minutes()
{
    return MessageMaker()
        .From({"Anna Kowalski", "anna.kowalski@example.org"})
        .To(kTom)
        .Cc({"Lukas Brandt", "lukas.brandt@example.org"})
        .Subject("Minutes of Monday's meeting")
        .Date(UnixFromCivil(2005, 3, 14, 8, 42, 10), 60)
        .MessageId("000a01c52881$5e3c1f20$0200a8c0@anna")
        .ReceivedBy(kPop)
        .Plain("Hi Tom,\n\n"
               "here are the minutes of Monday's meeting.\n\n"
               "1. The new warehouse opens on 1 April.\n"
               "2. Lukas takes over the supplier contracts.\n"
               "3. Next meeting: Monday, 21 March, 10:00, room 2.\n\n"
               "Let me know if I missed anything.\n\n"
               "Anna\n")
        .Make();
}

MailMessage RussianReport()
{
    const std::string body = FromUtf8(
        "Добрый день, Том!\n\n"
        "Высылаю отчёт за третий квартал. Продажи выросли на 12 %, "
        "расходы остались на уровне прошлого года.\n"
        "Подробности в приложенном файле.\n\n"
        "С уважением,\n"
        "Сергей Иванов\n"
        "ООО \"Север\", Санкт-Петербург\n",
        Charset::Koi8R);
    const std::string pdf = MakePdf("Otchet za III kvartal 2005",
                                    {"Prodazhi: 4 812 000 RUB (+12 %)", "Raskhody: 3 950 000 RUB",
                                     "Pribyl: 862 000 RUB"});
    return MessageMaker()
        .From({EncodedWordB("koi8-r", FromUtf8("Сергей Иванов", Charset::Koi8R)), "s.ivanov@sever.example.ru"})
        .To(kTom)
        .Subject(EncodedWordB("windows-1251", FromUtf8("Отчёт за третий квартал", Charset::Windows1251)))
        .Date(UnixFromCivil(2005, 10, 7, 12, 5, 41), 240)
        .MessageId("001201c5cb42$0a1b2c30$6401a8c0@sever")
        .ReceivedBy(kPop)
        .Mailer("The Bat! (v3.5) Professional")
        .Plain(body, "koi8-r", Transfer::EightBit)
        .Attach({"otchet-q3-2005.pdf", "application/pdf", pdf, ""})
        .Make();
}

MailMessage Newsletter()
{
    const std::string plain =
        "Sommer in Südtirol – jetzt 20 % sparen!\n\n"
        "Liebe Reisefreunde,\n\n"
        "für Buchungen bis 30. Juni gewähren wir 20 % Rabatt auf alle Hotels in "
        "Meran, Bozen und Brixen. Frühstück inklusive, Kinder bis 6 Jahre frei.\n\n"
        "Ihr Team von Alpenreisen\n";
    const std::string html =
        "<HTML><BODY style=\"font-family: Verdana\">\n"
        "<H2 style=\"color:#d35400\">Sommer in Südtirol – jetzt 20&nbsp;% sparen! ☀</H2>\n"
        "<P>Liebe Reisefreunde,</P>\n"
        "<P>für Buchungen bis <B>30. Juni</B> gewähren wir 20&nbsp;% Rabatt auf alle Hotels in "
        "Meran, Bozen und Brixen. Frühstück inklusive, Kinder bis 6 Jahre frei.</P>\n"
        "<P><A href=\"http://www.alpenreisen.example.de/sommer\">Jetzt buchen</A></P>\n"
        "<P style=\"font-size:8pt;color:gray\">Sie erhalten diesen Newsletter, weil Sie ihn "
        "bestellt haben.</P>\n</BODY></HTML>\n";
    return MessageMaker()
        .From({"Alpenreisen", "newsletter@alpenreisen.example.de"})
        .To(kTom)
        .Subject(EncodedWordB("UTF-8", "Sommer in Südtirol – 20 % Rabatt ☀"))
        .Date(UnixFromCivil(2006, 6, 2, 9, 30, 0), 120)
        .MessageId("nl-2006-23.77120@alpenreisen.example.de")
        .ReceivedBy(kPop)
        .Mailer("Newsletter Pro 4.0")
        .Plain(plain, "utf-8", Transfer::QuotedPrintable)
        .Html(html, "utf-8", Transfer::QuotedPrintable)
        .Make();
}

MailMessage Photos()
{
    const std::string cid = "image001.png@01C6D5A2.4F1E3B20";
    return MessageMaker()
        .From({"Mike Chen", "mike.chen@example.net"})
        .To(kTom)
        .Subject("Photos from the weekend")
        .Date(UnixFromCivil(2006, 9, 11, 19, 48, 5), -300)
        .MessageId("003c01c6d5c4$8e2f1a60$0a01a8c0@mikepc")
        .ReceivedBy(kPop)
        .Plain("Hi Tom,\n\nthe lake was great. Here is the view from the cabin.\n\nMike\n")
        .Html("<HTML><BODY>\n<P>Hi Tom,</P>\n<P>the lake was great. Here is the view from the "
              "cabin:</P>\n<P><IMG alt=\"Lake\" src=\"cid:" + cid + "\"></P>\n<P>Mike</P>\n"
              "</BODY></HTML>\n")
        .Inline({"lake.png", "image/png", MakePng(96, 64, 0xF5B041), cid})
        .Make();
}

MailMessage Cafe()
{
    return MessageMaker()
        .From({"Claire Dubois", "claire.dubois@example.fr"})
        .To(kTom)
        .Subject(EncodedWordQ("ISO-8859-1", FromUtf8("Café crème et réunion de janvier", Charset::Latin1)))
        .Date(UnixFromCivil(2007, 1, 22, 7, 55, 30), 60)
        .MessageId("45B46E3A.7030105@example.fr")
        .ReceivedBy(kPop)
        .Mailer("Thunderbird 1.5.0.9 (Windows/20061207)")
        .Plain(FromUtf8("Bonjour Tom,\n\n"
                        "la réunion de janvier aura lieu jeudi à 14 h, au café « Le Crème » "
                        "près de la gare. Apporte les chiffres de décembre, s'il te plaît.\n\n"
                        "À jeudi,\nClaire\n",
                        Charset::Latin1),
               "ISO-8859-1", Transfer::QuotedPrintable)
        .Make();
}

MailMessage TimelineReply()
{
    return MessageMaker()
        .From({"Lukas Brandt", "lukas.brandt@example.org"})
        .To(kTom)
        .Subject("Re: Project timeline")
        .Date(UnixFromCivil(2007, 5, 3, 14, 12, 9), 120)
        .MessageId("002f01c78d8a$41b2c3d0$0300a8c0@lukas")
        .InReplyTo("001e01c78d71$3c4d5e60$0200a8c0@tom")
        .ReceivedBy(kPop)
        .Plain("Tom,\n\n"
               "the end of June is tight but possible if the test rig arrives on time.\n"
               "I'd move the review to 9 July.\n\n"
               "Lukas\n\n"
               "----- Original Message -----\n"
               "From: \"Tom Becker\" <tom.becker@example.com>\n"
               "To: \"Lukas Brandt\" <lukas.brandt@example.org>\n"
               "Sent: Thursday, May 03, 2007 10:31 AM\n"
               "Subject: Project timeline\n\n"
               "> Can we finish the prototype by the end of June?\n")
        .Make();
}

MailMessage QuarterlyFigures()
{
    Prng prng(2007);
    std::string xls = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"; // compound-document signature
    xls += RandomBytes(prng, 61440 - xls.size());
    return MessageMaker()
        .From({"Finance Department", "finance@example.com"})
        .To(kTom)
        .To({"Anna Kowalski", "anna.kowalski@example.org"})
        .Subject("Quarterly figures 2007")
        .Date(UnixFromCivil(2008, 1, 10, 15, 3, 44), 60)
        .MessageId("001501c853a9$9d8e7f60$1400a8c0@finance")
        .ReceivedBy(kPop)
        .Priority(1)
        .Plain("Hello,\n\nattached are the figures for Q4 2007. Please check your "
               "department's numbers before Friday.\n\nFinance\n")
        .Attach({"Q4-2007.xls", "application/vnd.ms-excel", xls, ""})
        .Make();
}

MailMessage Invoice()
{
    const std::string pdf = MakePdf("Rechnung 2008-0342",
                                    {"Mueller GmbH, Hauptstrasse 12, 80331 Muenchen",
                                     "Wartung Maerz 2008: 209,24 EUR", "MwSt. 19 %: 39,76 EUR",
                                     "Summe: 249,00 EUR"},
                                    6000);
    return MessageMaker()
        .From({"Buchhaltung Müller GmbH", "rechnung@mueller-gmbh.example.de"})
        .To(kTom)
        .Subject(FromUtf8("Rechnung für März – bitte bis 15.04. überweisen (€ 249,00)", Charset::Windows1252))
        .Date(UnixFromCivil(2008, 3, 28, 10, 20, 30), 60)
        .MessageId("000801c890c5$12345670$0a00a8c0@buchhaltung")
        .ReceivedBy(kPop)
        .Plain(FromUtf8("Sehr geehrter Herr Becker,\n\n"
                        "anbei unsere Rechnung für die Wartung im März. Bitte überweisen Sie "
                        "den Betrag von € 249,00 bis zum 15.04.2008.\n\n"
                        "Mit freundlichen Grüßen\nMüller GmbH – Buchhaltung\n",
                        Charset::Windows1252),
               "windows-1252", Transfer::EightBit)
        .Attach({"Rechnung_2008-0342.pdf", "application/pdf", pdf, ""})
        .Make();
}

MailMessage Lunch()
{
    return MessageMaker()
        .From({"Anna Kowalski", "anna.kowalski@example.org"})
        .To(kTom)
        .Subject("Lunch on Friday?")
        .Date(UnixFromCivil(2008, 6, 18, 10, 2, 17), 120)
        .MessageId("004401c8d12e$77aa8b90$0200a8c0@anna")
        .ReceivedBy(kPop)
        .Plain("Tom, Italian place at 12:30 on Friday? Anna\n")
        .Make();
}

} // namespace

std::vector<std::pair<MailMessage, bool>> DemoMessages()
{
    const MailMessage photos = Photos();
    return {
        {Statement(), true},
        {Minutes(), false},
        {RussianReport(), true},
        {Newsletter(), false},
        {photos, true},   // fetched twice; the first copy was deleted
        {photos, false},
        {Cafe(), false},
        {TimelineReply(), true},
        {QuarterlyFigures(), false},
        {Invoice(), false},
        {Lunch(), false},
    };
}

Mailbox MakeDemoMailbox()
{
    MailboxBuilder builder(20080618);
    for (auto& [message, deleted] : DemoMessages())
        builder.Add(std::move(message), deleted);
    return builder.Build();
}

} // namespace dbxgen
