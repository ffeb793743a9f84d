#include "sitesimprocess.h"

#include "driverdatabase.h"
#include "eventgenerator.h"

#include <QDeadlineTimer>
#include <QRegularExpression>

SitesimProcess::~SitesimProcess()
{
    stop();
}

bool SitesimProcess::start(const QStringList &arguments)
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(
        QStringLiteral(SITESIM_EXECUTABLE), QStringList { QStringLiteral("serve") } + arguments);
    if (!m_process.waitForStarted(10000)) {
        m_error = QStringLiteral("sitesim did not start: ") + m_process.errorString();
        return false;
    }
    static const QRegularExpression listening(
        QStringLiteral("^listening on (\\d+)$"), QRegularExpression::MultilineOption);
    const QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired()) {
        const QRegularExpressionMatch match = listening.match(output());
        if (match.hasMatch()) {
            m_port = quint16(match.captured(1).toUInt());
            return true;
        }
        if (m_process.state() == QProcess::NotRunning)
            break;
        m_process.waitForReadyRead(int(qMax<qint64>(deadline.remainingTime(), 1)));
    }
    m_error = QStringLiteral("sitesim is not listening: ") + output();
    stop();
    return false;
}

void SitesimProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool SitesimProcess::waitForOutput(const QString &text, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!output().contains(text)) {
        if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning)
            return false;
        m_process.waitForReadyRead(int(qMax<qint64>(deadline.remainingTime(), 1)));
    }
    return true;
}

QString SitesimProcess::output()
{
    m_output += QString::fromLocal8Bit(m_process.readAll());
    return m_output;
}

int runSitesim(const QStringList &arguments, QString *output)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral(SITESIM_EXECUTABLE), arguments);
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished(5000);
        *output = QString::fromLocal8Bit(process.readAll());
        return -1;
    }
    *output = QString::fromLocal8Bit(process.readAll());
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

bool writeSmallSite(const QString &path, QString *error)
{
    DriverDatabase db;
    if (!db.create(path)) {
        *error = db.lastError();
        return false;
    }
    GeneratorOptions options;
    options.houses = 2;
    options.days = 5;
    options.endDate = QDate(2026, 3, 1);
    EventGenerator generator(options);
    if (!generator.writeDatabase(db)) {
        *error = generator.errorString();
        return false;
    }
    return true;
}
