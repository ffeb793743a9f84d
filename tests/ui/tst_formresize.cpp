#include "ui/formresize.h"

#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTest>

using FormResize::Box;
using FormResize::Design;

namespace {

constexpr double kPx = 15;
constexpr double kPy = 15;

Design designOf(const QRect &rect, const QSize &container)
{
    Design d;
    d.Left0 = rect.left();
    d.Top0 = rect.top();
    d.Right0 = rect.left() + rect.width();
    d.Bottom0 = rect.top() + rect.height();
    d.ContainerWidth0 = container.width();
    d.ContainerHeight0 = container.height();
    return d;
}

Box boxOf(const QRectF &rect)
{
    return Box { rect.x(), rect.y(), rect.width(), rect.height() };
}

QRectF rectOf(const Box &box)
{
    return QRectF(box.left, box.top, box.width, box.height);
}

// A window laid out by the engine from its resize handler, as the program's windows are.
class TaggedForm : public QWidget
{
public:
    TaggedForm(int minWidth, int minHeight)
        : m_minWidth(minWidth)
        , m_minHeight(minHeight)
    {
    }

    FormResize::LayoutRecord layout;

protected:
    void resizeEvent(QResizeEvent *event) override
    {
        QWidget::resizeEvent(event);
        FormResize::ResizeForm(this, m_minWidth, m_minHeight, layout);
    }

private:
    int m_minWidth;
    int m_minHeight;
};

QWidget *addControl(QWidget *parent, const char *name, const QRect &geometry, const char *tag)
{
    auto *control = new QLabel(QString::fromLatin1(name), parent);
    control->setObjectName(QString::fromLatin1(name));
    control->setGeometry(geometry);
    if (tag)
        control->setProperty(FormResize::tagProperty, QString::fromLatin1(tag));
    return control;
}

} // namespace

class TestFormResize : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void testKeywords_data();
    void testKeywords();
    void testWindowLayout();
    void testNoDriftOverManyResizes();
    void testMinimumSize();
    void testRecordLayoutSizesWindow();
    void testResizeHandler();
};

void TestFormResize::testKeywords_data()
{
    QTest::addColumn<QString>("tag");
    QTest::addColumn<QRect>("design");
    QTest::addColumn<QSize>("container0");
    QTest::addColumn<QSizeF>("container");
    QTest::addColumn<QRectF>("expected");

    // All in twips at 15 per pixel. The usual control: 1500 x 600 at (600, 900) in a container
    // designed 6000 x 4000, now 9000 x 5000.
    const QRect control(600, 900, 1500, 600);
    const QSize c0(6000, 4000);
    const QSizeF c(9000, 5000);

    QTest::newRow("posbottom posright keep corner distance and size") << QStringLiteral(
        "posbottom posright") << control << c0 << c << QRectF(3600, 1900, 1500, 600);
    QTest::newRow("holdright holdbottom stretch to keep margins") << QStringLiteral(
        "holdright holdbottom") << control << c0 << c << QRectF(600, 900, 4500, 1600);
    QTest::newRow("holdbottom novertsize moves down") << QStringLiteral(
        "holdbottom novertsize") << control << c0 << c << QRectF(600, 1900, 1500, 600);
    QTest::newRow("holdright nohorzsize moves right") << QStringLiteral(
        "holdright nohorzsize") << control << c0 << c << QRectF(3600, 900, 1500, 600);
    QTest::newRow("scaleright nohorzsize moves with the scaled right edge") << QStringLiteral(
        "scaleright nohorzsize") << control << c0 << c << QRectF(1650, 900, 1500, 600);
    QTest::newRow("scalebottom novertsize moves with the scaled bottom edge") << QStringLiteral(
        "novertsize scalebottom") << control << c0 << c << QRectF(600, 1275, 1500, 600);
    QTest::newRow("scaleleft scaleright scale both edges") << QStringLiteral(
        "scaleleft scaleright") << control << c0 << c << QRectF(900, 900, 2250, 600);
    QTest::newRow("holdright sees the left that scaleleft set") << QStringLiteral(
        "holdright scaleleft") << control << c0 << c << QRectF(900, 900, 4200, 600);
    QTest::newRow("poshorz posvert keep the relative centre")
        << QStringLiteral("poshorz posvert") << control << c0 << c << QRectF(1275, 1200, 1500, 600);
    QTest::newRow("centerhorz centervert") << QStringLiteral("centerhorz centervert") << control
                                           << c0 << c << QRectF(3750, 2200, 1500, 600);
    // Two frames stacked in one container share its height in their design proportion.
    QTest::newRow("upper frame scalebottom")
        << QStringLiteral("scalebottom") << QRect(0, 0, 6000, 2400) << c0 << c
        << QRectF(0, 0, 6000, 3000);
    QTest::newRow("lower frame scaletop")
        << QStringLiteral("scaletop") << QRect(0, 2400, 6000, 1600) << c0 << c
        << QRectF(0, 3000, 6000, 1600);
    QTest::newRow("lower frame scaletop scalebottom")
        << QStringLiteral("scaletop scalebottom") << QRect(0, 2400, 6000, 1600) << c0 << c
        << QRectF(0, 3000, 6000, 2000);
    QTest::newRow("dividers left and right") << QStringLiteral("leftdiv2 rightdiv3") << control
                                             << c0 << c << QRectF(1180, 900, 3745, 600);
    QTest::newRow("dividers top and bottom") << QStringLiteral("bottomdiv4 topdiv1") << control
                                             << c0 << c << QRectF(600, 680, 1500, 3245);
    // Steps that cannot be taken leave the control where it is.
    QTest::newRow("unknown words")
        << QStringLiteral("poscenter stretch") << control << c0 << c << QRectF(control);
    QTest::newRow("no tag") << QString() << control << c0 << c << QRectF(control);
    QTest::newRow("keywords are case-sensitive")
        << QStringLiteral("PosRight HoldBottom") << control << c0 << c << QRectF(control);
    QTest::newRow("missing divider")
        << QStringLiteral("leftdiv7") << control << c0 << c << QRectF(control);
    QTest::newRow("divider without digit")
        << QStringLiteral("rightdiv") << control << c0 << c << QRectF(control);
    QTest::newRow("negative width keeps the width")
        << QStringLiteral("holdright posbottom") << control << c0 << QSizeF(2000, 5000)
        << QRectF(600, 1900, 1500, 600);
    QTest::newRow("container recorded without size")
        << QStringLiteral("scaleleft scaletop poshorz holdbottom") << control << QSize(0, 0) << c
        << QRectF(600, 900, 1500, 5600);
    QTest::newRow("design size restores design geometry")
        << QStringLiteral("scaleleft scaleright scaletop scalebottom") << control << c0
        << QSizeF(c0) << QRectF(control);
}

