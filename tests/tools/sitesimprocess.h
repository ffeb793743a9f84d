#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

/// A `sitesim serve` process for a test: started, waited for until it listens, and stopped.
class SitesimProcess
{
public:
    SitesimProcess() = default;
    ~SitesimProcess();
    SitesimProcess(const SitesimProcess &) = delete;
    SitesimProcess &operator=(const SitesimProcess &) = delete;

    /// Starts "sitesim serve" with \a arguments and waits for its "listening on PORT" line;
    /// false (with the process's output in error()) when it does not come within 20 s.
    bool start(const QStringList &arguments);
    void stop();

    quint16 port() const { return m_port; }
    /// What the process wrote so far, standard output and error together.
    QString output();
    QString error() const { return m_error; }
    /// Waits until the output holds \a text.
    bool waitForOutput(const QString &text, int timeoutMs);

private:
    QProcess m_process;
    QString m_output;
    QString m_error;
    quint16 m_port = 0;
};

/// Runs "sitesim" with \a arguments to its end (at most 30 s); the exit code, -1 when it did not
/// end normally. \a output gets standard output and error.
int runSitesim(const QStringList &arguments, QString *output);

/// Writes a new driver database at \a path: two houses, five show days ending 1 March 2026.
/// False, with the reason in \a error, when it cannot be written.
bool writeSmallSite(const QString &path, QString *error);
