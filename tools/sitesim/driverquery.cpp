#include "driverquery.h"

#include "core/datetext.h"
#include "router/valuetext.h"
#include "sitetime.h"

#include <cmath>

namespace {

constexpr qsizetype kMaxStatementLength = 4096;
constexpr int kMaxDepth = 32; // nesting of parentheses and "not"

struct Column
{
    const char *name;
    DriverValueKind kind;
    qint32 typeCode;
};

// Recordset type codes: 4 Long, 8 Date, 10 Text.
constexpr Column kEventLog[] = {
    { "uniqueid", DriverValueKind::Integer, 4 },
    { "machid", DriverValueKind::Integer, 4 },
    { "eventdata", DriverValueKind::Bytes, 10 },
    { "logtime", DriverValueKind::Time, 8 },
    { "showid", DriverValueKind::Integer, 4 },
    { "eventtime", DriverValueKind::Time, 8 },
};
constexpr Column kOperators[] = {
    { "uniqueid", DriverValueKind::Integer, 4 },
    { "id", DriverValueKind::Integer, 4 },
    { "name", DriverValueKind::Text, 10 },
    { "startdate", DriverValueKind::Time, 8 },
    { "enddate", DriverValueKind::Time, 8 },
};

struct Table
{
    const char *name;
    const Column *columns;
    int count;
};

constexpr Table kTables[] = {
    { "eventlog", kEventLog, int(std::size(kEventLog)) },
    { "operators", kOperators, int(std::size(kOperators)) },
};

const Table *findTable(QStringView name)
{
    for (const Table &t : kTables)
        if (name.compare(QLatin1StringView(t.name), Qt::CaseInsensitive) == 0)
            return &t;
    return nullptr;
}

const Column *findColumn(const Table &table, QStringView name)
{
    for (int i = 0; i < table.count; ++i)
        if (name.compare(QLatin1StringView(table.columns[i].name), Qt::CaseInsensitive) == 0)
            return &table.columns[i];
    return nullptr;
}

DriverField fieldOf(const Column &c)
{
    return { QLatin1StringView(c.name).toString(), c.typeCode, c.kind };
}

struct Token
{
    enum Kind { End, Word, Number, String, Date, Symbol };
    Kind kind = End;
    QString text; // the word, the digits, the string without quotes, the date text, the symbol
};

class Tokenizer
{
public:
    explicit Tokenizer(QStringView text)
        : m_text(text)
    {
    }

