#include "reportfixture.h"
#include "reports/dailyreport.h"
#include "reports/htmlreports.h"

#include <QLocale>
#include <QTest>

using namespace HTMLReports;
using namespace Qt::StringLiterals;

namespace {

const QDate kDay(2026, 3, 10); // a Tuesday
const QDateTime kReportEnd(kDay.addDays(1), QTime(3, 0));

QDateTime at(int hour, int minute = 0, int second = 0)
{
    return QDateTime(kDay, QTime(hour, minute, second));
}

} // namespace

class TestDailyReport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void testLocationSummary_data();
    void testLocationSummary();
    void testPresentationSummary();
    void testShowClasses_data();
    void testShowClasses();
    void testShowWithoutStartEvent();
    void testShowDetails();
    void testMaintenancePerformed();
    void testDailyPage();
    void testDayWithoutShows();
};

void TestDailyReport::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void TestDailyReport::testLocationSummary_data()
{
    QTest::addColumn<int>("showsToday");
    QTest::addColumn<QStringList>("cells");

    // Today 1 interruption of 300 s and 2 faults; 1 March 2 interruptions of 100 s in 10 shows;
    // 15 January (before the month) 4 interruptions of 400 s and 4 faults in 20 shows.
    QTest::newRow("nine shows today")
        << 9
        << QStringList { u"N/A"_s, u"15.79%"_s, u"17.95%"_s, u"05:00"_s, u"02:13"_s, u"01:54"_s,
               u"22.22%"_s, u"10.53%"_s, u"15.38%"_s };
    QTest::newRow("ten shows today")
        << 10
        << QStringList { u"10.00%"_s, u"15.00%"_s, u"17.50%"_s, u"05:00"_s, u"02:13"_s, u"01:54"_s,
               u"20.00%"_s, u"10.00%"_s, u"15.00%"_s };
    QTest::newRow("no row for today")
        << 0
        << QStringList { u"N/A"_s, u"20.00%"_s, u"20.00%"_s, u"00:00"_s, u"00:50"_s, u"01:23"_s,
               u"0.00%"_s, u"0.00%"_s, u"13.33%"_s };
}

void TestDailyReport::testLocationSummary()
{
    QFETCH(int, showsToday);
    QFETCH(QStringList, cells);
    ReportFixture fixture;
    QVERIFY(fixture.isReady());
    QVERIFY(fixture.addDailySummary(QDate(2026, 1, 15), 20, 4, 4, 400));
    QVERIFY(fixture.addDailySummary(QDate(2026, 3, 1), 10, 2, 0, 100));
    if (showsToday > 0)
        QVERIFY(fixture.addDailySummary(kDay, showsToday, 1, 2, 300));
    QVERIFY(fixture.addDailySummary(kDay.addDays(1), 50, 50, 0, 5000)); // after the report day

    DailySummaryReport report;
    const QString html = report.LocationSummary(kDay);
    QVERIFY(html.startsWith(u"<H3><U>Location Summary: </U></H3>"_s));
    QCOMPARE(cellTexts(between(html, u"<TR BGCOLOR = '#FFFAAA'>"_s, u"</TR>"_s)), cells);
    QCOMPARE(cellTexts(html).mid(0, 5),
        (QStringList { u"Customer Interruptions"_s, u"Non Presentation Faults"_s,
            u"Avg. Prob Shows / Shows Shown"_s, u"Avg. Down Time / Prob Show"_s,
            u"Avg. Prob Shows / Shows Shown"_s }));
}

