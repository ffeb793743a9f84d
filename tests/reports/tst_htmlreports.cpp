#include "core/progress.h"
#include "core/settingsfile.h"
#include "core/settingskeys.h"
#include "reportfixture.h"
#include "reports/htmlreports.h"
#include "testclock.h"

#include <QFile>
#include <QLocale>
#include <QTest>

using namespace HTMLReports;
using namespace Qt::StringLiterals;

namespace {

// Writes down what a report shows on the progress window.
class RecordingProgress : public Progress
{
public:
    RecordingProgress() { Progress::setCurrent(this); }
    ~RecordingProgress() override { Progress::setCurrent(nullptr); }

    void Display(const QString &message, bool) override { log.append(u"show "_s + message); }
    void SetMessage(const QString &message, bool) override { log.append(u"say "_s + message); }
    void SetProgress(int value) override { log.append(QString::number(value)); }
    bool Cancelled() const override { return false; }
    void Close() override { log.append(u"close"_s); }

    QStringList log;
};

} // namespace

class TestHtmlReports : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void testReportEnd_data();
    void testReportEnd();
    void testEmptyReportTimeIsStored();
    void testPeriodAndTitle_data();
    void testPeriodAndTitle();
    void testInvalidTypePage();
    void testProgress_data();
    void testProgress();
    void testDataRangeWarning_data();
    void testDataRangeWarning();
    void testNoteAndWarningTogether();
    void testLocationHeader_data();
    void testLocationHeader();
    void testLogo();
    void testSiteTextsAreEscaped();
    void testTextFiles();
};

void TestHtmlReports::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void TestHtmlReports::testReportEnd_data()
{
    QTest::addColumn<QString>("reportTime");
    QTest::addColumn<QDateTime>("request");
    QTest::addColumn<QDateTime>("end");

    const QDate day(2026, 3, 10);
    QTest::newRow("14:59 ends that morning")
        << u""_s << QDateTime(day, QTime(14, 59, 59)) << QDateTime(day, QTime(3, 0));
    QTest::newRow("15:00 ends next morning")
        << u""_s << QDateTime(day, QTime(15, 0)) << QDateTime(day.addDays(1), QTime(3, 0));
    QTest::newRow("main window 23:59")
        << u""_s << QDateTime(day, QTime(23, 59)) << QDateTime(day.addDays(1), QTime(3, 0));
    QTest::newRow("set report time")
        << u"6:30 AM"_s << QDateTime(day, QTime(10, 0)) << QDateTime(day, QTime(6, 30));
    QTest::newRow("afternoon report time")
        << u"2:15 PM"_s << QDateTime(day, QTime(16, 0)) << QDateTime(day.addDays(1), QTime(14, 15));
    QTest::newRow("24-hour text") << u"05:45"_s << QDateTime(day, QTime(1, 0))
                                  << QDateTime(day, QTime(5, 45));
    QTest::newRow("unreadable text is 3:00 AM")
        << u"early"_s << QDateTime(day, QTime(1, 0)) << QDateTime(day, QTime(3, 0));
}

void TestHtmlReports::testReportEnd()
{
    QFETCH(QString, reportTime);
    QFETCH(QDateTime, request);
    QFETCH(QDateTime, end);
    SettingsFile::instance() = SettingsFile();
    SettingsFile::instance().SetFileValue(SettingsKeys::ReportTime, reportTime);
    QCOMPARE(ReportEnd(request), end);
}

void TestHtmlReports::testEmptyReportTimeIsStored()
{
    SettingsFile::instance() = SettingsFile();
    ReportEnd(QDateTime(QDate(2026, 3, 10), QTime(9, 0)));
    QCOMPARE(SettingsFile::instance().GetFileValue(SettingsKeys::ReportTime), u"3:00 AM"_s);
}

