#include "eventgenerator.h"

#include "core/clock.h"
#include "eventencoder.h"
#include "simrandom.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <algorithm>
#include <array>
#include <numeric>
#include <vector>

namespace {

// Event codes the units of the site report.
enum Code : int {
    StartManual = 1,
    StartTimed = 2,
    StartClock = 3,
    EndOfShow = 4,
    IntermissionStart = 5,
    IntermissionEnd = 6,
    StopManual = 7,
    ShowResumed = 8,
    ReadyToRun = 9,
    FaultFilm = 10,
    FaultMotion = 11,
    FaultLamp = 16,
    ReadyToResume = 25,
    ResetExternal = 33,
    ResetPowerUp = 34,
    ResetWatchdog = 35,
    ResetHaltMonitor = 36,
    ResetCpuClock = 37,
    ResetTestModule = 38,
    CueLearned = 39,
    CueInserted = 40,
    CueFilm = 42,
    CueAutomatic0 = 44,
    CueKeypad = 45,
    ManualAbort = 46,
    UserCode = 47,
    ClockKeypad = 52,
    ClockHostRequest = 53,
    ClockHostForced = 54,
};

// Flag1 bits (upper half of the flag word).
enum Flag1Bit : int {
    AnyEvent = 1,
    ReadyToResumeFlag = 4,
    ReadyToRunFlag = 8,
    UserCodeFlag = 16,
    ResumeFlag = 32,
    CueFlag = 64,
    ShowEndFlag = 128,
    ShowStartFlag = 256,
    MinorFault = 512,
    MajorFault = 2048,
    ComputerFlag = 4096,
    UnscheduledShutDown = 8192,
    ScheduledEvent = 16384,
};

// Flag2 bits (lower half).
enum Flag2Bit : int { LearnMode = 1, InProgress = 2, InSync = 4, Running = 8 };

// Unit status byte.
enum Status : int { Idle = 0, ShowRunning = 1, ShowStopped = 2, InIntermission = 3 };

// The rates. tools/sitesim/README.md documents them; keep the two in step.
constexpr double kShowsPerDayWeights[] = { 0.20, 0.50, 0.30 }; // 4, 5, 6 shows
constexpr double kStartWeights[] = { 0.15, 0.25, 0.60 }; // manual, timed, clock
constexpr double kBlipRate = 0.020;
constexpr double kStartDelayRate = 0.030;
constexpr double kInterruptedRate = 0.040;
constexpr double kEndDownRate = 0.025;
constexpr double kNonShowRate = 0.007;
constexpr double kAbortedRate = 0.003;
constexpr double kOverlongRate = 0.002;
constexpr double kLongDelayShare = 0.25; // start delays of 300 s and more
constexpr double kIntermissionRate = 0.08;
constexpr double kReadyToRunRate = 0.70;
constexpr double kUserCodeAfterProblem = 0.75;
constexpr double kUserCodeAfterAbort = 0.50;
constexpr double kUserCodeAfterBlip = 0.10;
constexpr double kUserCodeAfterNormal = 0.02;
constexpr double kNoProblemCodeShare = 0.10; // "No problem" typed after a problem show
constexpr double kResetRate = 1.0 / 30; // per house per day
constexpr double kMaintenanceRate = 1.0 / 14;
constexpr double kClockHostRequestRate = 1.0 / 7;
constexpr double kClockKeypadRate = 1.0 / 60;
constexpr double kClockHostForcedRate = 1.0 / 45;

constexpr int kMinute = 60;
constexpr int kHour = 3600;
constexpr int kShowDayShift = 6 * kHour;
constexpr int kStatisticsLimit = 3600; // shows with this much down are not analysed
constexpr int kFirstShowEarliest = 10 * kHour;
constexpr int kMorningStart = 7 * kHour; // everything of the previous show day is over by then
constexpr int kLatestStart = 27 * kHour; // 03:00 the next day

const QList<int> kStoppingCodes = { 7, 10, 16, 23, 24 };

QString codeName(int code)
{
    static const std::array<QString, 55> names = [] {
        std::array<QString, 55> n;
        const std::pair<int, const char *> table[] = {
            { StartManual, "STRT MAN" },
            { StartTimed, "STRT TMD" },
            { StartClock, "STRT CLK" },
            { EndOfShow, "SHOW END" },
            { IntermissionStart, "INTM STR" },
            { IntermissionEnd, "INTM END" },
            { StopManual, "STOP MAN" },
            { ShowResumed, "RESUMED " },
            { ReadyToRun, "RDY RUN " },
            { FaultFilm, "FLT FILM" },
            { FaultMotion, "FLT MOTN" },
            { FaultLamp, "FLT LAMP" },
            { ReadyToResume, "RDY RESM" },
            { ResetExternal, "RST EXT " },
            { ResetPowerUp, "RST PWR " },
            { ResetWatchdog, "RST WDOG" },
            { ResetHaltMonitor, "RST HALT" },
            { ResetCpuClock, "RST CLK " },
            { ResetTestModule, "RST TEST" },
            { CueLearned, "CUE LRND" },
            { CueInserted, "CUE AUTO" },
            { CueFilm, "CUE FILM" },
            { CueAutomatic0, "CUE 0   " },
            { CueKeypad, "CUE KPAD" },
            { ManualAbort, "ABORT   " },
            { UserCode, "USERCODE" },
            { ClockKeypad, "CLK KPAD" },
            { ClockHostRequest, "CLK HREQ" },
            { ClockHostForced, "CLK HFRC" },
        };
        for (const auto &[c, text] : table)
            n[c] = QString::fromLatin1(text);
        return n;
    }();
    return names[code];
}

// One event while a day is being made; encoded when it is handed out.
struct SimEvent
{
    SiteTime time;
    int house = 0;
    int show = -1; // index into the generator's shows, -1 outside a show
    int code = 0;
    int flag1 = AnyEvent;
    int flag2 = 0;
    int seq = 0;
    int down = 0;
    int iLoop = 0;
    int prog = 0;
    int cue = 0;
    int stat = Idle;
    std::array<int, 8> p {};
};

// A halt in a show's projection: a stop, an intermission, or the stop or abort that ends it.
struct Pause
{
    int runAt = 0; // seconds of projection before the pause
    int length = 0;
    int code = 0;
    bool countsDown = true; // stops count as down time, intermissions and aborts do not
    bool resumes = true; // false: "End of Show" follows the pause
};

struct HouseTraits
{
    int iLoop = 0; // 0: the house runs on its own
    int firmware = 0;
    int checksum = 0;
};

int floorDiv(qint64 a, int b)
{
    return static_cast<int>(a >= 0 ? a / b : -((-a + b - 1) / b));
}

// The program a house runs changes every Friday.
int weekOf(QDate day)
{
    return floorDiv(day.toJulianDay() - QDate(2000, 1, 7).toJulianDay(), 7);
}

// Old clock or CPU-down times go into P1..P6 with a two-digit year.
void putDateParameters(SimEvent &e, SiteTime t)
{
    int y = 0, m = 0, d = 0;
    t.date().getDate(&y, &m, &d);
    const int s = t.secondsOfDay();
    e.p[0] = y % 100;
    e.p[1] = m;
    e.p[2] = d;
    e.p[3] = s / kHour;
    e.p[4] = s / kMinute % 60;
    e.p[5] = s % 60;
}

// The problem code a projectionist types for a show stopped by \a cause.
int problemFor(SimRandom &rng, ShowKind kind, int cause)
{
    switch (kind) {
    case ShowKind::Normal:
    case ShowKind::NonShow:
    case ShowKind::Aborted:
        return 0;
    case ShowKind::Blip:
        return rng.pick({ 0, 0, 200 });
    case ShowKind::EndDown:
        return rng.pick({ 0, 201, 202 });
    case ShowKind::StartDelay:
        if (cause == FaultFilm)
            return rng.pick({ 101, 102 });
        if (cause == FaultLamp)
            return rng.pick({ 401, 402 });
        return rng.pick({ 300, 302, 303 });
    case ShowKind::Interrupted:
    case ShowKind::Overlong:
        break;
    }
    switch (cause) {
    case FaultFilm:
        return rng.pick({ 100, 101, 102, 203, 204 });
    case FaultMotion:
        return rng.pick({ 200, 201, 202, 300, 301 });
    case FaultLamp:
        return rng.pick({ 400, 401, 402, 403 });
    default:
        return rng.pick({ 500, 501, 502, 510, 520, 521, 530, 600, 601, 302, 303, 304 });
    }
}

// Fills P2..P7 of a user code event after a show.
void putUserCodes(SimRandom &rng, SimEvent &e, ShowKind kind, int cause, int delay)
{
    const bool problemShow = kind != ShowKind::Normal && kind != ShowKind::Blip;
    int problem = problemFor(rng, kind, cause);
    if (problemShow && problem != 0 && rng.chance(kNoProblemCodeShare))
        problem = 0;
    int damage = 0;
    if ((problem == 203 || problem == 204) && rng.chance(0.6))
        damage = rng.pick({ 202, 203, 204 });
    else if (problem == 402 && rng.chance(0.3))
        damage = 402;
    int equipment = 0;
    if (problem / 100 == 4 && rng.chance(0.5))
        equipment = rng.pick({ 401, 402, 403, 404 });
    else if (problem / 100 == 1 && rng.chance(0.3))
        equipment = rng.pick({ 100, 101 });
    else if (problem / 100 == 3 && rng.chance(0.2))
        equipment = rng.pick({ 300, 305 });
    int test = 0;
    if (kind == ShowKind::Normal)
        test = rng.pick({ 0, 100, 101, 102 });
    int presentation = 0;
    if (kind == ShowKind::StartDelay)
        presentation = delay < 300 ? 200 : 201;
    else if (kind == ShowKind::NonShow || kind == ShowKind::Aborted)
        presentation = rng.pick({ 100, 101, 102 });
    else if (kind == ShowKind::Interrupted && rng.chance(0.3))
        presentation = 201;
    e.p[1] = problem;
    e.p[2] = damage;
    e.p[3] = 0; // film: the site's only film code, "N/A"
    e.p[4] = test;
    e.p[5] = equipment;
    e.p[6] = presentation;
}

// Makes the events of one house on one show day.
class HouseDay
{
public:
    HouseDay(quint64 seed, int house, QDate day, const HouseTraits &traits, int onDuty,
        std::vector<SimEvent> &events, QList<ShowTruth> &shows, GeneratorCounts &counts)
        : m_rng(SimRandom::stream(
            seed, 1, static_cast<quint64>(house), static_cast<quint64>(day.toJulianDay())))
        , m_house(house)
        , m_day(day)
        , m_traits(traits)
        , m_onDuty(onDuty)
        , m_events(events)
        , m_shows(shows)
        , m_counts(counts)
    {
        const int week = weekOf(day);
        m_prog = 1 + ((week * 5 + house * 3) % 60 + 60) % 60;
        SimRandom weekly
            = SimRandom::stream(seed, 2, static_cast<quint64>(house), static_cast<quint64>(week));
        m_feature = weekly.range(85, 165) * kMinute;
    }

