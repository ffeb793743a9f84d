#include "core/database.h"
#include "reportfixture.h"
#include "reports/htmlreports.h"
#include "reports/periodicreports.h"

#include <QLocale>
#include <QTest>

using namespace HTMLReports;
using namespace Qt::StringLiterals;

namespace {

const QString kRow = u"<TR BGCOLOR = '#FFFAAA'>"_s;

// The label and value cells of every bar of the charts in \a html, in order.
QStringList barTexts(const QString &html)
{
    QStringList texts;
    for (const QString &row : html.split(kRow).mid(1))
        texts.append(cellTexts(row.section(u"<TD BGCOLOR"_s, 0, 0)).join(u'|'));
    return texts;
}

} // namespace

class TestPeriodicReports : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void testBarChartHeading();
    void testBarChart_data();
    void testBarChart();
    void testWeeklySummary();
    void testWeeklySummaryWithoutShows();
    void testProblemsByDay();
    void testProblemsByHouse();
    void testProblemsByHouseWithoutRecords();
    void testInterruptionsByType();
    void testProblemsByMonth();
    void testPages_data();
    void testPages();
};

void TestPeriodicReports::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void TestPeriodicReports::testBarChartHeading()
{
    const QString html = BarChart(240, u"Day"_s, u"Count"_s, {});
    QString expected = u"<P></P><TABLE border = '0' cellspacing = '0' WIDTH =  240 BGCOLOR = "
                       "'#FFFAAA'><TR ><TD  WIDTH = 21 BGCOLOR = '#FFFC77'><FONT FACE = 'Arial' "
                       "SIZE = 1>Day</TD><TD  WIDTH = 15 BGCOLOR = '#FFFC77'><FONT FACE = 'Arial' "
                       "SIZE = 1>Count</TD>"_s;
    for (int i = 0; i < 21; ++i)
        expected += u"<TD BGCOLOR = '#FFFC77'><font = 'Arial' size = '0'>&nbsp;</TD>"_s;
    QCOMPARE(html, expected + u"</TR></TABLE>"_s);
}

void TestPeriodicReports::testBarChart_data()
{
    QTest::addColumn<QList<qint64>>("values");
    QTest::addColumn<QString>("firstRowBar");

    const QString red = u"<TD BGCOLOR = '#FF0000' ALIGN = 'Right' COLSPAN = "_s;
    const QString font = u"<font face='Arial' size = '0'>"_s;
    const auto filler = [&font](int cells) -> QString {
        return u"<TD BGCOLOR = '#FFFAAA' COLSPAN = "_s + QString::number(cells) + u">"_s + font
            + u"&nbsp;</TD>\r\n"_s;
    };
    QTest::newRow("largest value fills the bar")
        << QList<qint64> { 40, 10 } << red + u" 21>\r\n"_s + font + u"+</TD></TR>"_s;
    QTest::newRow("a quarter of the largest") << QList<qint64> { 10,
        40 } << red + u" 5>\r\n"_s + font + u"&nbsp;</TD>"_s + filler(16) + u"</TR>"_s;
    QTest::newRow("zero is drawn empty")
        << QList<qint64> { 0, 40 }
        << u"<TD BGCOLOR = '#FFFAAA' ALIGN = 'Right' COLSPAN =  1>\r\n"_s + font + u"&nbsp;</TD>"_s
            + filler(20) + u"</TR>"_s;
    QTest::newRow("small numbers count one cell each") << QList<qint64> { 3,
        1 } << red + u" 3>\r\n"_s + font + u"&nbsp;</TD>"_s + filler(18) + u"</TR>"_s;
    QTest::newRow("a sliver still shows") << QList<qint64> { 1,
        100 } << red + u" 1>\r\n"_s + font + u"&nbsp;</TD>"_s + filler(20) + u"</TR>"_s;
    QTest::newRow("more than twenty steps is a full bar")
        << QList<qint64> { 29, 5 } << red + u" 21>\r\n"_s + font + u"+</TD></TR>"_s;
}