void TestHtmlReports::testPeriodAndTitle_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QDateTime>("request");
    QTest::addColumn<QDateTime>("start");
    QTest::addColumn<QDateTime>("end");
    QTest::addColumn<QString>("title");

    const QString open = u"<HR><FONT FACE = 'Arial' SIZE = 2>"_s;
    const QString close = u"<br><HR>\r\n"_s;
    const auto at
        = [](int y, int m, int d, int h = 3) { return QDateTime(QDate(y, m, d), QTime(h, 0)); };

    QTest::newRow("daily") << 1 << QDateTime(QDate(2026, 3, 10), QTime(23, 59)) << at(2026, 3, 10)
                           << at(2026, 3, 11)
                           << open + u"Daily Summary Report for Tuesday, March 10, 2026"_s + close;
    // "Last Week" picked on Wednesday 11 March asks for Saturday 7 March.
    QTest::newRow("last week") << 2 << QDateTime(QDate(2026, 3, 7), QTime(23, 59)) << at(2026, 3, 1)
                               << at(2026, 3, 8)
                               << open
            + u"Weekly Report for Sunday, March 1, 2026 - Saturday, March 7, 2026"_s + close;
    QTest::newRow("monthly on the 5th reports the month before")
        << 3 << QDateTime(QDate(2026, 3, 5), QTime(23, 59)) << at(2026, 2, 1) << at(2026, 3, 1)
        << open + u"Monthly Report - February, 2026"_s + close;
    QTest::newRow("monthly on the 8th reports its own month")
        << 3 << QDateTime(QDate(2026, 3, 8), QTime(23, 59)) << at(2026, 3, 1) << at(2026, 4, 1)
        << open + u"Monthly Report - March, 2026"_s + close;
    QTest::newRow("second quarter")
        << 4 << QDateTime(QDate(2026, 5, 20), QTime(23, 59)) << at(2026, 4, 1) << at(2026, 7, 1)
        << open + u"Quarterly Report - 2nd Quarter, 2026"_s + close;
    QTest::newRow("fourth quarter asked for on 5 January")
        << 4 << QDateTime(QDate(2026, 1, 5), QTime(23, 59)) << at(2025, 10, 1) << at(2026, 1, 1)
        << open + u"Quarterly Report - 4th Quarter, 2025"_s + close;
    QTest::newRow("fourth quarter asked for on 1 January")
        << 4 << QDateTime(QDate(2026, 1, 1), QTime(9, 0)) << at(2025, 10, 1) << at(2026, 1, 1)
        << open + u"Quarterly Report - 4th Quarter, 2025"_s + close;
}

void TestHtmlReports::testPeriodAndTitle()
{
    QFETCH(int, type);
    QFETCH(QDateTime, request);
    QFETCH(QDateTime, start);
    QFETCH(QDateTime, end);
    QFETCH(QString, title);
    SettingsFile::instance() = SettingsFile();
    const QDateTime reportEnd = ReportEnd(request);
    QCOMPARE(Period(type, reportEnd), (ReportPeriod { start, end }));
    QCOMPARE(TitleLine(type, reportEnd), title);
}

void TestHtmlReports::testInvalidTypePage()
{
    ReportFixture fixture;
    QVERIFY(fixture.isReady());
    TestClock clock(QDateTime(QDate(2026, 3, 10), QTime(9, 30)));

    // Only the frame: no warnings, even with a note, and no sections.
    const QString page = GenerateReport(7, QDateTime(QDate(2026, 3, 10), QTime(23, 59)), u"x"_s);
    QCOMPARE(page,
        u"<html><head><title> </title></head><body BGCOLOR='#FFFEEE'>\r\n"
        "<A NAME = 'Top'><TABLE WIDTH = 500><TR><TD><H1><I></I></H1></TD><TD WIDTH = 260>"
        "<center><br><br><br></center></TD></TR></TABLE>"
        "<HR><FONT FACE = 'Arial' SIZE = 2>Invalid Report Type Error Report: Report Type = 7 - "
        "Tuesday, March 10, 2026<br><HR>\r\n"
        "<P></P><P></P><HR><CENTER><I><FONT SIZE=1 COLOR='#000088'>Report generated by Showpulse"
        "</body></html>\r\n"_s);
}

void TestHtmlReports::testProgress_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("steps");
    QTest::newRow("daily") << 1
                           << u"show Generating Daily Summary Report,5,10,15,40,70,90,95,100"_s;
    QTest::newRow("weekly") << 2 << u"show Creating Weekly Report,5,10,15,30,45,60,75,90,95,100"_s;
    QTest::newRow("monthly") << 3 << u"show Creating Monthly Report,5,10,15,40,70,90,95,100"_s;
    QTest::newRow("quarterly") << 4 << u"show Creating Quarter Report,5,10,15,30,50,70,90,95,100"_s;
    QTest::newRow("invalid") << 0
                             << u"show Generating Invalid Report Type Error Report,20,40,60,80,"
                                "100"_s;
}