    void make()
    {
        morningEvents();
        shows();
    }

private:
    SiteTime at(int secondsOfDay) const { return SiteTime(m_day, 0).addSecs(secondsOfDay); }

    SimEvent &add(SiteTime time, int code, int show)
    {
        SimEvent &e = m_events.emplace_back();
        e.time = time;
        e.house = m_house;
        e.show = show;
        e.code = code;
        e.iLoop = m_traits.iLoop;
        e.prog = m_prog;
        return e;
    }

    void morningEvents()
    {
        if (m_rng.chance(kResetRate)) {
            const SiteTime t = at(m_rng.range(kMorningStart, 9 * kHour + 30 * kMinute));
            const int code = ResetExternal + m_rng.weighted({ 0.15, 0.60, 0.15, 0.05, 0.03, 0.02 });
            SimEvent &e = add(t, code, -1);
            e.flag1 |= ComputerFlag;
            putDateParameters(e, t.addSecs(-m_rng.range(10 * kMinute, 6 * kHour)));
            e.p[6] = m_traits.firmware;
            e.p[7] = m_traits.checksum;
            ++m_counts.resets;
        }
        const std::pair<int, double> clocks[] = { { ClockHostRequest, kClockHostRequestRate },
            { ClockKeypad, kClockKeypadRate }, { ClockHostForced, kClockHostForcedRate } };
        for (const auto &[code, rate] : clocks) {
            if (!m_rng.chance(rate))
                continue;
            const SiteTime t = at(m_rng.range(kMorningStart, 9 * kHour + 40 * kMinute));
            const int drift = code == ClockKeypad ? m_rng.range(30, 600) : m_rng.range(5, 120);
            SimEvent &e = add(t, code, -1);
            if (code != ClockKeypad)
                e.flag1 |= ComputerFlag;
            putDateParameters(e, t.addSecs(m_rng.chance(0.5) ? drift : -drift));
            ++m_counts.clockChanges;
        }
        if (m_rng.chance(kMaintenanceRate)) {
            SimEvent &e = add(at(m_rng.range(8 * kHour, 9 * kHour + 45 * kMinute)), UserCode, -1);
            e.flag1 |= UserCodeFlag;
            e.p[0] = m_onDuty;
            e.p[4] = m_rng.pick({ 0, 0, 0, 102 });
            e.p[5] = m_rng.pick({ 100, 101, 102, 103, 300, 301, 302, 303, 304, 305, 400, 401, 402,
                403, 404, 405, 500, 501, 502 });
            ++m_counts.maintenanceEntries;
        }
    }