void TestPeriodicReports::testBarChart()
{
    QFETCH(QList<qint64>, values);
    QFETCH(QString, firstRowBar);
    QList<BarChartItem> items;
    for (const qint64 value : values)
        items.append({ u"Day <x>"_s, QString::number(value), value, VisibleProblemColor });
    const QString html = BarChart(240, u"Day"_s, u"Count"_s, items);

    const QString firstRow = between(html, kRow, u"</TR>"_s) + u"</TR>"_s;
    QCOMPARE(firstRow,
        kRow
            + u"<TD nowrap WIDTH=60><FONT FACE = 'Arial' SIZE = 1>Day &lt;x&gt;</TD>\r\n"
              "<TD WIDTH = 30 ALIGN='CENTER'><FONT FACE = 'Arial' SIZE = 1>"_s
            + QString::number(values.first()) + u"</TD>\r\n"_s + firstRowBar);
    QCOMPARE(html.count(kRow), values.size());
    QVERIFY(html.endsWith(u"</TR></TABLE>"_s));
}

void TestPeriodicReports::testWeeklySummary()
{
    ReportFixture fixture;
    QVERIFY(fixture.isReady());
    // The week ends on Saturday 7 March; only its first day, Sunday 1 March, had shows.
    QVERIFY(fixture.addDailySummary(QDate(2026, 3, 1), 12, 3, 1, 600));
    QVERIFY(fixture.addDailySummary(QDate(2026, 2, 28), 8, 2, 0, 100));
    QVERIFY(fixture.addDailySummary(QDate(2026, 2, 21), 5, 0, 0, 0));
    QVERIFY(fixture.addDailySummary(QDate(2026, 3, 8), 99, 9, 9, 999));

    const QString html = WeeklySummary(QDate(2026, 3, 7));
    QVERIFY(html.startsWith(u"<H5>Weekly Summary:</H5><P></P>"_s));
    QCOMPARE(cellTexts(html),
        (QStringList { u"&nbsp;"_s, u"This Week"_s, u"Last Week"_s, u"Cumulative"_s,
            u"Shows Shown"_s, u"12"_s, u"8"_s, u"25"_s,
            u"Percentage of Shows with Presentation Interruptions"_s, u"25.00%"_s, u"25.00%"_s,
            u"20.00%"_s, u"Percentage of Shows with Non-Presentation Faults"_s, u"8.33%"_s,
            u"0.00%"_s, u"4.00%"_s, u"Avg Downtime for Shows with Presentation Interruptions"_s,
            u"03:20"_s, u"00:50"_s, u"02:20"_s }));
    QVERIFY(html.contains(u"<TR BGCOLOR = '#FFFC77'><TD><FONT FACE = 'Arial' SIZE = 1>Shows "
                          "Shown"_s));
}

void TestPeriodicReports::testWeeklySummaryWithoutShows()
{
    ReportFixture fixture;
    QVERIFY(fixture.isReady());
    const QStringList cells = cellTexts(WeeklySummary(QDate(2026, 3, 7)));
    QCOMPARE(cells.mid(4),
        (QStringList { u"Shows Shown"_s, u"0"_s, u"0"_s, u"0"_s,
            u"Percentage of Shows with Presentation Interruptions"_s, u"0.00%"_s, u"0.00%"_s,
            u"0.00%"_s, u"Percentage of Shows with Non-Presentation Faults"_s, u"0.00%"_s,
            u"0.00%"_s, u"0.00%"_s, u"Avg Downtime for Shows with Presentation Interruptions"_s,
            u"00:00"_s, u"00:00"_s, u"00:00"_s }));
}

void TestPeriodicReports::testProblemsByDay()
{
    ReportFixture fixture;
    QVERIFY(fixture.isReady());
    QVERIFY(fixture.addDailySummary(QDate(2026, 2, 28), 10, 5, 5, 500)); // the week before
    QVERIFY(fixture.addDailySummary(QDate(2026, 3, 4), 10, 0, 3, 0));
    QVERIFY(fixture.addDailySummary(QDate(2026, 3, 1), 10, 2, 1, 250));

    const QString html = ProblemsByDay(QDate(2026, 3, 7));
    QVERIFY(html.startsWith(u"<H5>Problems by Day:</H5>"_s));
    QCOMPARE(cellTexts(between(html, u"<TR BGCOLOR = '#FFFCCC'>"_s, u"</TR>"_s)),
        (QStringList { u"Presentation Interruptions"_s, u"Average Down Time"_s,
            u"Non Presentation Faults"_s }));
    QCOMPARE(barTexts(html),
        (QStringList { u"Sunday|2"_s, u"Wednesday|0"_s, u"Sunday|02:05"_s, u"Wednesday|00:00"_s,
            u"Sunday|1"_s, u"Wednesday|3"_s }));
    QCOMPARE(html.count(u"'#7777FF'"_s), 1);
}