void TestFormResize::testKeywords()
{
    QFETCH(QString, tag);
    QFETCH(QRect, design);
    QFETCH(QSize, container0);
    QFETCH(QSizeF, container);
    QFETCH(QRectF, expected);

    FormResize::Dividers dividers;
    dividers[1] = Box { 0, 500, 9000, 105 };
    dividers[2] = Box { 1000, 0, 105, 5000 };
    dividers[3] = Box { 5000, 0, 105, 5000 };
    dividers[4] = Box { 0, 4000, 9000, 105 };

    const Box placed = FormResize::layoutControl(tag, designOf(design, container0),
        boxOf(QRectF(design)), container.width(), container.height(), kPx, kPy, dividers);
    QCOMPARE(rectOf(placed), expected);
}

void TestFormResize::testWindowLayout()
{
    QWidget window;
    window.resize(400, 300);
    QWidget *list = addControl(&window, "list", QRect(10, 10, 380, 200), "holdright holdbottom");
    QWidget *button = addControl(&window, "button", QRect(310, 266, 80, 24), "posbottom posright");
    QWidget *plain = addControl(&window, "plain", QRect(10, 266, 60, 24), nullptr);
    auto *frame = new QGroupBox(&window);
    frame->setGeometry(10, 215, 200, 46);
    frame->setProperty(FormResize::tagProperty, QStringLiteral("scaleright novertsize holdbottom"));
    // Inside the frame the frame is the container.
    QWidget *inner = addControl(frame, "inner", QRect(150, 18, 40, 20), "posright");
    QWidget *divider = addControl(&window, "divider_0", QRect(0, 100, 400, 16), "holdright");

    FormResize::LayoutRecord record;
    int width = 0;
    int height = 0;
    FormResize::RecordLayout(&window, width, height, record);
    QVERIFY(record.Initialized);
    QCOMPARE(width, qRound(400 * FormResize::twipsPerPixelX(&window)));
    QCOMPARE(height, qRound(300 * FormResize::twipsPerPixelY(&window)));
    // A divider designed 16 pixels high becomes a 7-pixel bar.
    QCOMPARE(divider->geometry(), QRect(0, 100, 400, 7));

    window.resize(600, 450);
    FormResize::ApplyLayout(&window, width, height, record);
    QCOMPARE(list->geometry(), QRect(10, 10, 580, 350));
    QCOMPARE(button->geometry(), QRect(510, 416, 80, 24));
    QCOMPARE(plain->geometry(), QRect(10, 266, 60, 24));
    QCOMPARE(frame->geometry(), QRect(10, 365, 305, 46));
    QCOMPARE(inner->geometry(), QRect(255, 18, 40, 20));
    QCOMPARE(divider->geometry(), QRect(0, 100, 600, 7));

    window.resize(400, 300);
    FormResize::ApplyLayout(&window, width, height, record);
    QCOMPARE(list->geometry(), QRect(10, 10, 380, 200));
    QCOMPARE(button->geometry(), QRect(310, 266, 80, 24));
    QCOMPARE(frame->geometry(), QRect(10, 215, 200, 46));
    QCOMPARE(inner->geometry(), QRect(150, 18, 40, 20));

    // Controls deleted while the window lives are skipped.
    delete button;
    window.resize(500, 400);
    FormResize::ApplyLayout(&window, width, height, record);
    QCOMPARE(list->geometry(), QRect(10, 10, 480, 300));
}