    void shows()
    {
        int count = 4
            + m_rng.weighted(
                { kShowsPerDayWeights[0], kShowsPerDayWeights[1], kShowsPerDayWeights[2] });
        const int turnaround = m_rng.range(20, 35) * kMinute;
        const int slot = (20 * kMinute + m_feature + turnaround + 5 * kMinute - 1) / (5 * kMinute)
            * (5 * kMinute);
        const int latestLastStart = 24 * kHour + 30 * kMinute;
        while (count > 4 && kFirstShowEarliest + (count - 1) * slot > latestLastStart)
            --count;
        const int lastStartTarget = m_rng.range(21 * 12 + 6, 23 * 12 + 9) * 5 * kMinute;
        const int first = std::max(kFirstShowEarliest, lastStartTarget - (count - 1) * slot);

        // The first show of a new program runs in learn mode.
        bool learn = m_day.dayOfWeek() == Qt::Friday;
        SiteTime notBefore = at(kFirstShowEarliest - 15 * kMinute);
        for (int i = 0; i < count; ++i) {
            notBefore = show(at(first + i * slot), notBefore, learn);
            learn = false;
        }
    }

    ShowKind drawKind(bool late)
    {
        const int k = m_rng.weighted({ 1.0
                - (kBlipRate + kStartDelayRate + kInterruptedRate + kEndDownRate + kNonShowRate
                    + kAbortedRate + kOverlongRate),
            kBlipRate, kStartDelayRate, kInterruptedRate, kEndDownRate, kNonShowRate, kAbortedRate,
            kOverlongRate });
        const auto kind = static_cast<ShowKind>(k);
        // An hour-long stop of a late show would run into the next morning.
        if (kind == ShowKind::Overlong && late)
            return ShowKind::Interrupted;
        return kind;
    }