void TestPeriodicReports::testProblemsByHouse()
{
    ReportFixture fixture;
    QVERIFY(fixture.isReady());
    QVERIFY(fixture.addEvent(
        { .netId = 5, .code = 9, .time = QDateTime(QDate(2026, 2, 3), QTime(9, 0)) }));
    // February, from the 1st to the 28th show day.
    QVERIFY(fixture.addShowSummary(1, 1, QDate(2026, 2, 1), true, 100, false, 10));
    QVERIFY(fixture.addShowSummary(2, 1, QDate(2026, 2, 15), true, 201, false, 7));
    QVERIFY(fixture.addShowSummary(3, 1, QDate(2026, 2, 28), false, 30, false, 0));
    QVERIFY(fixture.addShowSummary(4, 3, QDate(2026, 2, 10), false, 40, true, 0));
    QVERIFY(fixture.addShowSummary(5, 2, QDate(2026, 3, 1), true, 50, false, 0));
    QVERIFY(fixture.addShowSummary(6, 4, QDate(2026, 1, 31), true, 60, false, 0));

    const QDateTime start(QDate(2026, 2, 1), QTime(3, 0));
    const QString html = ProblemsByHouse(start, start.addMonths(1));
    QVERIFY(html.startsWith(u"<H5>Problems by House:</H5>"_s));
    QCOMPARE(barTexts(html),
        (QStringList { u"House # 1|2"_s, u"House # 2|0"_s, u"House # 3|0"_s, u"House # 4|0"_s,
            u"House # 5|0"_s, u"House # 1|02:31"_s, u"House # 2|00:00"_s, u"House # 3|00:00"_s,
            u"House # 4|00:00"_s, u"House # 5|00:00"_s, u"House # 1|1"_s, u"House # 2|0"_s,
            u"House # 3|1"_s, u"House # 4|0"_s, u"House # 5|0"_s }));

    // A house whose events were deleted since still gets its rows.
    QVERIFY(fixture.addShowSummary(7, 7, QDate(2026, 2, 20), false, 30, false, 0));
    QCOMPARE(ProblemsByHouse(start, start.addMonths(1)).count(u"House # 7"_s), 3);
}

void TestPeriodicReports::testProblemsByHouseWithoutRecords()
{
    ReportFixture fixture;
    QVERIFY(fixture.isReady());
    QVERIFY(fixture.addEvent(
        { .netId = 5, .code = 9, .time = QDateTime(QDate(2026, 2, 3), QTime(9, 0)) }));
    const QDateTime start(QDate(2026, 2, 1), QTime(3, 0));
    QCOMPARE(ProblemsByHouse(start, start.addMonths(1)),
        u"<H5>Problems by House:</H5><P><I>No records found for this time frame.</I></P>\r\n"_s);
}

void TestPeriodicReports::testInterruptionsByType()
{
    ReportFixture fixture;
    QVERIFY(fixture.isReady());
    QVERIFY(ExecuteStatement(
        u"insert into EventCodes (CodeID, IndexNu, EventText) values (1, 3, 'Lamp <hot>')"_s));
    const QDate day(2026, 2, 10);
    QVERIFY(fixture.addShowSummary(1, 1, day, true, 100, false, 10));
    QVERIFY(fixture.addShowSummary(2, 1, day, true, 100, true, 401));
    QVERIFY(fixture.addShowSummary(3, 2, day, true, 100, false, 7));
    QVERIFY(fixture.addShowSummary(4, 2, day, true, 100, true, 3));
    QVERIFY(fixture.addShowSummary(5, 1, day, true, 100, false, 10));
    QVERIFY(fixture.addShowSummary(6, 3, day, true, 100, true, 401));
    QVERIFY(fixture.addShowSummary(7, 3, day, true, 100, true, 401));
    QVERIFY(fixture.addShowSummary(8, 3, day, true, 100, false, 0)); // no cause found
    QVERIFY(fixture.addShowSummary(9, 3, QDate(2026, 3, 1), true, 100, false, 7)); // next month

    const QDateTime start(QDate(2026, 2, 1), QTime(3, 0));
    const QString html = InterruptionsByType(start, start.addMonths(1));
    QVERIFY(html.startsWith(u"<H5>Show Interruptions by Type:</H5>"_s));
    QCOMPARE(cellTexts(html),
        (QStringList { u"Problem Type"_s, u"Count"_s, u"Lamp &lt;hot&gt;"_s, u"1"_s,
            u"Xenon failure"_s, u"3"_s, u"Stop - Manual"_s, u"1"_s,
            u"Fault - Film Presence/Tension"_s, u"2"_s }));
}

