#pragma once

// The seven values each file of the message corpus (tests/data/messages) is
// expected to give, stated by hand: the conversion test reads the files, the
// end-to-end test reads what a real server sends of them.

#include <ostream>

namespace tallyhive::testing {

struct CorpusMessage {
    const char* file;
    const char* from;
    const char* fromName;
    const char* fromAddress;
    const char* subject;
    const char* dateUtc;  // ISO 8601; nullptr: the arrival date
    const char* plainText;
    const char* htmlText;
};

inline void PrintTo(const CorpusMessage& message, std::ostream* out) { *out << message.file; }

inline const CorpusMessage corpus[] = {
    {"01-utf8-plain.eml", "Zoë Ünal <zoe@example.org>", "Zoë Ünal", "zoe@example.org", "Quarterly figures – März",
     "2020-02-03T09:15:30Z", "Grüße aus Köln!\nThe figures: 12 € per unit.\n", ""},
    {"02-iso-8859-1-quoted-printable.eml", "François Léger <francois@example.fr>", "François Léger",
     "francois@example.fr", "Résumé des ventes", "2020-03-10T08:00:00Z",
     "Chère collègue,\nvoici le résumé à 2\u00a0000 caractères, avec une ligne très longue qui continue ici.\n", ""},
    {"03-windows-1252-8bit.eml", "\"Mary O'Brien\" <mary@example.com>", "Mary O'Brien", "mary@example.com",
     "Invoice 2020-17", "2020-04-15T20:45:00Z", "“Smart quotes” – and a dash…\nTotal: €5.\n", ""},
    {"04-koi8-r-8bit.eml", "Иван Петров <ivan@example.ru>", "Иван Петров", "ivan@example.ru", "Отчёт",
     "2020-05-21T09:00:00Z", "Привет, мир!\nОтчёт готов.\n", ""},
    {"05-shift-jis-base64.eml", "山田太郎 <taro@example.jp>", "山田太郎", "taro@example.jp", "会議の議事録",
     "2020-06-05T00:30:00Z", "こんにちは。\n会議は午後三時です。\n", ""},
    {"06-adjacent-encoded-words-lf.eml", "Björn Borg <bjorn@example.se>", "Björn Borg", "bjorn@example.se",
     "Café au lait and more", "2020-07-11T16:20:00Z", "Line endings in this file are LF only.\n", ""},
    {"07-no-display-name-lf.eml", "plain.sender@example.net", "", "plain.sender@example.net", "No display name",
     "2020-08-02T07:05:00Z", "Just an address.\n", ""},
    {"08-html-only.eml", "\"News Desk\" <news@example.com>", "News Desk", "news@example.com", "HTML only",
     "2020-09-07T11:11:11Z", "", "<html><body><p>Café <b>open</b></p></body></html>\n"},
    {"09-alternative-qp-and-base64.eml", "Alt Sender <alt@example.com>", "Alt Sender", "alt@example.com",
     "Alternative bodies", "2020-10-13T14:00:00Z", "Price: 10 €\nThanks.", "<p>Price: 10 €</p>\n<p>Thanks.</p>\n"},
    {"10-mixed-alternative-with-attachments.eml", "Reporter <reporter@example.com>", "Reporter",
     "reporter@example.com", "Report with attachments", "2020-11-18T09:00:00Z", "See the attached report.",
     "<p>See the attached report.</p>"},
    {"11-attachments-before-body.eml", "Order Matters <order@example.com>", "Order Matters", "order@example.com",
     "Attachments come first", "2020-12-10T23:59:59Z", "A named part without a disposition.", ""},
    {"12-forwarded-message-attached.eml", "Forwarder <fwd@example.com>", "Forwarder", "fwd@example.com",
     "Fwd: Inner message", "2021-01-15T08:08:08Z", "Forwarding the message below.", ""},
    {"13-malformed-date.eml", "Bad Clock <clock@example.com>", "Bad Clock", "clock@example.com", "Malformed date",
     nullptr, "The Date header cannot be read.\n", ""},
    {"14-missing-date.eml", "No Clock <noclock@example.com>", "No Clock", "noclock@example.com", "Missing date",
     nullptr, "There is no Date header.\n", ""},
    {"15-body-starts-with-equals.eml", "Formula <formula@example.com>", "Formula", "formula@example.com", "=1+1",
     "2021-02-20T12:00:00Z", "=1+1\n=SUM(A1:A2)\n", ""},
    {"16-quoted-printable-body-starts-with-equals.eml", "Formula QP <formulaqp@example.com>", "Formula QP",
     "formulaqp@example.com", "QP formula", "2021-03-21T12:00:00Z", "=2*3 and a soft break\n", ""},
    {"17-no-headers.eml", "", "", "", "", nullptr, "This message has no headers at all.\nJust text.\n", ""},
    {"18-no-blank-line-after-headers.eml", "Hasty Sender <hasty@example.com>", "Hasty Sender", "hasty@example.com",
     "No blank line", "2021-04-19T06:30:00Z",
     "This line should have been separated from the headers.\nSecond body line.\n", ""},
    {"19-raw-utf8-headers.eml", "Jürgen Groß <juergen@example.de>", "Jürgen Groß", "juergen@example.de",
     "Überweisung für März", "2021-05-12T11:14:15Z", "Überweisung erhalten.\n", ""},
    {"20-raw-latin1-headers.eml", "Hélène Dupré <helene@example.fr>", "Hélène Dupré", "helene@example.fr",
     "Réunion à Genève", "2021-06-17T15:00:00Z", "Ça va très bien.\n", ""},
    {"21-group-sender.eml", "Sales Team: Sue Seller <sue@example.com>, bob@example.com;", "Sue Seller",
     "sue@example.com", "From a group", "2021-07-16T09:00:00Z", "Sent on behalf of the team.\n", ""},
    {"22-wrong-charset-label.eml", "Mislabelled <mislabel@example.com>", "Mislabelled", "mislabel@example.com",
     "Says UTF-8, is Latin-1", "2021-08-21T10:10:10Z", "Déjà vu, 5 €.\n", ""},
    {"23-unknown-charset.eml", "Mystery <mystery@example.com>", "Mystery", "mystery@example.com", "Unknown charset",
     "2021-09-26T20:00:00Z", "Naïve café.\n", ""},
    {"24-encoded-words-split-a-character.eml", "山田花子 <hanako@example.jp>", "山田花子", "hanako@example.jp",
     "Re: счёт №16", "2021-10-04T01:00:00Z", "Счёт во вложении.\n", ""},
    {"25-mixed-charset-encoded-words.eml", "\"Zoë Ünal\" <zoe@example.org>", "Zoë Ünal", "zoe@example.org",
     "café crèmeи чай – 10 € each", "2021-10-05T06:30:00Z", "Mixed charsets in the subject.\n", ""},
    {"26-content-type-without-subtype.eml", "Old Mailer <old@example.com>", "Old Mailer", "old@example.com",
     "Type without subtype", "2021-10-06T12:00:00Z", "The body is plain text: café au lait.\n", ""},
    {"27-unreadable-content-type.eml", "Broken Type <broken@example.com>", "Broken Type", "broken@example.com",
     "Unreadable content type", "2021-10-07T09:45:00Z", "Текст письма.", ""},
    {"28-named-text-part-without-disposition.eml", "Scanner <scanner@example.com>", "Scanner", "scanner@example.com",
     "Named text part", "2021-10-08T17:20:00Z", "Grüße, the scan is attached.", ""},
    {"29-part-headers-without-blank-line.eml", "Hasty Parts <parts@example.com>", "Hasty Parts", "parts@example.com",
     "Parts without blank lines", "2021-10-09T07:00:00Z", "The plain text follows its headers directly.\nZweite Zeile.",
     "<p>The HTML too.</p>"},
    {"30-lone-cr-line-endings.eml", "Classic Mac <classic@example.com>", "Classic Mac", "classic@example.com",
     "Lone CR line endings", "2021-10-10T18:11:00Z", "Café first line\nSecond line\n", ""},
    {"31-raw-windows-1252-headers.eml", "Zoë Ünal <zoe@example.org>", "Zoë Ünal", "zoe@example.org",
     "“Price” – €5 ✓ paid", "2021-10-11T13:00:00Z", "Total €5 – thanks.\n", ""},
    {"32-base64-without-padding.eml", "Lazy Encoder <lazy@example.com>", "Lazy Encoder", "lazy@example.com",
     "Base64 without padding", "2021-10-12T16:30:00Z", "Alles klar, bis Dienstag!", ""},
    {"33-related-root-by-start.eml", "Newsletter <news@example.com>", "Newsletter", "news@example.com", "Related root",
     "2021-10-13T06:00:00Z", "", "<p>The page.</p>"},
    {"34-charset-names-and-hebrew.eml", "佐藤 <sato@example.jp>", "佐藤", "sato@example.jp", "Café",
     "2021-10-14T18:00:00Z", "שלום ותודה רבה. עברית", ""},
    {"35-raw-koi8-r-headers.eml", "Иван Петров <ivan@example.ru>", "Иван Петров", "ivan@example.ru", "Отчёт за квартал",
     "2021-10-15T09:00:00Z", "Отчёт готов.\n", ""},
    {"40-apostrophes-and-control-characters.eml", "'Quoted' Sender <quoted@example.com>", "'Quoted' Sender",
     "quoted@example.com", "'Tis the bell\a season", "2021-10-04T10:00:00Z",
     "'Quoted first line\n+1 555 0100, -5 and @mention\nAn escape lookalike _x0041_ stays as written\n"
     "Form feed\fhere, vertical tab\vhere\n",
     ""},
    // A fuzzer's find: once took the conversion to 14 GB.
    {"41-multipart-without-boundary-and-a-long-parameter-name.eml", "Forwarder <fwdubject: Fwd: Inner 5test>", "", "",
     "", nullptr, "", ""},
    {"42-bounce-sender-without-address.eml", "MAILER DAEMON <>", "MAILER DAEMON", "", "Undeliverable: Quarterly figures",
     "2021-10-18T08:30:00Z", "Your message could not be delivered to nobody@example.net.\n", ""},
    {"43-run-in-parts-closing-boundary-last.eml", "Hasty Parts <parts@example.com>", "Hasty Parts", "parts@example.com",
     "Run-in part at the end", "2021-10-19T07:00:00Z", "The text follows its headers directly.\nZweite Zeile.",
     "<p>The HTML too.</p>"},
    {"44-run-in-parts-closing-boundary-last-lf.eml", "Hasty Parts <parts@example.com>", "Hasty Parts",
     "parts@example.com", "Run-in part at the end", "2021-10-19T07:00:00Z",
     "The text follows its headers directly.\nZweite Zeile.", "<p>The HTML too.</p>"},
};

}  // namespace tallyhive::testing