    // Makes one show planned to start at \a scheduled; returns when the next may start.
    SiteTime show(SiteTime scheduled, SiteTime notBefore, bool learn)
    {
        int startCode
            = StartClock - m_rng.weighted({ kStartWeights[2], kStartWeights[1], kStartWeights[0] });
        SiteTime start = scheduled;
        if (startCode == StartTimed)
            start = scheduled.addSecs(m_rng.range(0, 90));
        else if (startCode == StartManual)
            start = scheduled.addSecs(m_rng.range(-60, 300));
        if (start < notBefore) {
            // The schedule was missed; the projectionist starts by hand once the house is ready.
            startCode = StartManual;
            start = notBefore.addSecs(m_rng.range(0, 120));
        }
        // Shows pushed this far by earlier stops are not given: the house closes for the night.
        if (start > at(kLatestStart))
            return notBefore;
        const ShowKind kind = drawKind(start.secondsOfDay() >= 22 * kHour || start.date() > m_day);

        if (m_rng.chance(kReadyToRunRate)) {
            const SiteTime ready = start.addSecs(-m_rng.range(2 * kMinute, 12 * kMinute));
            if (ready > notBefore) {
                SimEvent &e = add(ready, ReadyToRun, -1);
                e.flag1 |= ReadyToRunFlag;
            }
        }

        const int index = static_cast<int>(m_shows.size());
        ShowTruth &truth = m_shows.emplace_back();
        truth.house = m_house;
        truth.start = start;
        truth.showDay = start.addSecs(-kShowDayShift).date();
        truth.startCode = startCode;
        truth.kind = kind;

        // Projection length and the halts in it.
        int runLength = 0;
        std::vector<Pause> pauses;
        int cause = 0; // the first stop's code
        int delay = 0;
        switch (kind) {
        case ShowKind::NonShow:
        case ShowKind::Aborted:
            runLength = m_rng.range(60, 480);
            break;
        default:
            runLength = m_rng.range(12, 20) * kMinute + m_feature + m_rng.range(-30, 30);
            break;
        }
        const int middleFrom = 10 * kMinute;
        const int middleTo = runLength - 10 * kMinute;
        switch (kind) {
        case ShowKind::Normal:
            break;
        case ShowKind::Blip:
            cause = m_rng.chance(0.7) ? FaultMotion : FaultFilm;
            pauses.push_back({ m_rng.range(middleFrom, middleTo), m_rng.range(1, 2), cause });
            break;
        case ShowKind::StartDelay:
            cause = std::array { FaultFilm, FaultLamp,
                StopManual }[m_rng.weighted({ 0.40, 0.25, 0.35 })];
            delay = m_rng.chance(kLongDelayShare) ? m_rng.range(300, 900) : m_rng.range(20, 280);
            pauses.push_back({ m_rng.range(2, 4), delay, cause });
            break;
        case ShowKind::Interrupted: {
            const int stops = 1 + m_rng.weighted({ 0.75, 0.20, 0.05 });
            std::vector<int> positions;
            while (static_cast<int>(positions.size()) < stops) {
                const int r = m_rng.range(middleFrom, middleTo);
                if (std::none_of(positions.begin(), positions.end(),
                        [r](int p) { return std::abs(p - r) < 60; }))
                    positions.push_back(r);
            }
            std::sort(positions.begin(), positions.end());
            for (int r : positions) {
                const int code = std::array { StopManual, FaultFilm, FaultMotion,
                    FaultLamp }[m_rng.weighted({ 0.35, 0.30, 0.15, 0.20 })];
                int length = 0;
                switch (code) {
                case StopManual:
                    length = m_rng.range(15, 420);
                    break;
                case FaultFilm:
                    length = m_rng.range(60, 900);
                    break;
                case FaultMotion:
                    length = m_rng.range(10, 300);
                    break;
                default:
                    length = m_rng.range(90, 900);
                    break;
                }
                if (cause == 0)
                    cause = code;
                pauses.push_back({ r, length, code });
            }
            break;
        }
        case ShowKind::EndDown:
            cause = m_rng.chance(0.6) ? StopManual : FaultFilm;
            pauses.push_back({ runLength, m_rng.range(20, 300), cause, true, false });
            break;
        case ShowKind::NonShow:
            cause = StopManual;
            pauses.push_back({ runLength, m_rng.range(10, 240), cause, true, false });
            break;
        case ShowKind::Aborted:
            pauses.push_back({ runLength, m_rng.range(0, 2), ManualAbort, false, false });
            break;
        case ShowKind::Overlong:
            cause = m_rng.chance(0.6) ? FaultLamp : FaultFilm;
            pauses.push_back({ m_rng.range(middleFrom, middleTo),
                m_rng.range(kStatisticsLimit, 2 * kStatisticsLimit), cause });
            break;
        }
        const bool fullShow = kind != ShowKind::NonShow && kind != ShowKind::Aborted;
        if (fullShow && m_rng.chance(kIntermissionRate)) {
            const int r = runLength / 2 + m_rng.range(-10, 10) * kMinute;
            if (std::none_of(pauses.begin(), pauses.end(),
                    [r](const Pause &p) { return std::abs(p.runAt - r) < 60; })) {
                pauses.push_back({ r, m_rng.range(8, 15) * kMinute, IntermissionStart, false });
                std::sort(pauses.begin(), pauses.end(),
                    [](const Pause &a, const Pause &b) { return a.runAt < b.runAt; });
            }
        }

        // Cues, by projection second.
        std::vector<int> cues;
        const int cueCount = fullShow ? m_rng.range(14, 30) : m_rng.range(0, 3);
        for (int c = 0; c < cueCount; ++c)
            cues.push_back(m_rng.range(5, std::max(5, runLength - 30)));
        std::sort(cues.begin(), cues.end());
        const bool syncCue = fullShow && m_rng.chance(0.10);
        const int syncCueAt = syncCue ? m_rng.range(60, 20 * kMinute) : -1;

        // Emit in projection order; the day is sorted by time later.
        const size_t firstEvent = m_events.size();
        const int base2 = (learn ? LearnMode : 0) | (m_traits.iLoop ? InSync : 0) | InProgress;
        int down = 0;
        int offset = 0;
        auto showEvent
            = [&](SiteTime t, int code, int flag1, bool running, int status) -> SimEvent & {
            SimEvent &e = add(t, code, index);
            e.flag1 |= flag1;
            e.flag2 = base2 | (running ? Running : 0);
            e.down = down;
            e.stat = status;
            return e;
        };
        showEvent(start, startCode, ShowStartFlag | (startCode != StartManual ? ScheduledEvent : 0),
            true, ShowRunning);
        showEvent(start.addSecs(m_rng.range(0, 1)), CueAutomatic0, CueFlag, true, ShowRunning);
        size_t nextCue = 0;
        int cueNumber = 0;
        auto cuesUpTo = [&](int runAt) {
            for (; nextCue < cues.size() && cues[nextCue] <= runAt; ++nextCue) {
                const int code = learn
                    ? (m_rng.chance(0.97) ? CueFilm : CueKeypad)
                    : std::array { CueLearned, CueInserted, CueFilm,
                          CueKeypad }[m_rng.weighted({ 0.85, 0.07, 0.06, 0.02 })];
                showEvent(start.addSecs(cues[nextCue] + offset), code, CueFlag, true, ShowRunning)
                    .cue
                    = ++cueNumber;
            }
        };
        std::vector<std::pair<int, int>> stops; // code, down length, in order
        bool ended = false;
        for (const Pause &p : pauses) {
            cuesUpTo(p.runAt);
            const SiteTime halt = start.addSecs(p.runAt + offset);
            if (p.code == IntermissionStart) {
                showEvent(halt, IntermissionStart, 0, true, InIntermission);
                offset += p.length;
                showEvent(halt.addSecs(p.length), IntermissionEnd, 0, true, ShowRunning);
                continue;
            }
            int flag1 = UnscheduledShutDown;
            if (p.code != StopManual && p.code != ManualAbort)
                flag1 |= p.length <= 2 ? MinorFault : MajorFault;
            showEvent(halt, p.code, flag1, true, ShowStopped);
            if (p.countsDown)
                stops.emplace_back(p.code, p.length);
            if (p.resumes) {
                if (p.length > 25) {
                    const int wait = p.length - m_rng.range(3, 20);
                    const int before = down;
                    down += wait; // the counter runs while the unit waits
                    showEvent(
                        halt.addSecs(wait), ReadyToResume, ReadyToResumeFlag, false, ShowStopped);
                    down = before;
                }
                down += p.length;
                offset += p.length;
                showEvent(halt.addSecs(p.length), ShowResumed, ResumeFlag, true, ShowRunning);
            } else {
                if (p.countsDown)
                    down += p.length;
                offset += p.length;
                ended = true;
            }
        }
        if (!ended)
            cuesUpTo(runLength);
        if (syncCue) {
            // The film's sync cue carries number 0; it lies before any halt of the show.
            const bool clear = std::all_of(
                pauses.begin(), pauses.end(), [&](const Pause &p) { return p.runAt > syncCueAt; });
            if (clear) {
                SimEvent &e = add(start.addSecs(syncCueAt), CueFilm, index);
                e.flag1 |= CueFlag;
                e.flag2 = base2 | Running;
                e.stat = ShowRunning;
            }
        }
        const SiteTime end = start.addSecs(runLength + offset);
        showEvent(end, EndOfShow, ShowEndFlag, false, Idle);

        truth.end = end;
        truth.down = down;
        truth.expectedClass = expectedClass(kind, down);

        SiteTime next = end.addSecs(10 * kMinute);
        const bool problemShow
            = kind != ShowKind::Normal && kind != ShowKind::Blip && kind != ShowKind::Aborted;
        double userCodeRate = kUserCodeAfterNormal;
        if (problemShow)
            userCodeRate = kUserCodeAfterProblem;
        else if (kind == ShowKind::Aborted)
            userCodeRate = kUserCodeAfterAbort;
        else if (kind == ShowKind::Blip)
            userCodeRate = kUserCodeAfterBlip;
        if (m_rng.chance(userCodeRate)) {
            const SiteTime t = end.addSecs(m_rng.range(kMinute, 10 * kMinute));
            SimEvent &e = add(t, UserCode, index);
            e.flag1 |= UserCodeFlag;
            e.p[0] = m_onDuty;
            putUserCodes(m_rng, e, kind, cause, delay);
            truth.userCode = true;
            truth.userProblem = e.p[1];
            next = std::max(next, t.addSecs(5 * kMinute));
        }
        if (truth.expectedClass == 2)
            truth.expectedProblem
                = truth.userCode ? truth.userProblem : problemFromStops(stops, down);

        // Steps of the show's program, in time order.
        std::stable_sort(m_events.begin() + static_cast<std::ptrdiff_t>(firstEvent), m_events.end(),
            [](const SimEvent &a, const SimEvent &b) { return a.time < b.time; });
        int seq = 0;
        for (size_t i = firstEvent; i < m_events.size(); ++i)
            if (m_events[i].show == index)
                m_events[i].seq = ++seq;
        return next;
    }

