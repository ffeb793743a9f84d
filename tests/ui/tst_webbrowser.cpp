#include "ui/webbrowser.h"

#include "modalhelper.h"

#include <QAbstractTextDocumentLayout>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPrintDialog>
#include <QPrinter>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>

using namespace Qt::StringLiterals;

namespace {

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Navigates and waits for the completion signal; the url it carried, or "" on time-out.
QString navigate(WebBrowser &browser, const QString &path)
{
    QSignalSpy spy(&browser, &WebBrowser::DocumentComplete);
    browser.Navigate(path);
    // Announced from the event loop, never inside Navigate().
    if (!spy.isEmpty() || !spy.wait(5000))
        return QString();
    return spy.takeFirst().at(0).toString();
}

// A page long enough to scroll, with an anchor "Top" at its head and "far" near its end.
QByteArray longPage(const QByteArray &links)
{
    QByteArray html = "<html><body><A NAME = 'Top'>head" + links;
    for (int i = 0; i < 200; ++i)
        html += "<p>line " + QByteArray::number(i) + "</p>";
    return html + "<A NAME = 'far'>far</A><p>end</p></body></html>";
}

} // namespace

class TestWebBrowser : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void testNavigateReadsLatin1();
    void testMissingFile();
    void testLegacyMarkup();
    void testPictures_data();
    void testPictures();
    void testLinks_data();
    void testLinks();
    void testPrintWithoutDialog_data();
    void testPrintWithoutDialog();
    void testPrintDialogCancelled();
};

void TestWebBrowser::testNavigateReadsLatin1()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"Report.htm"_s);
    QVERIFY(writeFile(
        path, "<html><head><title> </title></head><body>Caf\xe9 \xbd price</body></html>"));

    WebBrowser browser;
    QVERIFY(browser.LocationURL().isEmpty());
    QCOMPARE(navigate(browser, path), path);
    QVERIFY(browser.documentLoaded());
    QCOMPARE(browser.toPlainText(), u"Caf\u00e9 \u00bd price"_s);
    QCOMPARE(browser.LocationURL(), path);
    QCOMPARE(browser.LocationName(), u"Report.htm"_s);
}

void TestWebBrowser::testMissingFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString shown = dir.filePath(u"Report.htm"_s);
    QVERIFY(writeFile(shown, "<html><body>old report</body></html>"));
    WebBrowser browser;
    QCOMPARE(navigate(browser, shown), shown);

    const QString missing = dir.filePath(u"gone/Print.htm"_s);
    QCOMPARE(navigate(browser, missing), missing);
    QVERIFY(!browser.documentLoaded());
    QVERIFY(browser.toPlainText().contains(u"cannot be shown"_s));
    QVERIFY(!browser.toPlainText().contains(u"old report"_s));
    QCOMPARE(browser.LocationName(), u"Print.htm"_s);
}

void TestWebBrowser::testLegacyMarkup()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"Report.htm"_s);
    // Entities without their semicolon, and a cell that must not wrap in a narrow table.
    QVERIFY(writeFile(path,
        "<html><body><p>*&nbsp&nbsp&nbspSelected &amp;nbsp</p>"
        "<TABLE WIDTH = 60><TR><TD nowrap>Shows Times by House</TD><TD>x</TD></TR></TABLE>"
        "</body></html>"));
    WebBrowser browser;
    browser.resize(400, 300);
    QCOMPARE(navigate(browser, path), path);

    const QString text = browser.document()->toRawText();
    QVERIFY2(text.startsWith(u"*\u00a0\u00a0\u00a0Selected &nbsp"_s), qPrintable(text));
    QTextDocument *document = browser.document();
    document->setTextWidth(400);
    document->documentLayout()->documentSize();
    QTextBlock block = document->begin();
    // The view keeps a nowrap text together with no-break spaces.
    while (block.isValid() && block.text().replace(QChar::Nbsp, u' ') != u"Shows Times by House"_s)
        block = block.next();
    QVERIFY(block.isValid());
    QCOMPARE(block.layout()->lineCount(), 1);
}

