#include "ui/filedialogs.h"

#include "modalhelper.h"

#include <QFile>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QTest>

namespace {
const QString kReportFilter = QStringLiteral("HTML Reports *.htm|*.htm||");
}

class TestFileDialogs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void testNameFilters_data();
    void testNameFilters();
    void testScriptedDialogs();
    void testRemembersFolder();
    void testOpenDialog();
    void testCancelledDialog();

private:
    QTemporaryDir m_dir;
};

void TestFileDialogs::init()
{
    QVERIFY(m_dir.isValid());
    FileDialogs::setFolder(QString());
}

void TestFileDialogs::cleanup()
{
    FileDialogs::resetScript();
}

void TestFileDialogs::testNameFilters_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("report filter")
        << kReportFilter << QStringList { QStringLiteral("HTML Reports (*.htm)") };
    QTest::newRow("two filters, several patterns")
        << QStringLiteral("Text|*.txt;*.log|All Files|*.*")
        << QStringList { QStringLiteral("Text (*.txt *.log)"), QStringLiteral("All Files (*.*)") };
    QTest::newRow("no name") << QStringLiteral("|*.htm") << QStringList { QStringLiteral("*.htm") };
    QTest::newRow("empty") << QString() << QStringList();
    QTest::newRow("name without pattern") << QStringLiteral("HTML Reports") << QStringList();
    QTest::newRow("pair without pattern skipped")
        << QStringLiteral("Broken||HTML|*.htm") << QStringList { QStringLiteral("HTML (*.htm)") };
}

void TestFileDialogs::testNameFilters()
{
    QFETCH(QString, filter);
    QFETCH(QStringList, expected);
    QCOMPARE(FileDialogs::nameFilters(filter), expected);
}

void TestFileDialogs::testScriptedDialogs()
{
    FileDialogs::setScripted(true);
    QCOMPARE(FileDialogs::ShowOpenFileDialog(nullptr, QString(), kReportFilter), QString());
    QCOMPARE(FileDialogs::ShowSaveFileDialog(nullptr, QStringLiteral("Weekly.htm"), kReportFilter),
        QString());

    const QList<FileDialogs::Shown> shown = FileDialogs::shown();
    QCOMPARE(shown.size(), 2);
    QCOMPARE(shown.at(0).title, QStringLiteral("Select File to Open"));
    QVERIFY(!shown.at(0).save);
    // The first dialog starts in the program's folder.
    QCOMPARE(shown.at(0).folder, QCoreApplication::applicationDirPath());
    QCOMPARE(shown.at(0).nameFilters, QStringList { QStringLiteral("HTML Reports (*.htm)") });
    QCOMPARE(shown.at(1).title, QStringLiteral("Select Name to save file"));
    QVERIFY(shown.at(1).save);
    QCOMPARE(shown.at(1).initialName, QStringLiteral("Weekly.htm"));
}

void TestFileDialogs::testRemembersFolder()
{
    const QString saved = m_dir.filePath(QStringLiteral("reports/Weekly.htm"));
    FileDialogs::setNextPath(saved);
    FileDialogs::setNextPath(QString());
    FileDialogs::setNextPath(m_dir.filePath(QStringLiteral("Report.htm")));

    QCOMPARE(FileDialogs::ShowSaveFileDialog(nullptr, QString(), kReportFilter), saved);
    // Cancelling leaves the folder as it was.
    QCOMPARE(FileDialogs::ShowOpenFileDialog(nullptr, QString(), kReportFilter), QString());
    FileDialogs::ShowOpenFileDialog(nullptr, QString(), kReportFilter);

    const QList<FileDialogs::Shown> shown = FileDialogs::shown();
    QCOMPARE(shown.size(), 3);
    QCOMPARE(shown.at(1).folder, m_dir.filePath(QStringLiteral("reports")));
    QCOMPARE(shown.at(2).folder, m_dir.filePath(QStringLiteral("reports")));
    QCOMPARE(FileDialogs::folder(), m_dir.path());
}

void TestFileDialogs::testOpenDialog()
{
    const QString report = m_dir.filePath(QStringLiteral("Report.htm"));
    QFile file(report);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    FileDialogs::setFolder(m_dir.path());

    QString title;
    QString folder;
    QStringList filters;
    ModalHelper<QFileDialog> helper([&](QFileDialog *dialog) {
        title = dialog->windowTitle();
        folder = dialog->directory().absolutePath();
        filters = dialog->nameFilters();
        dialog->selectFile(report);
        static_cast<QDialog *>(dialog)->accept();
    });
    const QString chosen = FileDialogs::ShowOpenFileDialog(nullptr, QString(), kReportFilter);
    QVERIFY(helper.ran());
    QCOMPARE(chosen, report);
    QCOMPARE(title, QStringLiteral("Select File to Open"));
    QCOMPARE(folder, m_dir.path());
    QCOMPARE(filters, QStringList { QStringLiteral("HTML Reports (*.htm)") });
}

void TestFileDialogs::testCancelledDialog()
{
    FileDialogs::setFolder(m_dir.path());
    ModalHelper<QFileDialog> helper([](QFileDialog *dialog) { dialog->reject(); });
    QCOMPARE(FileDialogs::ShowSaveFileDialog(nullptr, QString(), kReportFilter), QString());
    QVERIFY(helper.ran());
    QCOMPARE(FileDialogs::folder(), m_dir.path());
}

QTEST_MAIN(TestFileDialogs)
#include "tst_filedialogs.moc"
