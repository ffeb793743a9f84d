#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <array>

/// A new program database in a temporary folder, opened as the program's database, with the
/// default user codes and fresh settings; closed again when the fixture goes.
class ReportFixture
{
public:
    ReportFixture();
    ~ReportFixture();
    ReportFixture(const ReportFixture &) = delete;
    ReportFixture &operator=(const ReportFixture &) = delete;

    bool isReady() const { return m_ready; }
    QString folder() const { return m_dir.path(); }

    /// One EventLog row. Flag words as the unit sends them.
    struct Event
    {
        int showId = 0;
        int netId = 1;
        int code = 0;
        QDateTime time;
        int down = 0;
        int flag1 = 0;
        int flag2 = 0;
        int cue = 0;
        std::array<int, 8> p { 0, 0, 0, 0, 0, 0, 0, 0 };
        int iLoop = 1;
        int prog = 1;
    };
    /// Adds \a event with the next Evid; false when it could not be stored.
    bool addEvent(const Event &event);

    /// A whole show of house \a netId: a manual start at \a start, a fault (code 10) \a stopAfter
    /// seconds later, a resume when \a down seconds of down time are over, an end of show
    /// \a length seconds after the start; no fault when down is 0. Running flags as units send
    /// them.
    bool addShow(
        int showId, int netId, const QDateTime &start, int length, int down, int stopAfter = 600);

    bool addDailySummary(const QDate &date, int shows, int major, int minor, int downTime);
    bool addShowSummary(int showId, int netId, const QDate &date, bool critical, int down,
        bool userCode, int problem);
    bool addOperator(int proId, const QString &name, const QDateTime &startDate = {},
        const QDateTime &endDate = {});

    static constexpr int StartFlag = 256; // Flag1 "Show Start"
    static constexpr int EndFlag = 128; // Flag1 "Show End"
    static constexpr int ResumeFlag = 32; // Flag1 "Resume"
    static constexpr int CueFlag = 64; // Flag1 "Cue"
    static constexpr int UserCodeFlag = 16; // Flag1 "User Code"
    static constexpr int RunningFlag = 8; // Flag2 "Running"

private:
    QTemporaryDir m_dir;
    bool m_ready = false;
    int m_nextEvid = 1;
};

/// The part of \a html from the first \a from up to, not including, the next \a to after it;
/// empty when \a from is missing.
QString between(const QString &html, const QString &from, const QString &to);

/// The text of every table cell of \a html, in order, without its markup.
QStringList cellTexts(const QString &html);
