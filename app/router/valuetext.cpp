#include "router/valuetext.h"

#include "core/datetext.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <string>

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

struct NumberScan
{
    bool found = false;
    qsizetype end = 0; // index just after the number
    double value = 0;
};

// Reads the longest decimal number at the start of the text (after blanks).
NumberScan scanNumber(QStringView text)
{
    NumberScan scan;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n && isBlank(text[i]))
        ++i;

    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    std::string intDigits;
    while (i < n && isDigit(text[i]))
        intDigits += char(text[i++].unicode());
    std::string fracDigits;
    if (i < n && text[i] == u'.') {
        qsizetype j = i + 1;
        while (j < n && isDigit(text[j]))
            fracDigits += char(text[j++].unicode());
        if (!intDigits.empty() || !fracDigits.empty())
            i = j;
    }
    if (intDigits.empty() && fracDigits.empty())
        return scan;

    // The exponent only counts when at least one digit follows the E and its sign.
    long long exponent = 0;
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        qsizetype j = i + 1;
        bool expNegative = false;
        if (j < n && (text[j] == u'+' || text[j] == u'-')) {
            expNegative = text[j] == u'-';
            ++j;
        }
        if (j < n && isDigit(text[j])) {
            while (j < n && isDigit(text[j])) {
                // Held far beyond any double's range so that the digits cannot overflow.
                if (exponent < 1000000)
                    exponent = exponent * 10 + (text[j].unicode() - u'0');
                ++j;
            }
            if (expNegative)
                exponent = -exponent;
            i = j;
        }
    }

    scan.found = true;
    scan.end = i;

    std::string literal = intDigits.empty() ? std::string("0") : intDigits;
    literal += '.';
    literal += fracDigits.empty() ? std::string("0") : fracDigits;
    literal += 'e';
    literal += std::to_string(exponent);

    double value = 0;
    const auto result = std::from_chars(literal.data(), literal.data() + literal.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        // Decide between overflow and underflow by the decimal position of the first digit.
        const auto firstInt = intDigits.find_first_not_of('0');
        long long magnitude = 0;
        if (firstInt != std::string::npos) {
            magnitude = static_cast<long long>(intDigits.size() - firstInt);
        } else {
            const auto firstFrac = fracDigits.find_first_not_of('0');
            magnitude = firstFrac == std::string::npos ? std::numeric_limits<long long>::min() / 2
                                                       : -static_cast<long long>(firstFrac);
        }
        value = magnitude + exponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    }
    scan.value = negative ? -value : value;
    return scan;
}

struct DateToken
{
    enum Kind { Number, Separator, AmPm };
    Kind kind;
    int value; // the number; for AmPm 0 = AM, 1 = PM
    int digits;
    QChar separator;
};

// Splits date text into numbers, separators and AM/PM; blanks between them are ignored.
std::optional<QList<DateToken>> tokenizeDate(QStringView text)
{
    QList<DateToken> tokens;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = text[i];
        if (isBlank(c)) {
            ++i;
        } else if (isDigit(c)) {
            int value = 0;
            int digits = 0;
            while (i < n && isDigit(text[i])) {
                if (++digits > 4)
                    return std::nullopt;
                value = value * 10 + (text[i++].unicode() - u'0');
            }
            tokens.append({ DateToken::Number, value, digits, QChar() });
        } else if (c == u'/' || c == u'-' || c == u':') {
            tokens.append({ DateToken::Separator, 0, 0, c });
            ++i;
        } else if (i + 1 < n && (text[i + 1] == u'm' || text[i + 1] == u'M')
            && (c == u'a' || c == u'A' || c == u'p' || c == u'P')) {
            tokens.append({ DateToken::AmPm, (c == u'p' || c == u'P') ? 1 : 0, 0, QChar() });
            i += 2;
        } else {
            return std::nullopt;
        }
    }
    return tokens;
}

class DateParser
{
public:
    explicit DateParser(const QList<DateToken> &tokens)
        : m_tokens(tokens)
    {
    }

    bool parse(std::optional<QDate> *date, std::optional<QTime> *time)
    {
        if (m_tokens.isEmpty())
            return false;
        if (isTimeAhead()) {
            if (!parseTime(time))
                return false;
        } else {
            if (!parseDate(date))
                return false;
            if (m_pos < m_tokens.size() && !parseTime(time))
                return false;
        }
        return m_pos == m_tokens.size();
    }

private:
    bool isTimeAhead() const
    {
        return m_tokens.size() > 1 && m_tokens[1].kind == DateToken::Separator
            && m_tokens[1].separator == u':';
    }

    bool number(int *value, int *digits = nullptr)
    {
        if (m_pos >= m_tokens.size() || m_tokens[m_pos].kind != DateToken::Number)
            return false;
        *value = m_tokens[m_pos].value;
        if (digits)
            *digits = m_tokens[m_pos].digits;
        ++m_pos;
        return true;
    }

    bool separator(QChar expected)
    {
        if (m_pos >= m_tokens.size() || m_tokens[m_pos].kind != DateToken::Separator
            || m_tokens[m_pos].separator != expected)
            return false;
        ++m_pos;
        return true;
    }