    static int expectedClass(ShowKind kind, int down)
    {
        if (down < 3 || down >= kStatisticsLimit)
            return 0;
        switch (kind) {
        case ShowKind::StartDelay:
            return down < 300 ? 1 : 2;
        case ShowKind::Interrupted:
            return 2;
        case ShowKind::EndDown:
        case ShowKind::NonShow:
            return 1;
        default:
            return 0;
        }
    }

    // The stopping code the statistics find: from the stop during which the counter passes
    // 95 % of the show's down time, back to the nearest stop with a stopping code.
    static int problemFromStops(const std::vector<std::pair<int, int>> &stops, int down)
    {
        int sum = 0;
        size_t crossing = 0;
        for (; crossing < stops.size(); ++crossing) {
            sum += stops[crossing].second;
            if (sum > 0.95 * down)
                break;
        }
        for (size_t i = std::min(crossing + 1, stops.size()); i-- > 0;)
            if (kStoppingCodes.contains(stops[i].first))
                return stops[i].first;
        return 0;
    }

    SimRandom m_rng;
    int m_house;
    QDate m_day;
    HouseTraits m_traits;
    int m_onDuty;
    int m_prog = 1;
    int m_feature = 0;
    std::vector<SimEvent> &m_events;
    QList<ShowTruth> &m_shows;
    GeneratorCounts &m_counts;
};

} // namespace

