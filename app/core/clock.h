#pragma once

#include <QDateTime>

/// \brief The one source of "now" for the whole program.
///
/// Every reading of the current date or time goes through here, so tests can put the program on
/// any day, week, month or quarter boundary by installing their own clock.
class Clock
{
public:
    virtual ~Clock();

    /// Local date and time, to the second.
    static QDateTime currentDateTime();
    static QDate currentDate();

    /// Installs \a clock as the program's clock (not owned); nullptr goes back to the system clock.
    static void setInstance(Clock *clock);

    /// Call first thing in main(): with TZ unset the C library goes back to the system zone file
    /// on every local-time conversion, which dominates work on many dates. Naming the zone file
    /// has it read once; a TZ the user set is left alone.
    static void settleLocalTimeZone();

protected:
    virtual QDateTime now() const;
};
