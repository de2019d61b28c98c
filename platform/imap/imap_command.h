#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <vector>

namespace tallyhive::platform {

// Builds one tagged command. Arguments that cannot travel as a quoted string
// become literals, which split the command into pieces: after each piece but
// the last the client must wait for the server's continuation ("+").
class ImapCommandBuilder {
public:
    ImapCommandBuilder(QByteArrayView tag, QByteArrayView verb);

    ImapCommandBuilder& atom(QByteArrayView text);
    // A quoted string when every byte is printable ASCII other than '"' and
    // '\' (servers differ on control characters in quotes); otherwise a
    // literal carrying the bytes unchanged.
    ImapCommandBuilder& string(QByteArrayView bytes);

    std::vector<QByteArray> pieces() const;

    static bool quotable(QByteArrayView bytes);
    static QByteArray quoted(QByteArrayView bytes);

private:
    std::vector<QByteArray> pieces_;
};

}  // namespace tallyhive::platform