QString showKindName(ShowKind kind)
{
    switch (kind) {
    case ShowKind::Normal:
        return QStringLiteral("normal");
    case ShowKind::Blip:
        return QStringLiteral("blip");
    case ShowKind::StartDelay:
        return QStringLiteral("start delay");
    case ShowKind::Interrupted:
        return QStringLiteral("interrupted");
    case ShowKind::EndDown:
        return QStringLiteral("end down");
    case ShowKind::NonShow:
        return QStringLiteral("non-show");
    case ShowKind::Aborted:
        return QStringLiteral("aborted");
    case ShowKind::Overlong:
        return QStringLiteral("overlong");
    }
    return QString();
}

EventGenerator::EventGenerator(const GeneratorOptions &options)
    : m_options(options)
{
    if (!m_options.endDate.isValid())
        m_options.endDate = Clock::currentDate();
    makeOperators();
}

QString EventGenerator::validate(const GeneratorOptions &options)
{
    if (options.houses < 1 || options.houses > 99)
        return QStringLiteral("The number of houses must be 1 to 99.");
    if (options.days < 1 || options.days > 3660)
        return QStringLiteral("The number of days must be 1 to 3660.");
    const QDate end = options.endDate.isValid() ? options.endDate : Clock::currentDate();
    if (end.addDays(1 - options.days).year() < 1900 || end.year() > 9998)
        return QStringLiteral("The days must lie between the years 1900 and 9998.");
    return QString();
}

void EventGenerator::makeOperators()
{
    SimRandom rng = SimRandom::stream(m_options.seed, 5);
    QStringList names = { QStringLiteral("Maria Lopez"), QStringLiteral("James Carter"),
        QStringLiteral("Anna Novak"), QStringLiteral("Peter Brandt"),
        QStringLiteral("Linda Okafor"), QStringLiteral("Tom Reilly"), QStringLiteral("Sofia Marin"),
        QStringLiteral("Daniel Weiss"), QStringLiteral("Grace Holm"), QStringLiteral("Victor Sala"),
        QStringLiteral("Nina Petrov"), QStringLiteral("Oscar Lund") };
    for (int i = static_cast<int>(names.size()) - 1; i > 0; --i)
        names.swapItemsAt(i, rng.range(0, i));

    const QDate first = firstDay();
    const int count = rng.range(5, 7);
    QList<DriverOperator> ops;
    for (int id = 1; id <= count; ++id) {
        DriverOperator op;
        op.id = id;
        op.name = names[id - 1];
        op.startDate = SiteTime(first.addDays(-rng.range(60, 1500)), 9 * kHour);
        ops.append(op);
    }
    // An operator number that belonged to someone who left before the period.
    const int reused = rng.range(1, count);
    DriverOperator former;
    former.id = reused;
    former.name = names[count];
    former.endDate
        = SiteTime(ops[reused - 1].startDate.date().addDays(-rng.range(1, 30)), 17 * kHour);
    former.startDate = SiteTime(former.endDate.date().addDays(-rng.range(400, 1500)), 9 * kHour);
    ops.append(former);
    // In longer periods someone leaves and a newcomer gets the number two days later.
    if (m_options.days >= 14) {
        const int changed = reused % count + 1;
        const QDate leaves = first.addDays(rng.range(m_options.days / 3, 2 * m_options.days / 3));
        ops[changed - 1].endDate = SiteTime(leaves, 18 * kHour);
        DriverOperator newcomer;
        newcomer.id = changed;
        newcomer.name = names[count + 1];
        newcomer.startDate = SiteTime(leaves.addDays(2), 9 * kHour);
        ops.append(newcomer);
    }
    std::stable_sort(ops.begin(), ops.end(),
        [](const DriverOperator &a, const DriverOperator &b) { return a.startDate < b.startDate; });
    for (int i = 0; i < ops.size(); ++i)
        ops[i].uniqueId = i + 1;
    m_operators = ops;
}