    bool run(QList<Token> *tokens, QString *error)
    {
        const qsizetype n = m_text.size();
        qsizetype i = 0;
        while (i < n) {
            const QChar c = m_text[i];
            if (c == u' ' || c == u'\t' || c == u'\r' || c == u'\n') {
                ++i;
            } else if (isWordStart(c)) {
                const qsizetype from = i;
                while (i < n && isWordPart(m_text[i]))
                    ++i;
                tokens->append({ Token::Word, m_text.mid(from, i - from).toString() });
            } else if (isDigit(c) || (c == u'.' && i + 1 < n && isDigit(m_text[i + 1]))) {
                const qsizetype from = i;
                while (i < n && isDigit(m_text[i]))
                    ++i;
                if (i < n && m_text[i] == u'.') {
                    ++i;
                    while (i < n && isDigit(m_text[i]))
                        ++i;
                }
                if (i < n && isWordPart(m_text[i]))
                    return fail(error, QStringLiteral("a number runs into a name"));
                tokens->append({ Token::Number, m_text.mid(from, i - from).toString() });
            } else if (c == u'\'') {
                QString value;
                ++i;
                for (;;) {
                    if (i >= n)
                        return fail(error, QStringLiteral("a text has no closing quote"));
                    if (m_text[i] == u'\'') {
                        if (i + 1 < n && m_text[i + 1] == u'\'') {
                            value += u'\'';
                            i += 2;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    value += m_text[i++];
                }
                tokens->append({ Token::String, value });
            } else if (c == u'#') {
                const qsizetype close = m_text.indexOf(u'#', i + 1);
                if (close < 0)
                    return fail(error, QStringLiteral("a date has no closing #"));
                tokens->append({ Token::Date, m_text.mid(i + 1, close - i - 1).toString() });
                i = close + 1;
            } else {
                static const QLatin1StringView twoChar[] = { QLatin1StringView("<="),
                    QLatin1StringView(">="), QLatin1StringView("<>"), QLatin1StringView("!=") };
                bool matched = false;
                for (QLatin1StringView s : twoChar) {
                    if (m_text.mid(i).startsWith(s)) {
                        tokens->append({ Token::Symbol, s.toString() });
                        i += 2;
                        matched = true;
                        break;
                    }
                }
                if (matched)
                    continue;
                if (QStringView(u"*,()=<>-+").contains(c)) {
                    tokens->append({ Token::Symbol, QString(c) });
                    ++i;
                    continue;
                }
                return fail(
                    error, QStringLiteral("the character '%1' is not understood").arg(QString(c)));
            }
        }
        tokens->append({ Token::End, QString() });
        return true;
    }

private:
    static bool isDigit(QChar c) { return c >= u'0' && c <= u'9'; }
    static bool isWordStart(QChar c)
    {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_';
    }
    static bool isWordPart(QChar c) { return isWordStart(c) || isDigit(c); }
    static bool fail(QString *error, const QString &text)
    {
        *error = text;
        return false;
    }

    QStringView m_text;
};

class Parser
{
public:
    Parser(const QList<Token> &tokens, int rowLimit)
        : m_tokens(tokens)
        , m_rowLimit(rowLimit)
    {
    }

    std::optional<DriverStatement> parse(QString *error)
    {
        if (!statement()) {
            *error = m_error;
            return std::nullopt;
        }
        return m_out;
    }

private:
    const Token &peek() const { return m_tokens[m_pos]; }
    bool isWord(const char *word) const
    {
        return peek().kind == Token::Word
            && peek().text.compare(QLatin1StringView(word), Qt::CaseInsensitive) == 0;
    }
    bool isSymbol(const char *symbol) const
    {
        return peek().kind == Token::Symbol && peek().text == QLatin1StringView(symbol);
    }
    bool acceptWord(const char *word)
    {
        if (!isWord(word))
            return false;
        ++m_pos;
        return true;
    }
    bool acceptSymbol(const char *symbol)
    {
        if (!isSymbol(symbol))
            return false;
        ++m_pos;
        return true;
    }
    bool fail(const QString &text)
    {
        m_error = text;
        return false;
    }
    QString near() const
    {
        return peek().kind == Token::End ? QStringLiteral("the end")
                                         : QStringLiteral("\"%1\"").arg(peek().text);
    }
    bool expectWord(const char *word)
    {
        return acceptWord(word)
            || fail(QStringLiteral("expected \"%1\" at %2").arg(QLatin1StringView(word), near()));
    }
    bool expectSymbol(const char *symbol)
    {
        return acceptSymbol(symbol)
            || fail(QStringLiteral("expected \"%1\" at %2").arg(QLatin1StringView(symbol), near()));
    }

    // A name given with "as": a plain word, as the recordset field name.
    bool alias(QString *name)
    {
        if (!acceptWord("as"))
            return true;
        if (peek().kind != Token::Word || peek().text.size() > 64)
            return fail(QStringLiteral("expected a field name after \"as\""));
        *name = m_tokens[m_pos++].text;
        return true;
    }

    bool statement()
    {
        if (!expectWord("select"))
            return false;
        qint64 top = -1;
        if (acceptWord("top")) {
            if (peek().kind != Token::Number || peek().text.contains(u'.'))
                return fail(QStringLiteral("expected a whole number after \"top\""));
            bool ok = false;
            top = peek().text.toLongLong(&ok);
            if (!ok)
                return fail(QStringLiteral("the number after \"top\" is too large"));
            ++m_pos;
        }

        // The select list names columns of a table not read yet: keep it and check it after.
        enum class ListKind { All, Count, Columns };
        ListKind list = ListKind::Columns;
        QString countName = QStringLiteral("count");
        QList<std::pair<QString, QString>> columns; // name, field name
        if (acceptSymbol("*")) {
            list = ListKind::All;
        } else if (isWord("count") && m_tokens[m_pos + 1].kind == Token::Symbol
            && m_tokens[m_pos + 1].text == u'(') {
            m_pos += 2;
            if (!expectSymbol("*") || !expectSymbol(")") || !alias(&countName))
                return false;
            list = ListKind::Count;
        } else {
            do {
                if (peek().kind != Token::Word || isWord("from"))
                    return fail(QStringLiteral("expected a column name at %1").arg(near()));
                QString name = m_tokens[m_pos++].text;
                QString fieldName;
                if (!alias(&fieldName))
                    return false;
                columns.append({ name, fieldName });
            } while (acceptSymbol(","));
        }

        if (!expectWord("from"))
            return false;
        if (peek().kind != Token::Word)
            return fail(QStringLiteral("expected a table name at %1").arg(near()));
        m_table = findTable(peek().text);
        if (!m_table)
            return fail(QStringLiteral("there is no table %1").arg(peek().text));
        ++m_pos;
        const QString tableName = QLatin1StringView(m_table->name).toString();

        QStringList selected;
        switch (list) {
        case ListKind::All:
            for (int i = 0; i < m_table->count; ++i) {
                selected.append(QLatin1StringView(m_table->columns[i].name).toString());
                m_out.fields.append(fieldOf(m_table->columns[i]));
            }
            break;
        case ListKind::Count:
            selected.append(QStringLiteral("count(*)"));
            m_out.fields.append({ countName, 4, DriverValueKind::Integer });
            break;
        case ListKind::Columns:
            for (const auto &[name, fieldName] : columns) {
                const Column *c = findColumn(*m_table, name);
                if (!c)
                    return fail(QStringLiteral("there is no column %1 in %2").arg(name, tableName));
                selected.append(QLatin1StringView(c->name).toString());
                DriverField field = fieldOf(*c);
                if (!fieldName.isEmpty())
                    field.name = fieldName;
                m_out.fields.append(field);
            }
            break;
        }

        m_out.sql = QStringLiteral("SELECT ") + selected.join(QStringLiteral(", "))
            + QStringLiteral(" FROM ") + tableName;
        if (acceptWord("where")) {
            QString condition;
            if (!expression(&condition, 0))
                return false;
            m_out.sql += QStringLiteral(" WHERE ") + condition;
        }
        if (acceptWord("order")) {
            if (!expectWord("by"))
                return false;
            QStringList order;
            do {
                if (peek().kind != Token::Word)
                    return fail(QStringLiteral("expected a column name at %1").arg(near()));
                const Column *c = findColumn(*m_table, peek().text);
                if (!c)
                    return fail(
                        QStringLiteral("there is no column %1 in %2").arg(peek().text, tableName));
                ++m_pos;
                QString item = QLatin1StringView(c->name).toString();
                if (acceptWord("desc"))
                    item += QStringLiteral(" DESC");
                else
                    acceptWord("asc");
                order.append(item);
            } while (acceptSymbol(","));
            m_out.sql += QStringLiteral(" ORDER BY ") + order.join(QStringLiteral(", "));
        }
        if (peek().kind != Token::End)
            return fail(QStringLiteral("unexpected %1").arg(near()));

        const qint64 limit = top >= 0 ? qMin(top, qint64(m_rowLimit) + 1) : qint64(m_rowLimit) + 1;
        m_out.sql += QStringLiteral(" LIMIT ?");
        m_out.bindings.append(limit);
        return true;
    }

    // condition: term { or term }
    bool expression(QString *sql, int depth)
    {
        if (depth > kMaxDepth)
            return fail(QStringLiteral("the condition is nested too deeply"));
        QString left;
        if (!term(&left, depth))
            return false;
        while (acceptWord("or")) {
            QString right;
            if (!term(&right, depth))
                return false;
            left += QStringLiteral(" OR ") + right;
        }
        *sql = left;
        return true;
    }

    // term: factor { and factor }
    bool term(QString *sql, int depth)
    {
        QString left;
        if (!factor(&left, depth))
            return false;
        while (acceptWord("and")) {
            QString right;
            if (!factor(&right, depth))
                return false;
            left += QStringLiteral(" AND ") + right;
        }
        *sql = left;
        return true;
    }

    // factor: not factor | ( condition ) | predicate
    bool factor(QString *sql, int depth)
    {
        if (depth > kMaxDepth)
            return fail(QStringLiteral("the condition is nested too deeply"));
        if (acceptWord("not")) {
            QString inner;
            if (!factor(&inner, depth + 1))
                return false;
            *sql = QStringLiteral("NOT ") + inner;
            return true;
        }
        if (acceptSymbol("(")) {
            QString inner;
            if (!expression(&inner, depth + 1) || !expectSymbol(")"))
                return false;
            *sql = QLatin1Char('(') + inner + QLatin1Char(')');
            return true;
        }
        return predicate(sql);
    }

    bool predicate(QString *sql)
    {
        if (peek().kind != Token::Word)
            return fail(QStringLiteral("expected a column name at %1").arg(near()));
        const Column *c = findColumn(*m_table, peek().text);
        if (!c)
            return fail(QStringLiteral("there is no column %1 in %2")
                            .arg(peek().text, QLatin1StringView(m_table->name)));
        ++m_pos;
        const QString column = QLatin1StringView(c->name).toString();

        if (acceptWord("is")) {
            const bool negated = acceptWord("not");
            if (!expectWord("null"))
                return false;
            *sql = QLatin1Char('(') + column
                + (negated ? QStringLiteral(" IS NOT NULL)") : QStringLiteral(" IS NULL)"));
            return true;
        }

        static const char *const comparisons[] = { "=", "<>", "!=", "<", "<=", ">", ">=" };
        QString op;
        for (const char *s : comparisons)
            if (acceptSymbol(s)) {
                op = QLatin1StringView(s).toString();
                break;
            }
        if (op.isEmpty())
            return fail(QStringLiteral("expected a comparison after %1").arg(column));
        if (op == QStringLiteral("!="))
            op = QStringLiteral("<>");

        QVariant value;
        if (!literal(*c, &value))
            return false;
        m_out.bindings.append(value);
        *sql = QLatin1Char('(') + column + QLatin1Char(' ') + op + QStringLiteral(" ?)");
        return true;
    }

    // A number with its sign; false when the next tokens are not one.
    bool signedNumber(double *value)
    {
        double sign = 1;
        const qsizetype start = m_pos;
        if (acceptSymbol("-"))
            sign = -1;
        else
            acceptSymbol("+");
        if (peek().kind != Token::Number) {
            m_pos = start;
            return false;
        }
        *value = sign * ValueText::numericValue(m_tokens[m_pos++].text);
        return true;
    }

    bool literal(const Column &c, QVariant *value)
    {
        const QString column = QLatin1StringView(c.name).toString();
        double number = 0;
        switch (c.kind) {
        case DriverValueKind::Integer:
            if (!signedNumber(&number))
                return fail(
                    QStringLiteral("%1 is compared with a number, not %2").arg(column, near()));
            if (number == std::trunc(number) && std::fabs(number) < 9.0e15)
                *value = static_cast<qint64>(number);
            else
                *value = number;
            return true;
        case DriverValueKind::Text:
            if (peek().kind != Token::String)
                return fail(
                    QStringLiteral("%1 is compared with a 'text', not %2").arg(column, near()));
            *value = m_tokens[m_pos++].text;
            return true;
        case DriverValueKind::Time: {
            SiteTime time;
            if (peek().kind == Token::Date) {
                time = SiteTime::fromDateTime(ValueText::parseDateTime(peek().text));
                if (!time.isValid())
                    return fail(QStringLiteral("#%1# is not a date").arg(peek().text));
                ++m_pos;
            } else if (signedNumber(&number)) {
                // A date as a number: days since the zero date, the time as the fraction.
                if (!std::isfinite(number) || std::fabs(number) > 3.0e6)
                    return fail(QStringLiteral("the date number is out of range"));
                const qint64 seconds = std::llround(number * 86400.0);
                time = SiteTime::fromDateTime(DateText::zeroDate()).addSecs(seconds);
                if (!time.isValid() || time.date().year() > 9999)
                    return fail(QStringLiteral("the date number is out of range"));
            } else {
                return fail(
                    QStringLiteral("%1 is compared with a #date#, not %2").arg(column, near()));
            }
            *value = time.toText();
            return true;
        }
        case DriverValueKind::Bytes:
            break;
        }
        return fail(QStringLiteral("%1 cannot be compared").arg(column));
    }

    const QList<Token> &m_tokens;
    int m_rowLimit;
    qsizetype m_pos = 0;
    const Table *m_table = nullptr;
    DriverStatement m_out;
    QString m_error;
};

} // namespace

namespace DriverQuery {

std::optional<DriverStatement> translate(QStringView text, int rowLimit, QString *error)
{
    QString ignored;
    if (!error)
        error = &ignored;
    if (text.size() > kMaxStatementLength) {
        *error
            = QStringLiteral("the statement is longer than %1 characters").arg(kMaxStatementLength);
        return std::nullopt;
    }
    QList<Token> tokens;
    if (!Tokenizer(text).run(&tokens, error))
        return std::nullopt;
    return Parser(tokens, qMax(rowLimit, 0)).parse(error);
}

} // namespace DriverQuery