void TestPeriodicReports::testProblemsByMonth()
{
    ReportFixture fixture;
    QVERIFY(fixture.isReady());
    QVERIFY(fixture.addDailySummary(QDate(2026, 1, 1), 10, 2, 1, 300));
    QVERIFY(fixture.addDailySummary(QDate(2026, 1, 31), 10, 0, 0, 0));
    QVERIFY(fixture.addDailySummary(QDate(2026, 3, 31), 4, 0, 1, 0));
    QVERIFY(fixture.addDailySummary(QDate(2026, 4, 1), 50, 5, 5, 500));

    const QString html = ProblemsByMonth(QDate(2026, 1, 1));
    QVERIFY(html.startsWith(u"<H5>Problems by Month:</H5><P></P>"_s));
    QCOMPARE(cellTexts(html),
        (QStringList { u"Month"_s, u"Show Count"_s, u"Problem Shows(%)"_s, u"Avg Down Time"_s,
            u"Non-Presentation Interruptions"_s, u"January"_s, u"20"_s, u"10.00%"_s, u"02:30"_s,
            u"5.00%"_s, u"February"_s, u"0"_s, u"0.00%"_s, u"N/A"_s, u"0.00%"_s, u"March"_s, u"4"_s,
            u"0.00%"_s, u"N/A"_s, u"25.00%"_s }));
}

void TestPeriodicReports::testPages_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QDateTime>("request");
    QTest::addColumn<QStringList>("order");

    const QString house = u"Problems by House:"_s;
    const QString maintenance = u"Maintenance Performed:"_s;
    const QString byType = u"Show Interruptions by Type:"_s;
    QTest::newRow("weekly") << int(WeeklyReportType) << QDateTime(QDate(2026, 3, 7), QTime(23, 59))
                            << QStringList { u"Weekly Report for Sunday, March 1, 2026"_s,
                                   u"Weekly Summary:"_s, u"Problems by Day:"_s, house, maintenance,
                                   byType };
    QTest::newRow("monthly") << int(MonthlyReportType)
                             << QDateTime(QDate(2026, 3, 5), QTime(23, 59))
                             << QStringList { u"Monthly Report - February, 2026"_s, house,
                                    maintenance, byType };
    QTest::newRow("quarterly") << int(QuarterlyReportType)
                               << QDateTime(QDate(2026, 3, 5), QTime(23, 59))
                               << QStringList { u"Quarterly Report - 1st Quarter, 2026"_s,
                                      u"Problems by Month:"_s, house, maintenance, byType };
}

void TestPeriodicReports::testPages()
{
    QFETCH(int, type);
    QFETCH(QDateTime, request);
    QFETCH(QStringList, order);
    ReportFixture fixture;
    QVERIFY(fixture.isReady());
    QVERIFY(fixture.addEvent({ .code = 9, .time = QDateTime(QDate(2025, 12, 1), QTime(9, 0)) }));

    const QString page = GenerateReport(type, request,
        u"User choose not to synchronize the "
        "event log before generating the report."_s);
    QVERIFY(page.startsWith(u"<html><head><title> </title></head>"_s));
    order.prepend(u"<A NAME = 'Top'>"_s);
    order.insert(2, u"<BR>*&nbsp&nbsp&nbspUser choose not to synchronize"_s);
    order.insert(3, u"<BR>*&nbsp&nbsp&nbspSelected date range extends"_s);
    order.append(u"COLOR='#000088'"_s);
    qsizetype position = 0;
    for (const QString &part : order) {
        const qsizetype found = page.indexOf(part, position);
        QVERIFY2(found >= 0, qPrintable(part));
        position = found + part.size();
    }
    QVERIFY(page.endsWith(u"</body></html>\r\n"_s));
}

QTEST_GUILESS_MAIN(TestPeriodicReports)
#include "tst_periodicreports.moc"