void TestDailyReport::testPresentationSummary()
{
    ReportFixture fixture;
    QVERIFY(fixture.isReady());
    // House 1: a clean show, 2 s of down time (no problem), 3 s mid-show (visible).
    QVERIFY(fixture.addShow(101, 1, at(14), 6000, 0));
    QVERIFY(fixture.addShow(102, 1, at(16), 6000, 2));
    QVERIFY(fixture.addShow(103, 1, at(18), 6000, 3));
    // House 3: nine shows fill a row longer than eight cells; one is a timed start.
    for (int i = 0; i < 9; ++i)
        QVERIFY(fixture.addShow(301 + i, 3, at(12 + i), 1800, 0));
    QVERIFY(fixture.addEvent({ .showId = 310,
        .netId = 3,
        .code = 2,
        .time = at(23),
        .flag1 = ReportFixture::StartFlag }));
    // House 4 only logged a reset outside any show; shows of the day before are not listed.
    QVERIFY(fixture.addEvent({ .showId = 0, .netId = 4, .code = 35, .time = at(9) }));
    QVERIFY(fixture.addShow(99, 2, at(1), 6000, 500));

    DailySummaryReport report;
    const QString html = report.PresentationSummary(kReportEnd);
    QVERIFY(report.ShowDetailsWanted());
    QCOMPARE(report.records().size(), 13);

    const QString pad = u"<TD width = 90><FONT = 'Arial' SIZE = '1'>&nbsp;</TD>"_s;
    const QString house1 = between(html, u"House # 1"_s, u"</TR>"_s);
    QCOMPARE(cellTexts(u"<TD>"_s + house1).mid(1),
        (QStringList { u"2:00 PM (m)"_s, u"4:00 PM (m)"_s, u"6:00 PM (m)**"_s, u"&nbsp;"_s,
            u"&nbsp;"_s, u"&nbsp;"_s, u"&nbsp;"_s, u"&nbsp;"_s }));
    QCOMPARE(house1.count(pad), 5);
    QVERIFY(house1.contains(u"BGCOLOR = '#FF0000'><FONT FACE = 'Arial' SIZE = 1><B><A HREF = "
                            "'#103'><FONT COLOR = '#0000ff'>6:00 PM (m)</FONT></A>**</B>"_s));
    const QString house3 = between(html, u"House # 3"_s, u"</TR>"_s);
    QCOMPARE(cellTexts(u"<TD>"_s + house3).size(), 11);
    QVERIFY(house3.contains(u"11:00 PM (t)"_s));
    QVERIFY(!house3.contains(pad));
    QVERIFY(!html.contains(u"House # 4"_s));
    QVERIFY(!html.contains(u"House # 2"_s));
    QVERIFY(html.contains(
        u"Shows with visible interruptions: 1     Shows with non-presentation faults: 0"_s));
}

void TestDailyReport::testShowClasses_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("down");
    QTest::addColumn<int>("stopAfter");
    QTest::addColumn<int>("displayClass");
    QTest::addColumn<QString>("explanation");
    QTest::addColumn<QString>("mark");

    const QString delay = u"* This problem occured at the beginning of the show resulting in a "
                          "show delay of "_s;
    QTest::newRow("2 seconds") << 6000 << 2 << 600 << 0 << QString() << QString();
    QTest::newRow("3 seconds mid-show") << 6000 << 3 << 600 << 2 << QString() << u"**"_s;
    QTest::newRow("200 s at the start")
        << 6000 << 200 << 2 << 1 << delay + u"3 minutes, 20 seconds."_s << u"*"_s;
    QTest::newRow("400 s at the start")
        << 6000 << 400 << 2 << 2 << delay + u"6 minutes, 40 seconds."_s << u"**"_s;
    QTest::newRow("short show")
        << 1200 << 60 << 300 << 1
        << u"* This was probably not a real show based on it's length, but may be tied to the "
           "next show."_s
        << u"*"_s;
    QTest::newRow("down time at the end")
        << 6000 << 120 << 6000 - 121 << 1
        << u"* This may not have been a real problem. All the down time came at the end of the "
           "show."_s
        << u"*"_s;
    QTest::newRow("an hour") << 9000 << 3600 << 600 << 0 << QString() << QString();
}

void TestDailyReport::testShowClasses()
{
    QFETCH(int, length);
    QFETCH(int, down);
    QFETCH(int, stopAfter);
    QFETCH(int, displayClass);
    QFETCH(QString, explanation);
    QFETCH(QString, mark);
    ReportFixture fixture;
    QVERIFY(fixture.isReady());
    QVERIFY(fixture.addShow(7, 2, at(19, 5), length, down, stopAfter));

    DailySummaryReport report;
    const QString html = report.PresentationSummary(kReportEnd);
    QCOMPARE(report.records().size(), 1);
    const ShowDisplayRecord &show = report.records().first();
    QCOMPARE(show.DisplayClass, displayClass);
    QCOMPARE(show.Explanation, explanation);
    QCOMPARE(show.Down, down);
    QCOMPARE(report.ShowDetailsWanted(), displayClass != 0);
    QCOMPARE(
        cellTexts(between(html, u"House # 2"_s, u"</TR>"_s)).value(0), u"7:05 PM (m)"_s + mark);
    const QString cellColor = displayClass == 2 ? u"'#FF0000'"_s : u"'#FFC000'"_s;
    QCOMPARE(html.contains(u"ALIGN = 'RIGHT' BGCOLOR = "_s + cellColor), displayClass != 0);
}