void TestHtmlReports::testProgress()
{
    QFETCH(int, type);
    QFETCH(QString, steps);
    ReportFixture fixture;
    QVERIFY(fixture.isReady());
    RecordingProgress progress;
    GenerateReport(type, QDateTime(QDate(2026, 3, 10), QTime(23, 59)), {});
    QCOMPARE(progress.log.join(u','), steps + u",close"_s);
}

void TestHtmlReports::testDataRangeWarning_data()
{
    QTest::addColumn<QList<QDateTime>>("events");
    QTest::addColumn<QString>("warning");

    const QString sentence
        = u"Selected date range extends beyond the available data in the Event Log database for "_s;
    const QDateTime start(QDate(2026, 3, 1), QTime(3, 0));
    const QDateTime before = start.addDays(-2);
    const QDateTime after = start.addDays(9);
    QTest::newRow("covered") << QList<QDateTime> { before, after } << QString();
    QTest::newRow("running period") << QList<QDateTime> { before } << sentence + u"the end date."_s;
    QTest::newRow("log starts later")
        << QList<QDateTime> { after } << sentence + u"the start date."_s;
    QTest::newRow("empty log") << QList<QDateTime> {}
                               << sentence + u"both the start date and end date."_s;
    QTest::newRow("only events more than a year away")
        << QList<QDateTime> { start.addYears(-1).addSecs(-1), start.addYears(1).addSecs(1) }
        << sentence + u"both the start date and end date."_s;
    QTest::newRow("events exactly at the bounds do not count") << QList<QDateTime> { start,
        start.addDays(7) } << sentence + u"both the start date and end date."_s;
}

void TestHtmlReports::testDataRangeWarning()
{
    QFETCH(QList<QDateTime>, events);
    QFETCH(QString, warning);
    ReportFixture fixture;
    QVERIFY(fixture.isReady());
    for (const QDateTime &time : events)
        QVERIFY(fixture.addEvent({ .code = 9, .time = time }));
    const QDateTime start(QDate(2026, 3, 1), QTime(3, 0));
    QCOMPARE(DataRangeWarning(start, start.addDays(7)), warning);
}

void TestHtmlReports::testNoteAndWarningTogether()
{
    ReportFixture fixture;
    QVERIFY(fixture.isReady());
    const QDateTime start(QDate(2026, 3, 1), QTime(3, 0));
    QVERIFY(fixture.addEvent({ .code = 9, .time = start.addSecs(-60) }));
    QVERIFY(fixture.addEvent({ .code = 9, .time = start.addDays(-3) }));

    const QString head = u"<BR><B><FONT COLOR = '#FF0000'>Note: Report data may not be "
                         "completely accurate due to the following problem(s).</FONT></B>"_s;
    const QString bullet = u"<BR>*&nbsp&nbsp&nbsp"_s;
    const QString endWarning = u"Selected date range extends beyond the available data in the "
                               "Event Log database for the end date."_s;
    const QString note = u"Sychronizing Event Log database failed because: <timeout> & more"_s;
    QCOMPARE(Warnings(note, start, start.addDays(1)),
        head + bullet
            + u"Sychronizing Event Log database failed because: &lt;timeout&gt; &amp; more"_s
            + bullet + endWarning + u"<BR><BR>\r\n"_s);
    QCOMPARE(Warnings(QString(), start, start.addDays(1)),
        head + bullet + endWarning + u"<BR><BR>\r\n"_s);
    QCOMPARE(Warnings(u"one\r\ntwo"_s, start.addDays(-1), start.addSecs(-61)),
        head + bullet + u"one"_s + bullet + u"two<BR><BR>\r\n"_s);
    QCOMPARE(Warnings(QString(), start.addDays(-1), start.addSecs(-61)), QString());
}

void TestHtmlReports::testLocationHeader_data()
{
    QTest::addColumn<QString>("city");
    QTest::addColumn<QString>("cityLine");
    QTest::newRow("with city") << u"Springfield"_s << u"Springfield, OR 97477"_s;
    QTest::newRow("blank city") << u"   "_s << QString();
}

