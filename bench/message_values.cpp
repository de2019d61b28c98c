// Prints the seven values the program takes from each message file, one JSON
// object a line, for comparing the conversion with another MIME reader
// (bench/compare_messages.py).
//
//   message_values FILE_OR_FOLDER...     folders: their *.eml files, by name

#include "platform/mime/mime_message.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace {

QStringList messageFiles(const QString& argument)
{
    const QDir folder(argument);
    if (!folder.exists())
        return {argument};
    QStringList files;
    for (const QString& name : folder.entryList({QStringLiteral("*.eml")}, QDir::Files, QDir::Name))
        files << folder.filePath(name);
    return files;
}

QJsonObject values(const QString& file)
{
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return {{QStringLiteral("file"), file}, {QStringLiteral("error"), in.errorString()}};
    const auto message = tallyhive::platform::messageFromBytes(in.readAll(), QDateTime());
    return {{QStringLiteral("file"), file},
            {QStringLiteral("from"), message.s_From},
            {QStringLiteral("fromName"), message.s_FromName},
            {QStringLiteral("fromAddress"), message.s_FromAddress},
            {QStringLiteral("subject"), message.s_Subject},
            {QStringLiteral("date"), message.receivedAt.toUTC().toString(Qt::ISODate)},
            {QStringLiteral("plainText"), message.s_PlainText.text()},
            {QStringLiteral("htmlText"), message.s_HTMLText.text()},
            {QStringLiteral("keptAsRawText"), message.keptAsRawText}};
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: message_values FILE_OR_FOLDER...\n");
        return 2;
    }
    for (int i = 1; i < argc; ++i) {
        for (const QString& file : messageFiles(QString::fromLocal8Bit(argv[i]))) {
            std::fputs(QJsonDocument(values(file)).toJson(QJsonDocument::Compact).constData(), stdout);
            std::fputc('\n', stdout);
        }
    }
    return 0;
}