void TestDailyReport::testShowWithoutStartEvent()
{
    ReportFixture fixture;
    QVERIFY(fixture.isReady());
    QVERIFY(fixture.addEvent({ .showId = 5,
        .netId = 1,
        .code = 9,
        .time = at(20),
        .flag2 = ReportFixture::RunningFlag }));
    QVERIFY(fixture.addEvent({ .showId = 5,
        .netId = 1,
        .code = 4,
        .time = at(21, 40),
        .down = 30,
        .flag1 = ReportFixture::EndFlag }));

    DailySummaryReport report;
    const QString html = report.PresentationSummary(kReportEnd);
    const ShowDisplayRecord &show = report.records().value(0);
    QCOMPARE(show.StartType, u"***"_s);
    QCOMPARE(show.StartTime, at(20));
    QCOMPARE(show.RunningTime, u"01:39:30"_s);
    QCOMPARE(cellTexts(between(html, u"House # 1"_s, u"</TR>"_s)).value(0), u"8:00 PM**"_s);
}

void TestDailyReport::testShowDetails()
{
    ReportFixture fixture;
    QVERIFY(fixture.isReady());
    QVERIFY(fixture.addOperator(7, u"Pat <Night> & Co"_s));
    using Event = ReportFixture::Event;
    const int running = ReportFixture::RunningFlag;
    const QList<Event> show = {
        { .showId = 55,
            .netId = 2,
            .code = 3,
            .time = at(19, 5),
            .flag1 = ReportFixture::StartFlag,
            .flag2 = running | 1,
            .iLoop = 4,
            .prog = 12 },
        { .showId = 55,
            .netId = 2,
            .code = 44,
            .time = at(19, 5, 1),
            .flag1 = ReportFixture::CueFlag,
            .flag2 = running },
        { .showId = 55,
            .netId = 2,
            .code = 42,
            .time = at(19, 6),
            .flag1 = ReportFixture::CueFlag,
            .flag2 = running },
        { .showId = 55,
            .netId = 2,
            .code = 39,
            .time = at(19, 7),
            .flag1 = ReportFixture::CueFlag,
            .flag2 = running },
        { .showId = 55,
            .netId = 2,
            .code = 39,
            .time = at(19, 8),
            .flag1 = ReportFixture::CueFlag,
            .flag2 = running,
            .cue = 5 },
        { .showId = 55, .netId = 2, .code = 9, .time = at(19, 9) },
        { .showId = 55, .netId = 2, .code = 11, .time = at(19, 30), .flag2 = running },
        { .showId = 55,
            .netId = 2,
            .code = 8,
            .time = at(19, 35),
            .down = 300,
            .flag1 = ReportFixture::ResumeFlag,
            .flag2 = running },
        { .showId = 55,
            .netId = 2,
            .code = 4,
            .time = at(21, 5),
            .down = 300,
            .flag1 = ReportFixture::EndFlag,
            .flag2 = 1,
            .iLoop = 4,
            .prog = 12 },
    };
    for (const Event &event : show)
        QVERIFY(fixture.addEvent(event));
    QVERIFY(fixture.addShow(56, 2, at(13), 6000, 200, 2));

    DailySummaryReport report;
    report.PresentationSummary(kReportEnd);
    const QString html = report.ShowDetails();
    QVERIFY(html.startsWith(u"<P><H3><U>Show Details:</U></P>"_s));

    const QString details = between(html, u"<A NAME = 55>"_s, u"<A HREF='#Top'>Top</A>"_s);
    QVERIFY(details.contains(u"<H5>House # <FONT COLOR='#ff0000'>2</FONT><br>"_s));
    const QStringList cells = cellTexts(details);
    QCOMPARE(cells.mid(0, 6),
        (QStringList { u"House: 2"_s, u"Show No: 55"_s, u"Program No: 12"_s, u"Start - Clock"_s,
            u"Learning Mode"_s, u"Sync Loop 4"_s }));
    QVERIFY(cells.contains(u"07:05:00 PM, Tuesday, March, 10, 2026"_s));
    QVERIFY(cells.contains(u"09:05:00 PM, Tuesday, March, 10, 2026"_s));
    // The heading names the columns in the order of the data cells.
    const QString heading = between(details, u"<TR BGCOLOR = '#fffc77'>"_s, u"</TR>"_s);
    QCOMPARE(cellTexts(heading),
        (QStringList { u"Event"_s, u"Cue"_s, u"Time"_s, u"Elasped Time"_s, u"Parameters"_s }));

    // Event rows: automatic cue 0, in-window cue 0 and events without flags are left out.
    QVERIFY(!details.contains(u"Cue - Automatic Cue 0"_s));
    QCOMPARE(details.count(u"Cue - In Learned Window"_s), 1);
    QVERIFY(!details.contains(u"Ready To Run"_s));
    QCOMPARE(cellTexts(between(details, u"Cue - Film Sync Cue"_s, u"</TR>"_s)),
        (QStringList { u"0"_s, u"7:06:00 PM"_s, u"01:00"_s, u"&nbsp;"_s }));
    const QString fault = between(details, u"<TR BGCOLOR = '#FF0000'>"_s, u"</TR>"_s);
    QCOMPARE(cellTexts(fault).value(0), u"Fault - Film Motion"_s);
    QCOMPARE(
        cellTexts(between(details, u"Show Resumed"_s, u"</TR>"_s)).value(3), u"Down time: 05:00"_s);
    QVERIFY(details.contains(u"Total Down Time: "_s));
    QVERIFY(details.contains(u"<FONT COLOR = '#ff0000'>05:00</FONT>"_s));
    QVERIFY(cells.contains(u"01:55:00"_s));
    QVERIFY(details.contains(u"**Unknown Problem - No User Code Entered**"_s));

    // The delayed show has a user code: no unknown-problem row, its row orange with blank cue.
    QVERIFY(fixture.addEvent({ .showId = 56,
        .netId = 2,
        .code = 47,
        .time = at(14, 45),
        .flag1 = ReportFixture::UserCodeFlag,
        .p = { 7, 401, 0, -1, -1, -1, -1, 0 } }));
    report.PresentationSummary(kReportEnd);
    const QString delayed
        = between(report.ShowDetails(), u"<A NAME = 56>"_s, u"<A HREF='#Top'>Top</A>"_s);
    QVERIFY(!delayed.contains(u"Unknown Problem"_s));
    QVERIFY(delayed.contains(u"<TR BGCOLOR = '#FFC000'><TD COLSPAN = 3><FONT FACE = 'Arial' "
                             "SIZE = 1>User Code</FONT></TD>"_s));
    const QString userCodeRow = between(delayed, u"User Code</FONT>"_s, u"</TR>"_s);
    QCOMPARE(cellTexts(userCodeRow).mid(0, 3), (QStringList { u" "_s, u"2:45:00 PM"_s, u" "_s }));
    QVERIFY(userCodeRow.contains(
        u">Operator: Pat &lt;Night&gt; &amp; Co<br>Problem: Xenon failure<br></FONT>"_s));
    // Its fault was most likely not seen: orange, and the delay is explained.
    QVERIFY(delayed.contains(u"<TR BGCOLOR = '#FFC000'><TD COLSPAN = 3><FONT FACE = 'Arial' "
                             "SIZE = 1>Fault - Film Presence/Tension"_s));
    QVERIFY(delayed.contains(u"<B>* This problem occured at the beginning of the show resulting "
                             "in a show delay of 3 minutes, 20 seconds.</B>"_s));
}