void TestWebBrowser::testPictures_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<bool>("loaded");
    QTest::newRow("beside the report") << u"logo.png"_s << true;
    QTest::newRow("in a sub-folder") << u"pics/logo.png"_s << true;
    QTest::newRow("absolute path") << u"ABSOLUTE"_s << true;
    QTest::newRow("missing file") << u"nothing.png"_s << false;
    QTest::newRow("network address") << u"http://127.0.0.1:9/logo.png"_s << false;
}

void TestWebBrowser::testPictures()
{
    QFETCH(QString, source);
    QFETCH(bool, loaded);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QImage logo(4, 3, QImage::Format_RGB32);
    logo.fill(Qt::red);
    QVERIFY(QDir(dir.path()).mkpath(u"pics"_s));
    QVERIFY(logo.save(dir.filePath(u"logo.png"_s)));
    QVERIFY(logo.save(dir.filePath(u"pics/logo.png"_s)));
    if (source == u"ABSOLUTE"_s)
        source = dir.filePath(u"pics/logo.png"_s);

    const QString path = dir.filePath(u"Report.htm"_s);
    QVERIFY(writeFile(path, "<html><body><IMG SRC=\"" + source.toLatin1() + "\"></body></html>"));
    WebBrowser browser;
    QCOMPARE(navigate(browser, path), path);
    const QVariant image = browser.document()->resource(QTextDocument::ImageResource, QUrl(source));
    QCOMPARE(image.isValid() && !image.isNull(), loaded);
}

void TestWebBrowser::testLinks_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<bool>("scrollsToEnd");
    QTest::newRow("anchor of the page") << u"#far"_s << true;
    QTest::newRow("anchor of the shown file") << u"FILE#far"_s << true;
    QTest::newRow("another site") << u"http://127.0.0.1:9/page.htm"_s << false;
    QTest::newRow("another local file") << u"other.htm"_s << false;
}

void TestWebBrowser::testLinks()
{
    QFETCH(QString, link);
    QFETCH(bool, scrollsToEnd);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"Report.htm"_s);
    QVERIFY(writeFile(path, longPage("<A HREF='#far'>down</A>")));
    QVERIFY(writeFile(dir.filePath(u"other.htm"_s), "<html><body>other page</body></html>"));
    if (link.startsWith(u"FILE"_s))
        link = QUrl::fromLocalFile(path).toString() + link.mid(4);

    WebBrowser browser;
    browser.resize(300, 200);
    browser.show();
    QCOMPARE(navigate(browser, path), path);
    QScrollBar *bar = browser.verticalScrollBar();
    QCOMPARE(bar->value(), 0);
    QVERIFY(bar->maximum() > 100);

    Q_EMIT browser.anchorClicked(QUrl(link));
    QCOMPARE(bar->value() > 100, scrollsToEnd);
    QCOMPARE(browser.LocationURL(), path);
    QVERIFY(browser.toPlainText().startsWith(u"head"_s));

    // Back to the head by the reports' "Top" link.
    Q_EMIT browser.anchorClicked(QUrl(u"#Top"_s));
    QVERIFY(bar->value() < 20);
}

void TestWebBrowser::testPrintWithoutDialog_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<bool>("printed");
    QTest::newRow("to a PDF file") << u"out.pdf"_s << true;
    QTest::newRow("output cannot be written") << u"missing/out.pdf"_s << false;
}

void TestWebBrowser::testPrintWithoutDialog()
{
    QFETCH(QString, output);
    QFETCH(bool, printed);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"Report.htm"_s);
    QVERIFY(writeFile(path, longPage(QByteArray())));
    WebBrowser browser;
    QCOMPARE(navigate(browser, path), path);

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath(output));
    browser.setPrinter(&printer);
    QCOMPARE(browser.PrintPage(false), printed);
    const QByteArray pdf = readFile(dir.filePath(output));
    QCOMPARE(pdf.startsWith("%PDF"), printed);
}

void TestWebBrowser::testPrintDialogCancelled()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"Report.htm"_s);
    QVERIFY(writeFile(path, "<html><body>page</body></html>"));
    WebBrowser browser;
    QCOMPARE(navigate(browser, path), path);

    ModalHelper<QPrintDialog> helper([](QPrintDialog *dialog) { dialog->reject(); });
    QVERIFY(!browser.PrintPage(true));
    QVERIFY(helper.ran());
}

QTEST_MAIN(TestWebBrowser)
#include "tst_webbrowser.moc"