bool EventGenerator::generate(const EventSink &sink)
{
    m_shows.clear();
    m_counts = GeneratorCounts();
    m_error.clear();

    std::vector<HouseTraits> traits(static_cast<size_t>(m_options.houses) + 1);
    for (int house = 1; house <= m_options.houses; ++house) {
        SimRandom rng = SimRandom::stream(m_options.seed, 3, static_cast<quint64>(house));
        HouseTraits &t = traits[static_cast<size_t>(house)];
        t.iLoop = rng.chance(0.25) ? 1 + house % 2 : 0;
        t.firmware = rng.range(310, 325);
        t.checksum = rng.range(0, 0xFFFF);
    }

    std::vector<SimEvent> pending;
    qint64 uniqueId = 0;
    int nextShowId = 1;
    SiteTime lastLog;
    for (int d = 0; d < m_options.days; ++d) {
        const QDate day = firstDay().addDays(d);
        const qsizetype dayShows = m_shows.size();
        for (int house = 1; house <= m_options.houses; ++house) {
            HouseDay(m_options.seed, house, day, traits[static_cast<size_t>(house)],
                operatorOnDuty(day, house), pending, m_shows, m_counts)
                .make();
        }
        std::vector<qsizetype> order(static_cast<size_t>(m_shows.size() - dayShows));
        std::iota(order.begin(), order.end(), dayShows);
        std::sort(order.begin(), order.end(), [this](qsizetype a, qsizetype b) {
            const ShowTruth &x = m_shows[a];
            const ShowTruth &y = m_shows[b];
            return x.start != y.start ? x.start < y.start : x.house < y.house;
        });
        for (qsizetype i : order)
            m_shows[i].showId = nextShowId++;

        // Late shows run into the next day; hand out only what no later day can precede.
        std::stable_sort(pending.begin(), pending.end(),
            [](const SimEvent &a, const SimEvent &b) { return a.time < b.time; });
        const bool lastDay = d == m_options.days - 1;
        const SiteTime cutoff(day.addDays(1), kMorningStart);
        SimRandom logLag = SimRandom::stream(m_options.seed, 4, static_cast<quint64>(d));
        size_t handed = 0;
        for (; handed < pending.size() && (lastDay || pending[handed].time < cutoff); ++handed) {
            const SimEvent &e = pending[handed];
            EventRecord r;
            r.RecVer = 2;
            r.DevType = 1;
            r.EvCode = e.code;
            r.CodeName = codeName(e.code);
            r.Flag1 = e.flag1;
            r.Flag2 = e.flag2;
            r.Seq = e.seq;
            // The encoder reads only the fields; UTC spares a local-time conversion per event.
            r.EventTime = QDateTime(e.time.date(),
                QTime::fromMSecsSinceStartOfDay(e.time.secondsOfDay() * 1000), Qt::UTC);
            r.Fut = 0;
            r.Down = e.down;
            r.iLoop = e.iLoop;
            r.Prog = e.prog;
            r.Cue = e.cue;
            r.Stat = e.stat;
            r.P1 = e.p[0];
            r.P2 = e.p[1];
            r.P3 = e.p[2];
            r.P4 = e.p[3];
            r.P5 = e.p[4];
            r.P6 = e.p[5];
            r.P7 = e.p[6];
            r.P8 = e.p[7];
            DriverEvent out;
            out.eventData = EventEncoder::encode(r);
            if (out.eventData.isEmpty()) {
                m_error = QStringLiteral("An event of house %1 at %2 does not fit the record.")
                              .arg(e.house)
                              .arg(e.time.toText());
                return false;
            }
            out.uniqueId = ++uniqueId;
            out.machId = e.house;
            out.showId = e.show >= 0 ? m_shows[e.show].showId : 0;
            out.eventTime = e.time;
            // The driver logs an event a moment after it happened, never out of order.
            out.logTime = std::max(lastLog, e.time.addSecs(logLag.range(0, 2)));
            lastLog = out.logTime;
            if (!sink(out)) {
                m_error = QStringLiteral("Event %1 was not stored").arg(out.uniqueId);
                return false;
            }
            ++m_counts.events;
        }
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(handed));
    }
    std::sort(m_shows.begin(), m_shows.end(),
        [](const ShowTruth &a, const ShowTruth &b) { return a.showId < b.showId; });
    return true;
}