void TestDailyReport::testMaintenancePerformed()
{
    ReportFixture fixture;
    QVERIFY(fixture.isReady());
    QVERIFY(fixture.addOperator(3, u"Zo\u00eb \u03a9 O'Brien"_s));
    const QDateTime t2025(QDate(2025, 1, 1), QTime(0, 0));
    const QDateTime t2027(QDate(2027, 1, 1), QTime(0, 0));
    QVERIFY(fixture.addOperator(5, u"Former"_s, t2025.addYears(-2), t2025));
    QVERIFY(fixture.addOperator(5, u"Current"_s, t2025, t2027));
    const auto entry = [&fixture](int hour, int house, int who, int equipment) {
        return fixture.addEvent({ .netId = house,
            .code = 47,
            .time = at(hour),
            .flag1 = ReportFixture::UserCodeFlag,
            .p = { who, 0, 0, -1, -1, equipment, -1, 0 } });
    };
    QVERIFY(entry(10, 4, 5, 402));
    QVERIFY(entry(9, 2, 3, 401));
    QVERIFY(entry(11, 1, 99, 999));
    QVERIFY(entry(12, 1, 3, 0)); // nothing serviced
    QVERIFY(entry(13, 1, 3, -1)); // nothing entered
    QVERIFY(
        fixture.addEvent({ .netId = 1, .code = 46, .time = at(14), .p = { 3, 0, 0, 0, 0, 401 } }));
    QVERIFY(entry(2, 1, 3, 401)); // before the period

    const QString html = MaintenancePerformed(at(3), kReportEnd);
    QVERIFY(html.startsWith(u"<H5>Maintenance Performed:</H5>"_s));
    QCOMPARE(html.count(u"<TR BGCOLOR = '#FFFAAA'>"_s), 3);
    QCOMPARE(cellTexts(html),
        (QStringList { u"Date"_s, u"House #"_s, u"Performed by"_s, u"Description"_s,
            u"Tue, Mar 10, 2026, 09:00 AM"_s, u"2"_s, u"Zo\u00eb \u03a9 O&#39;Brien"_s,
            u"Rotated xenon bulb"_s, u"Tue, Mar 10, 2026, 10:00 AM"_s, u"4"_s, u"Current"_s,
            u"Replaced xenon bulb"_s, u"Tue, Mar 10, 2026, 11:00 AM"_s, u"1"_s, u"Unknown "_s,
            QString() }));
    QVERIFY(html.endsWith(u"</TD></TR>\r\n</TABLE>\r\n"_s));

    // Stored as a page, the name outside Latin-1 becomes a character reference.
    const QString page = GenerateReport(DailyReportType, at(23, 59), {});
    QVERIFY(page.contains(u"Zo\u00eb &#937; O&#39;Brien"_s));
}