    bool parseDate(std::optional<QDate> *date)
    {
        int a = 0, b = 0, c = 0, aDigits = 0, cDigits = 0;
        if (!number(&a, &aDigits) || m_pos >= m_tokens.size())
            return false;
        const QChar sep = m_tokens[m_pos].separator;
        if (sep != u'/' && sep != u'-')
            return false;
        if (!separator(sep) || !number(&b) || !separator(sep) || !number(&c, &cDigits))
            return false;
        // A year written first (ISO order) has at least three digits; otherwise the driver's
        // month/day/year order.
        int year = 0, month = 0, day = 0;
        if (aDigits >= 3) {
            year = a;
            month = b;
            day = c;
        } else {
            month = a;
            day = b;
            year = cDigits <= 2 ? (c < 30 ? 2000 + c : 1900 + c) : c;
        }
        const QDate value(year, month, day);
        if (!value.isValid() || year < 100)
            return false;
        *date = value;
        return true;
    }

    bool parseTime(std::optional<QTime> *time)
    {
        int hour = 0, minute = 0, second = 0;
        if (!number(&hour) || !separator(u':') || !number(&minute))
            return false;
        if (m_pos < m_tokens.size() && m_tokens[m_pos].kind == DateToken::Separator) {
            if (!separator(u':') || !number(&second))
                return false;
        }
        if (m_pos < m_tokens.size() && m_tokens[m_pos].kind == DateToken::AmPm) {
            const bool pm = m_tokens[m_pos++].value == 1;
            if (hour > 12)
                return false;
            if (pm && hour < 12)
                hour += 12;
            else if (!pm && hour == 12)
                hour = 0;
        }
        if (!QTime::isValid(hour, minute, second))
            return false;
        *time = QTime(hour, minute, second);
        return true;
    }

    const QList<DateToken> &m_tokens;
    qsizetype m_pos = 0;
};

bool parseParts(QStringView text, std::optional<QDate> *date, std::optional<QTime> *time)
{
    const auto tokens = tokenizeDate(text);
    if (!tokens)
        return false;
    DateParser parser(*tokens);
    return parser.parse(date, time);
}

QString numberText(double value, int precision)
{
    if (std::isfinite(value) && value == std::trunc(value) && std::fabs(value) < 1e15)
        return QString::number(static_cast<qint64>(value));
    return QString::number(value, 'g', precision);
}

} // namespace

namespace ValueText {

double numericValue(QStringView text)
{
    return scanNumber(text).value;
}

bool isNumber(QStringView text)
{
    const NumberScan scan = scanNumber(text);
    return scan.found && trimBlanks(text.mid(scan.end)).isEmpty();
}

double roundHalfEven(double value)
{
    const double floor = std::floor(value);
    const double rest = value - floor;
    if (rest > 0.5)
        return floor + 1;
    if (rest < 0.5)
        return floor;
    return std::fmod(floor, 2.0) == 0 ? floor : floor + 1;
}

qint32 int32Value(QStringView text)
{
    const double value = roundHalfEven(numericValue(text));
    if (value <= std::numeric_limits<qint32>::min())
        return std::numeric_limits<qint32>::min();
    if (value >= std::numeric_limits<qint32>::max())
        return std::numeric_limits<qint32>::max();
    return static_cast<qint32>(value);
}

QDateTime parseDateTime(QStringView text)
{
    std::optional<QDate> date;
    std::optional<QTime> time;
    if (!parseParts(text, &date, &time))
        return {};
    return QDateTime(date.value_or(DateText::zeroDate().date()), time.value_or(QTime(0, 0)));
}

QDateTime dateTimeValue(QStringView text)
{
    const QDateTime value = parseDateTime(text);
    return value.isValid() ? value : DateText::zeroDate();
}

QDateTime timeValue(QStringView text)
{
    std::optional<QDate> date;
    std::optional<QTime> time;
    if (!parseParts(text, &date, &time))
        return DateText::zeroDate();
    return QDateTime(DateText::zeroDate().date(), time.value_or(QTime(0, 0)));
}

QString dateText(const QDateTime &dateTime)
{
    const QDate date = dateTime.date();
    const QTime time = dateTime.time();
    return QStringLiteral("%1/%2/%3 %4:%5:%6")
        .arg(date.month())
        .arg(date.day())
        .arg(date.year())
        .arg(time.hour())
        .arg(time.minute(), 2, 10, QLatin1Char('0'))
        .arg(time.second(), 2, 10, QLatin1Char('0'));
}

QString generalText(const QVariant &value)
{
    if (value.isNull())
        return {};
    switch (value.metaType().id()) {
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::Double:
        return numberText(value.toDouble(), 15);
    case QMetaType::Float:
        return numberText(value.toFloat(), 7);
    case QMetaType::QDateTime:
        return dateText(value.toDateTime());
    case QMetaType::QDate:
        return dateText(value.toDate().startOfDay()).section(u' ', 0, 0);
    case QMetaType::QTime:
        return dateText(QDateTime(DateText::zeroDate().date(), value.toTime())).section(u' ', 1, 1);
    case QMetaType::QByteArray:
        return QString::fromLatin1(value.toByteArray());
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::Short:
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
        return QString::number(value.toLongLong());
    case QMetaType::UChar:
    case QMetaType::UShort:
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        return QString::number(value.toULongLong());
    default:
        return value.toString();
    }
}

QStringView trimBlanks(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

} // namespace ValueText