void TestFormResize::testNoDriftOverManyResizes()
{
    QWidget window;
    window.resize(333, 257);
    const QList<QPair<QWidget *, QRect>> controls = {
        { addControl(&window, "a", QRect(7, 9, 101, 33), "scaleleft scaleright scaletop"), {} },
        { addControl(&window, "b", QRect(13, 50, 97, 41), "poshorz posvert"), {} },
        { addControl(&window, "c", QRect(200, 120, 77, 61), "scalebottom novertsize holdright"),
            {} },
        { addControl(&window, "d", QRect(139, 170, 55, 23), "centerhorz scalebottom"), {} },
    };
    QList<QRect> design;
    for (const auto &entry : controls)
        design.append(entry.first->geometry());

    FormResize::LayoutRecord record;
    int width = 0;
    int height = 0;
    FormResize::RecordLayout(&window, width, height, record);

    QRandomGenerator random(20260211);
    for (int i = 0; i < 200; ++i) {
        window.resize(333 + random.bounded(900), 257 + random.bounded(700));
        FormResize::ApplyLayout(&window, width, height, record);
    }
    window.resize(333, 257);
    FormResize::ApplyLayout(&window, width, height, record);
    for (int i = 0; i < controls.size(); ++i)
        QCOMPARE(controls.at(i).first->geometry(), design.at(i));
}

void TestFormResize::testMinimumSize()
{
    QWidget window;
    window.resize(1000, 800);
    QWidget *button = addControl(&window, "button", QRect(900, 760, 80, 24), "posbottom posright");
    FormResize::LayoutRecord record;
    const double px = FormResize::twipsPerPixelX(&window);
    const double py = FormResize::twipsPerPixelY(&window);
    const int minWidth = 9500;
    const int minHeight = 6000;
    int width = 0;
    int height = 0;
    FormResize::RecordLayout(&window, width, height, record);

    // Too narrow only: the width snaps back, the height stays.
    window.resize(300, 700);
    FormResize::ApplyLayout(&window, minWidth, minHeight, record);
    QCOMPARE(window.width(), qRound(minWidth / px));
    QCOMPARE(window.height(), 700);

    window.resize(900, 100);
    FormResize::ApplyLayout(&window, minWidth, minHeight, record);
    QCOMPARE(window.width(), 900);
    QCOMPARE(window.height(), qRound(minHeight / py));
    QCOMPARE(
        button->geometry().bottomRight(), QPoint(900 - 20 - 1, qRound(minHeight / py) - 16 - 1));
}

void TestFormResize::testRecordLayoutSizesWindow()
{
    QWidget window;
    window.resize(200, 100);
    QWidget *button = addControl(&window, "button", QRect(110, 70, 80, 24), "posright posbottom");
    FormResize::LayoutRecord record;
    const double px = FormResize::twipsPerPixelX(&window);
    const double py = FormResize::twipsPerPixelY(&window);
    int width = qRound(400 * px);
    int height = 0;
    FormResize::RecordLayout(&window, width, height, record);
    QCOMPARE(window.size(), QSize(400, 100));
    QCOMPARE(height, qRound(100 * py));
    // The design is what the window held when it was recorded.
    QCOMPARE(button->geometry(), QRect(110, 70, 80, 24));

    // Recording again keeps the first design and lays out against it.
    width = 0;
    height = qRound(300 * py);
    FormResize::RecordLayout(&window, width, height, record);
    QCOMPARE(window.size(), QSize(400, 300));
    QCOMPARE(button->geometry(), QRect(110, 270, 80, 24));
}

void TestFormResize::testResizeHandler()
{
    TaggedForm form(3000, 3000);
    form.resize(400, 300);
    QWidget *list = addControl(&form, "list", QRect(10, 10, 380, 280), "holdright holdbottom");
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    // The first resize recorded the design.
    QVERIFY(form.layout.Initialized);

    form.resize(500, 350);
    QTRY_COMPARE(list->geometry(), QRect(10, 10, 480, 330));

    // The minimum counts the window's frame, where the window system draws one.
    const double px = FormResize::twipsPerPixelX(&form);
    form.resize(50, 350);
    QTRY_COMPARE(form.frameGeometry().width(), qRound(3000 / px));
}

QTEST_MAIN(TestFormResize)
#include "tst_formresize.moc"
