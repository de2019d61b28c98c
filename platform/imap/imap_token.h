#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>
#include <vector>

namespace tallyhive::platform {

// One value of an IMAP response or command: an atom (also numbers and
// bracketed section names such as BODY[]), a string (quoted or literal,
// already unescaped), NIL, or a parenthesised list.
struct ImapToken {
    enum class Type { Atom, String, Nil, List };

    Type type = Type::Atom;
    QByteArray value;                // atom or string bytes
    std::vector<ImapToken> children;  // list members

    bool isAtom(QByteArrayView upperCaseName) const;
    bool isString() const { return type == Type::String; }
    bool isList() const { return type == Type::List; }
    // Atoms and strings both name things (a mailbox may come either way).
    bool isText() const { return type == Type::Atom || type == Type::String; }
};

// Parses space-separated values up to the end of text; literals appear inline
// as {n} CRLF followed by n bytes. A trailing CRLF is allowed. Nothing when
// the text is not well formed.
std::optional<std::vector<ImapToken>> parseImapTokens(QByteArrayView text);
// The same for text whose literals were taken out: each {n} CRLF is followed
// directly by the rest of the text, and the n bytes are the next of literals.
std::optional<std::vector<ImapToken>> parseImapTokens(QByteArrayView lines, const std::vector<QByteArray>& literals);

}  // namespace tallyhive::platform
