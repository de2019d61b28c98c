#include "platform/imap/imap_token.h"

namespace tallyhive::platform {
namespace {

// Hostile input may nest lists without end; real responses stay shallow.
constexpr int kMaxDepth = 64;

class TokenParser {
public:
    TokenParser(QByteArrayView text, const std::vector<QByteArray>* literals) : text_(text), literals_(literals) {}

    std::optional<std::vector<ImapToken>> parseAll()
    {
        std::vector<ImapToken> tokens;
        if (!parseSequence(tokens, 0, false))
            return std::nullopt;
        return tokens;
    }

private:
    bool atEnd() const { return pos_ >= text_.size(); }
    char peek() const { return text_[pos_]; }

    void skipSpaces()
    {
        while (!atEnd() && peek() == ' ')
            ++pos_;
    }

    bool atLineEnd() const
    {
        return atEnd() || (peek() == '\r' && pos_ + 2 == text_.size() && text_[pos_ + 1] == '\n')
            || (peek() == '\n' && pos_ + 1 == text_.size());
    }

    bool parseSequence(std::vector<ImapToken>& out, int depth, bool insideList)
    {
        if (depth > kMaxDepth)
            return false;
        while (true) {
            skipSpaces();
            if (atLineEnd()) {
                pos_ = text_.size();
                return !insideList;
            }
            if (peek() == ')') {
                if (!insideList)
                    return false;
                ++pos_;
                return true;
            }
            ImapToken token;
            if (!parseValue(token, depth))
                return false;
            out.push_back(std::move(token));
            if (!atEnd() && peek() != ' ' && peek() != ')' && peek() != '\r' && peek() != '\n' && peek() != '(')
                return false;
        }
    }

    bool parseValue(ImapToken& token, int depth)
    {
        switch (peek()) {
        case '(':
            ++pos_;
            token.type = ImapToken::Type::List;
            return parseSequence(token.children, depth + 1, true);
        case '"':
            return parseQuoted(token);
        case '{':
            return parseLiteral(token);
        default:
            return parseAtom(token);
        }
    }

    bool parseQuoted(ImapToken& token)
    {
        token.type = ImapToken::Type::String;
        ++pos_;
        while (!atEnd()) {
            char c = peek();
            ++pos_;
            if (c == '"')
                return true;
            if (c == '\r' || c == '\n')
                return false;
            if (c == '\\') {
                if (atEnd())
                    return false;
                c = peek();
                ++pos_;
            }
            token.value.append(c);
        }
        return false;
    }

    bool parseLiteral(ImapToken& token)
    {
        token.type = ImapToken::Type::String;
        ++pos_;
        qint64 size = 0;
        int digits = 0;
        while (!atEnd() && peek() >= '0' && peek() <= '9') {
            size = size * 10 + (peek() - '0');
            ++pos_;
            if (++digits > 12)
                return false;
        }
        if (!atEnd() && peek() == '+')
            ++pos_;
        if (digits == 0 || atEnd() || peek() != '}')
            return false;
        ++pos_;
        if (pos_ + 2 > text_.size() || text_[pos_] != '\r' || text_[pos_ + 1] != '\n')
            return false;
        pos_ += 2;
        if (literals_) {
            if (nextLiteral_ >= literals_->size() || (*literals_)[nextLiteral_].size() != size)
                return false;
            token.value = (*literals_)[nextLiteral_++];  // shared, not copied
            return true;
        }
        if (size > text_.size() - pos_)
            return false;
        token.value = text_.sliced(pos_, size).toByteArray();
        pos_ += size;
        return true;
    }

    // Atoms run to a delimiter, except that a bracketed part (BODY[HEADER.FIELDS (FROM)])
    // belongs to the atom whatever it holds.
    bool parseAtom(ImapToken& token)
    {
        const qsizetype start = pos_;
        int brackets = 0;
        while (!atEnd()) {
            const char c = peek();
            if (c == '\r' || c == '\n')
                break;
            if (brackets == 0 && (c == ' ' || c == '(' || c == ')' || c == '"' || c == '{'))
                break;
            if (c == '[')
                ++brackets;
            else if (c == ']' && brackets > 0)
                --brackets;
            ++pos_;
        }
        if (pos_ == start || brackets != 0)
            return false;
        token.value = text_.sliced(start, pos_ - start).toByteArray();
        token.type = token.value.compare("NIL", Qt::CaseInsensitive) == 0 ? ImapToken::Type::Nil : ImapToken::Type::Atom;
        if (token.type == ImapToken::Type::Nil)
            token.value.clear();
        return true;
    }

    QByteArrayView text_;
    const std::vector<QByteArray>* literals_;  // when given, literal contents are here rather than inline
    size_t nextLiteral_ = 0;
    qsizetype pos_ = 0;
};

}  // namespace

bool ImapToken::isAtom(QByteArrayView upperCaseName) const
{
    return type == Type::Atom && value.compare(upperCaseName, Qt::CaseInsensitive) == 0;
}

std::optional<std::vector<ImapToken>> parseImapTokens(QByteArrayView text)
{
    return TokenParser(text, nullptr).parseAll();
}

std::optional<std::vector<ImapToken>> parseImapTokens(QByteArrayView lines, const std::vector<QByteArray>& literals)
{
    return TokenParser(lines, &literals).parseAll();
}

}  // namespace tallyhive::platform
