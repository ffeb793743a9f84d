#include "reportfixture.h"

#include "core/database.h"
#include "core/databaseschema.h"
#include "core/settingsfile.h"

#include <QRegularExpression>

ReportFixture::ReportFixture()
{
    SettingsFile::instance() = SettingsFile();
    const QString file = m_dir.filePath(QStringLiteral("Showpulse.mdb"));
    m_ready = m_dir.isValid() && CreateNewDatabase(file) && Database::instance().open(file)
        && AddDefaultUserCodes();
}

ReportFixture::~ReportFixture()
{
    Database::instance().close();
    SettingsFile::instance() = SettingsFile();
}

bool ReportFixture::addEvent(const Event &event)
{
    return ExecuteStatement(
        QStringLiteral("insert into EventLog (Evid, ShowID, NetID, EvCode, Flag1, Flag2, Down, "
                       "iLoop, Prog, Cue, P1, P2, P3, P4, P5, P6, P7, P8, EventTime) "
                       "values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
        { m_nextEvid++, event.showId, event.netId, event.code, event.flag1, event.flag2, event.down,
            event.iLoop, event.prog, event.cue, event.p[0], event.p[1], event.p[2], event.p[3],
            event.p[4], event.p[5], event.p[6], event.p[7], event.time });
}

bool ReportFixture::addShow(
    int showId, int netId, const QDateTime &start, int length, int down, int stopAfter)
{
    bool ok = addEvent({ .showId = showId,
        .netId = netId,
        .code = 1,
        .time = start,
        .flag1 = StartFlag,
        .flag2 = RunningFlag });
    if (down > 0) {
        const QDateTime stop = start.addSecs(stopAfter);
        ok = ok
            && addEvent({ .showId = showId,
                .netId = netId,
                .code = 10,
                .time = stop,
                .flag2 = RunningFlag })
            && addEvent({ .showId = showId,
                .netId = netId,
                .code = 8,
                .time = stop.addSecs(down),
                .down = down,
                .flag1 = ResumeFlag,
                .flag2 = RunningFlag });
    }
    return ok
        && addEvent({ .showId = showId,
            .netId = netId,
            .code = 4,
            .time = start.addSecs(length),
            .down = down,
            .flag1 = EndFlag });
}

bool ReportFixture::addDailySummary(
    const QDate &date, int shows, int major, int minor, int downTime)
{
    return ExecuteStatement(
        QStringLiteral("insert into DailySummary (Date, ShowCount, MajorProblem, MinorProblem, "
                       "DownTime, LastShowID, NonMajorDownTime) values (?, ?, ?, ?, ?, 0, 0)"),
        { date, shows, major, minor, downTime });
}

bool ReportFixture::addShowSummary(
    int showId, int netId, const QDate &date, bool critical, int down, bool userCode, int problem)
{
    return ExecuteStatement(
        QStringLiteral("insert into ShowSummary (ShowID, NetID, Date, Critical, Down, "
                       "UserCodeEntered, Problem) values (?, ?, ?, ?, ?, ?, ?)"),
        { showId, netId, date, critical, down, userCode, problem });
}

bool ReportFixture::addOperator(
    int proId, const QString &name, const QDateTime &startDate, const QDateTime &endDate)
{
    return ExecuteStatement(
        QStringLiteral("insert into Operators (ID, ProName, ProID, StartDate, EndDate) values "
                       "(?, ?, ?, ?, ?)"),
        { proId, name, proId, startDate.isValid() ? QVariant(startDate) : QVariant(),
            endDate.isValid() ? QVariant(endDate) : QVariant() });
}

QString between(const QString &html, const QString &from, const QString &to)
{
    const qsizetype start = html.indexOf(from);
    if (start < 0)
        return {};
    const qsizetype end = html.indexOf(to, start + from.size());
    return end < 0 ? html.mid(start) : html.mid(start, end - start);
}

QStringList cellTexts(const QString &html)
{
    static const QRegularExpression cell(QStringLiteral("<TD[^>]*>(.*?)</TD>"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression tag(QStringLiteral("<[^>]*>"));
    QStringList texts;
    for (const QRegularExpressionMatch &match : cell.globalMatch(html))
        texts.append(match.captured(1).remove(tag));
    return texts;
}