int EventGenerator::operatorOnDuty(QDate day, int house) const
{
    // Whoever works the whole show day, from the morning to the last show's end.
    const SiteTime from(day, kMorningStart);
    const SiteTime to(day.addDays(1), kMorningStart);
    QList<int> active;
    for (const DriverOperator &op : m_operators)
        if (op.startDate <= from && (!op.endDate.isValid() || op.endDate >= to))
            active.append(op.id);
    SimRandom rng = SimRandom::stream(
        m_options.seed, 6, static_cast<quint64>(house), static_cast<quint64>(day.toJulianDay()));
    return active.isEmpty() ? 0 : active[rng.range(0, static_cast<int>(active.size()) - 1)];
}

bool EventGenerator::writeDatabase(DriverDatabase &database)
{
    m_error.clear();
    bool ok = database.beginLoad();
    for (int i = 0; ok && i < m_operators.size(); ++i)
        ok = database.addOperator(m_operators[i]);
    if (ok && !generate([&database](const DriverEvent &e) { return database.addEvent(e); })) {
        if (!database.lastError().isEmpty())
            m_error += QStringLiteral(": ") + database.lastError();
        return false;
    }
    if (ok)
        ok = database.finishLoad();
    if (!ok)
        m_error = database.lastError();
    return ok;
}

QByteArray EventGenerator::truthJson() const
{
    QJsonObject root;
    root[QStringLiteral("seed")] = QString::number(m_options.seed);
    root[QStringLiteral("houses")] = m_options.houses;
    root[QStringLiteral("days")] = m_options.days;
    root[QStringLiteral("firstDay")] = firstDay().toString(Qt::ISODate);
    root[QStringLiteral("endDay")] = m_options.endDate.toString(Qt::ISODate);
    root[QStringLiteral("events")] = m_counts.events;
    root[QStringLiteral("resets")] = m_counts.resets;
    root[QStringLiteral("clockChanges")] = m_counts.clockChanges;
    root[QStringLiteral("maintenanceEntries")] = m_counts.maintenanceEntries;

    QJsonArray operators;
    for (const DriverOperator &op : m_operators) {
        QJsonObject o;
        o[QStringLiteral("uniqueid")] = op.uniqueId;
        o[QStringLiteral("id")] = op.id;
        o[QStringLiteral("name")] = op.name;
        o[QStringLiteral("startdate")] = op.startDate.toText();
        o[QStringLiteral("enddate")]
            = op.endDate.isValid() ? QJsonValue(op.endDate.toText()) : QJsonValue();
        operators.append(o);
    }
    root[QStringLiteral("operators")] = operators;

    // Per house and show day, with the day figures the show statistics keep.
    std::vector<const ShowTruth *> shows;
    for (const ShowTruth &s : m_shows)
        shows.push_back(&s);
    std::stable_sort(shows.begin(), shows.end(), [](const ShowTruth *a, const ShowTruth *b) {
        return a->house != b->house ? a->house < b->house : a->showDay < b->showDay;
    });
    QJsonArray houseDays;
    for (size_t i = 0; i < shows.size();) {
        const int house = shows[i]->house;
        const QDate day = shows[i]->showDay;
        QJsonArray list;
        int major = 0, minor = 0, downTime = 0, nonMajorDownTime = 0, count = 0;
        for (; i < shows.size() && shows[i]->house == house && shows[i]->showDay == day; ++i) {
            const ShowTruth &s = *shows[i];
            ++count;
            if (s.expectedClass == 2)
                ++major;
            if (s.expectedClass == 1)
                ++minor;
            if (s.down < kStatisticsLimit)
                (s.expectedClass == 2 ? downTime : nonMajorDownTime) += s.down;
            QJsonObject o;
            o[QStringLiteral("showId")] = s.showId;
            o[QStringLiteral("start")] = s.start.toText();
            o[QStringLiteral("end")] = s.end.toText();
            o[QStringLiteral("startCode")] = s.startCode;
            o[QStringLiteral("kind")] = showKindName(s.kind);
            o[QStringLiteral("down")] = s.down;
            o[QStringLiteral("class")] = s.expectedClass;
            o[QStringLiteral("userCode")] = s.userCode;
            o[QStringLiteral("userProblem")] = s.userProblem;
            o[QStringLiteral("problem")] = s.expectedProblem;
            list.append(o);
        }
        QJsonObject o;
        o[QStringLiteral("house")] = house;
        o[QStringLiteral("day")] = day.toString(Qt::ISODate);
        o[QStringLiteral("showCount")] = count;
        o[QStringLiteral("majorProblems")] = major;
        o[QStringLiteral("minorProblems")] = minor;
        o[QStringLiteral("downTime")] = downTime;
        o[QStringLiteral("nonMajorDownTime")] = nonMajorDownTime;
        o[QStringLiteral("shows")] = list;
        houseDays.append(o);
    }
    root[QStringLiteral("houseDays")] = houseDays;
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

bool EventGenerator::writeTruth(const QString &path, QString *error) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(truthJson()) < 0 || !file.commit()) {
        if (error)
            *error = QStringLiteral("Cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}