void TestDailyReport::testDailyPage()
{
    ReportFixture fixture;
    QVERIFY(fixture.isReady());
    QVERIFY(fixture.addShow(1, 1, at(14), 6000, 0));
    QVERIFY(fixture.addShow(2, 1, at(17), 6000, 45));
    QVERIFY(fixture.addEvent({ .code = 9, .time = at(1) }));

    const QString page = GenerateReport(DailyReportType, at(23, 59), {});
    const QStringList order = { u"<body BGCOLOR='#FFFEEE'>"_s, u"<A NAME = 'Top'>"_s,
        u"Daily Summary Report for Tuesday, March 10, 2026"_s,
        u"Event Log database for the end date."_s, u"Location Summary: "_s,
        u"Presentation Summary: "_s, u"Maintenance Performed:"_s, u"Show Details:"_s,
        u"<A NAME = 2>"_s, u"COLOR='#000088'"_s, u"</body></html>\r\n"_s };
    qsizetype position = 0;
    for (const QString &part : order) {
        const qsizetype found = page.indexOf(part, position);
        QVERIFY2(found >= 0, qPrintable(part));
        position = found + part.size();
    }
    QCOMPARE(position, page.size());
    QVERIFY(!page.contains(u"<A NAME = 1>"_s));
}

void TestDailyReport::testDayWithoutShows()
{
    ReportFixture fixture;
    QVERIFY(fixture.isReady());
    QVERIFY(fixture.addShow(1, 1, at(14).addDays(-2), 6000, 45));
    QVERIFY(fixture.addShow(2, 1, at(14).addDays(2), 6000, 45));

    const QString page = GenerateReport(DailyReportType, at(23, 59), {});
    QVERIFY(page.contains(u"<P SIZE = 2><I>**No records are available for this date.**</I></P>"_s));
    QVERIFY(!page.contains(u"Shows Times by House"_s));
    QVERIFY(!page.contains(u"Show Details:"_s));
    QVERIFY(!page.contains(u"Note:"_s)); // the log covers both ends
}

QTEST_GUILESS_MAIN(TestDailyReport)
#include "tst_dailyreport.moc"
