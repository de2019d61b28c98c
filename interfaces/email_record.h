#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace tallyhive {

// A body text kept small: as UTF-8, deflated when that saves at least an
// eighth, and made into text again whenever it is read. A window keeps every
// body of a folder, and in UTF-16 they took more memory than the mail itself.
class PackedText {
public:
    PackedText() = default;
    // Implicit, so that a record can be written down with its texts.
    PackedText(const QString& text, int level = kReadLevel) : length_(text.size())
    {
        QByteArray utf8 = text.toUtf8();
        if (utf8.size() >= kSmallest) {
            QByteArray deflated = qCompress(utf8, level);
            if (deflated.size() <= utf8.size() - utf8.size() / 8) {
                utf8 = std::move(deflated);
                deflated_ = true;
            }
        }
        // Both conversions leave room for the worst case; what is kept is exact.
        utf8.squeeze();
        bytes_ = std::move(utf8);
    }

    QString text() const { return QString::fromUtf8(deflated_ ? qUncompress(bytes_) : bytes_); }
    // In UTF-16 units, as text().size() without making the text.
    qsizetype size() const { return length_; }
    bool isEmpty() const { return length_ == 0; }

    // The same text in memory of the calling thread's own.
    PackedText copied() const
    {
        PackedText copy(*this);
        copy.bytes_ = QByteArray(bytes_.constData(), bytes_.size());
        return copy;
    }

    friend bool operator==(const PackedText& packed, const QString& text) { return packed.text() == text; }

    // Texts read again (a body sent to the sheet) are deflated quickly; texts
    // that nothing reads again may take the time to be made smaller.
    static constexpr int kReadLevel = 1;
    static constexpr int kKeptLevel = 6;

private:
    // Below this, deflating saves nothing worth the time.
    static constexpr qsizetype kSmallest = 128;

    QByteArray bytes_;
    qsizetype length_ = 0;
    bool deflated_ = false;
};

// One message, from its conversion to the list row that shows it, the
// larger view, the check commands, the filter and the sheet. It holds plain
// values only, so it can be moved along and stored as it stands. Every field
// has its default, so a record can be written down with its first fields only.
struct EmailRecord {
    QString s_From{};          // the From header as written, display name and address together
    QString s_FromName{};      // decoded display name; empty when the header has none
    QString s_FromAddress{};   // the bare address
    QString s_Subject{};       // decoded
    QString s_ReceivedDate{};  // receivedAt as general date text; the mail layer writes it
    PackedText s_PlainText{};  // first inline text/plain part
    PackedText s_HTMLText{};   // first inline text/html part
    QDateTime receivedAt{};    // local time; never invalid (falls back to the server's arrival date)
    // Converting the message would have taken time or memory out of all
    // proportion to its size: s_PlainText is its raw text, the rest is empty.
    bool keptAsRawText = false;

    // The text the list shows in column 1 to 5 (From, From Name, From
    // Address, Subject, Received Date); empty for other columns.
    const QString& columnText(int column) const
    {
        static const QString none;
        switch (column) {
        case 1: return s_From;
        case 2: return s_FromName;
        case 3: return s_FromAddress;
        case 4: return s_Subject;
        case 5: return s_ReceivedDate;
        default: return none;
        }
    }
};

}  // namespace tallyhive