void TestHtmlReports::testLocationHeader()
{
    QFETCH(QString, city);
    QFETCH(QString, cityLine);
    SettingsFile &settings = SettingsFile::instance();
    settings = SettingsFile();
    settings.SetFileValue(SettingsKeys::LocationParent, u"Regal Pictures"_s);
    settings.SetFileValue(SettingsKeys::LocationName, u"Riverside 12"_s);
    settings.SetFileValue(SettingsKeys::LocationAddress, u"1 Main St"_s);
    settings.SetFileValue(SettingsKeys::LocationCity, city);
    settings.SetFileValue(SettingsKeys::LocationState, u"OR"_s);
    settings.SetFileValue(SettingsKeys::LocationZip, u"97477"_s);
    settings.SetFileValue(SettingsKeys::LocationPhone, u"555-0100"_s);
    QCOMPARE(LocationHeader(),
        u"<A NAME = 'Top'><TABLE WIDTH = 500><TR><TD><H1><I>Regal Pictures</I></H1></TD>"
        "<TD WIDTH = 260><center>Riverside 12<br>1 Main St<br>"_s
            + cityLine + u"<br>555-0100</center></TD></TR></TABLE>"_s);
}

void TestHtmlReports::testLogo()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    SettingsFile &settings = SettingsFile::instance();
    settings = SettingsFile();
    settings.SetFileValue(SettingsKeys::LocationName, u"Riverside 12"_s);
    // A quote in the file name must not end the attribute.
    const QString logo = dir.filePath(u"logo \"1\".gif"_s);
    settings.SetFileValue(SettingsKeys::LocationLogo, logo);

    const QString start = u"<A NAME = 'Top'><TABLE WIDTH = 720><TR><TD WIDTH = 240><H1><I>"
                          "</I></H1></TD><TD WIDTH = 240><center>Riverside 12<br><br><br>"
                          "</center></TD><TD WIDTH = 240 ALIGN = 'RIGHT'>"_s;
    QCOMPARE(
        LocationHeader(), start + u"<font size='-1'>Logo Not Found</font></TD></TR></TABLE>"_s);

    QFile file(logo);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("GIF89a");
    file.close();
    QCOMPARE(LocationHeader(),
        start + u"<IMG SRC=\""_s + QString(logo).replace(u"\""_s, u"&quot;"_s)
            + u"\"></TD></TR></TABLE>"_s);
}

void TestHtmlReports::testSiteTextsAreEscaped()
{
    ReportFixture fixture;
    QVERIFY(fixture.isReady());
    SettingsFile &settings = SettingsFile::instance();
    settings.SetFileValue(SettingsKeys::LocationParent, u"Smith & Sons <b>"_s);
    settings.SetFileValue(SettingsKeys::LocationName, u"<script>alert(1)</script>"_s);

    const QString page = GenerateReport(9, QDateTime(QDate(2026, 3, 10), QTime(9, 0)), {});
    QVERIFY(!page.contains(u"<script>"_s));
    QVERIFY(!page.contains(u"<b>"_s));
    QVERIFY(page.contains(u"<H1><I>Smith &amp; Sons &lt;b&gt;</I></H1>"_s));
    QVERIFY(page.contains(u"<center>&lt;script&gt;alert(1)&lt;/script&gt;<br>"_s));
}

void TestHtmlReports::testTextFiles()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"Report.htm"_s);
    const QString text = u"<html>caf\u00e9</html>"_s;

    QVERIFY(WriteTextFile(path, text));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("<html>caf\xe9</html>\r\n"));
    file.close();

    // Replacing keeps nothing of the longer earlier content.
    QVERIFY(WriteTextFile(path, u"x"_s));
    QCOMPARE(ReadTextFile(path, dir.path()), u"x\r\n"_s);
    QVERIFY(!QFile::exists(dir.filePath(u"tempfile.tmp"_s)));

    QCOMPARE(ReadTextFile(dir.filePath(u"missing.htm"_s), dir.path()), QString());
    QVERIFY(!WriteTextFile(dir.filePath(u"no/such/folder/Report.htm"_s), text));
}

QTEST_GUILESS_MAIN(TestHtmlReports)
#include "tst_htmlreports.moc"
