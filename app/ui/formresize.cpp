#include "ui/formresize.h"

#include <QWidget>

namespace FormResize {

namespace {

constexpr double kTwipsPerInch = 1440.0;
// The gap between a control and the divider it is tied to, in pixels.
constexpr double kDividerGap = 5.0;
// A divider drawn 16 pixels high at design time is shown as a slim 7-pixel bar.
constexpr int kDesignDividerHeight = 16;
constexpr int kDividerHeight = 7;
const QString kDividerPrefix = QStringLiteral("divider_");

int toTwips(int pixels, double twipsPerPixel)
{
    return qRound(pixels * twipsPerPixel);
}

int toPixels(double twips, double twipsPerPixel)
{
    // Keeps wild keyword results (a container recorded a few twips wide) inside what a widget
    // can take.
    return qRound(qBound(double(-QWIDGETSIZE_MAX), twips / twipsPerPixel, double(QWIDGETSIZE_MAX)));
}

bool isDivider(const QWidget *widget)
{
    const QString name = widget->objectName();
    return name.size() == kDividerPrefix.size() + 1 && name.startsWith(kDividerPrefix)
        && name.back().isDigit();
}

QString tagOf(const QWidget *widget)
{
    return widget->property(tagProperty).toString();
}

void slimDivider(QWidget *widget)
{
    if (isDivider(widget) && widget->height() == kDesignDividerHeight)
        widget->resize(widget->width(), kDividerHeight);
}

// The size a control's positions are measured in: its parent's, which in Qt is the area child
// coordinates run over (a group box's included).
QSize containerSize(const QWidget *widget)
{
    const QWidget *container = widget->parentWidget();
    return container ? container->size() : QSize();
}

QSize frameExtra(const QWidget *window)
{
    return window->frameGeometry().size() - window->size();
}

Box boxOf(const QWidget *widget, double px, double py)
{
    const QRect g = widget->geometry();
    return Box { double(toTwips(g.x(), px)), double(toTwips(g.y(), py)),
        double(toTwips(g.width(), px)), double(toTwips(g.height(), py)) };
}

// Divider N of the window, looked up where the control refers to one.
Dividers dividersFor(const QString &tag, const QWidget *window, double px, double py)
{
    Dividers dividers;
    if (!tag.contains(QLatin1String("div")))
        return dividers;
    for (int n = 0; n < int(dividers.size()); ++n) {
        const auto *divider = window->findChild<QWidget *>(kDividerPrefix + QString::number(n));
        if (divider)
            dividers[n] = boxOf(divider, px, py);
    }
    return dividers;
}

// The controls that take part: tagged ones and dividers of this window, parents before their
// children so that a frame is placed before what it holds.
QList<QWidget *> controlsOf(QWidget *window)
{
    QList<QWidget *> controls;
    const QList<QWidget *> all = window->findChildren<QWidget *>();
    for (QWidget *widget : all) {
        if (widget->window() == window && (!tagOf(widget).isEmpty() || isDivider(widget)))
            controls.append(widget);
    }
    return controls;
}

} // namespace

Box layoutControl(const QString &tag, const Design &design, Box current, double containerWidth,
    double containerHeight, double px, double py, const Dividers &dividers)
{
    const auto has = [&tag](const char *keyword) { return tag.contains(QLatin1String(keyword)); };
    const auto divider = [&](const char *keyword) -> std::optional<Box> {
        const QLatin1String word(keyword);
        const qsizetype at = tag.indexOf(word);
        if (at < 0 || at + word.size() >= tag.size())
            return std::nullopt;
        const QChar digit = tag.at(at + word.size());
        if (digit < QLatin1Char('0') || digit > QLatin1Char('9'))
            return std::nullopt;
        return dividers[digit.unicode() - '0'];
    };

    const double L0 = design.Left0;
    const double T0 = design.Top0;
    const double R0 = design.Right0;
    const double B0 = design.Bottom0;
    const double CW0 = design.ContainerWidth0;
    const double CH0 = design.ContainerHeight0;
    const double CW = containerWidth;
    const double CH = containerHeight;
    // A container recorded with no size cannot scale anything.
    const bool scalesX = CW0 != 0;
    const bool scalesY = CH0 != 0;
    const bool noHorzSize = has("nohorzsize");
    const bool noVertSize = has("novertsize");

    Box box = current;
    const auto setWidth = [&box](double width) {
        if (width >= 0)
            box.width = width;
    };
    const auto setHeight = [&box](double height) {
        if (height >= 0)
            box.height = height;
    };

    if (has("scaleleft") && scalesX)
        box.left = L0 * CW / CW0;
    if (const auto d = divider("leftdiv"))
        box.left = d->left + d->width + kDividerGap * px;
    if (const auto d = divider("topdiv"))
        box.top = d->top + d->height + kDividerGap * py;
    if (has("scaletop") && scalesY)
        box.top = T0 * CH / CH0;
    if (has("scaleright") && scalesX) {
        if (noHorzSize)
            box.left = R0 * CW / CW0 - (R0 - L0);
        else
            setWidth(R0 * CW / CW0 - box.left);
    }
    if (has("holdright")) {
        if (noHorzSize)
            box.left = L0 + CW - CW0;
        else
            setWidth(CW - (CW0 - R0) - box.left);
    }
    if (const auto d = divider("rightdiv"))
        setWidth(d->left - box.left - kDividerGap * px);
    if (has("scalebottom") && scalesY) {
        if (noVertSize)
            box.top = B0 * CH / CH0 - (B0 - T0);
        else
            setHeight(B0 * CH / CH0 - box.top);
    }
    if (has("holdbottom")) {
        if (noVertSize)
            box.top = T0 + CH - CH0;
        else
            setHeight(CH - (CH0 - B0) - box.top);
    }
    if (const auto d = divider("bottomdiv"))
        setHeight(d->top - box.top - kDividerGap * py);
    if (has("poshorz") && scalesX)
        box.left = ((L0 + R0) / 2) * CW / CW0 - (R0 - L0) / 2;
    if (has("posvert") && scalesY)
        box.top = ((T0 + B0) / 2) * CH / CH0 - (B0 - T0) / 2;
    if (has("centerhorz"))
        box.left = CW / 2 - (R0 - L0) / 2;
    if (has("centervert"))
        box.top = CH / 2 - (B0 - T0) / 2;
    if (has("posright"))
        box.left = L0 + CW - CW0;
    if (has("posbottom"))
        box.top = T0 + CH - CH0;
    return box;
}

double twipsPerPixelX(const QWidget *widget)
{
    return kTwipsPerInch / widget->logicalDpiX();
}

double twipsPerPixelY(const QWidget *widget)
{
    return kTwipsPerInch / widget->logicalDpiY();
}

void RecordLayout(QWidget *window, int &width, int &height, LayoutRecord &record)
{
    const double px = twipsPerPixelX(window);
    const double py = twipsPerPixelY(window);
    const QSize extra = frameExtra(window);
    if (width != 0)
        window->resize(toPixels(width, px) - extra.width(), window->height());
    else
        width = toTwips(window->width() + extra.width(), px);
    if (height != 0)
        window->resize(window->width(), toPixels(height, py) - extra.height());
    else
        height = toTwips(window->height() + extra.height(), py);

    if (!record.Initialized) {
        record.controls.clear();
        const QList<QWidget *> controls = controlsOf(window);
        for (QWidget *control : controls) {
            slimDivider(control);
            const QRect g = control->geometry();
            const QSize container = containerSize(control);
            Design design;
            design.Left0 = toTwips(g.x(), px);
            design.Top0 = toTwips(g.y(), py);
            // Right and bottom from the pixel edges, so that the recorded size stays exact.
            design.Right0 = design.Left0 + toTwips(g.width(), px);
            design.Bottom0 = design.Top0 + toTwips(g.height(), py);
            design.ContainerHeight0 = toTwips(container.height(), py);
            design.ContainerWidth0 = toTwips(container.width(), px);
            record.controls.append({ control, design });
        }
        record.Initialized = true;
    }
    ApplyLayout(window, width, height, record);
}

void ResizeForm(QWidget *window, int minWidth, int minHeight, LayoutRecord &record)
{
    if (!record.Initialized) {
        int width = 0;
        int height = 0;
        RecordLayout(window, width, height, record);
    } else {
        ApplyLayout(window, minWidth, minHeight, record);
    }
}

void ApplyLayout(QWidget *window, int minWidth, int minHeight, LayoutRecord &record)
{
    if (!record.Initialized)
        return;
    const double px = twipsPerPixelX(window);
    const double py = twipsPerPixelY(window);
    const QSize extra = frameExtra(window);
    const int outerWidth = toTwips(window->width() + extra.width(), px);
    const int outerHeight = toTwips(window->height() + extra.height(), py);
    // Bringing the window back raises another resize; this pass still places the controls.
    if (outerWidth < minWidth)
        window->resize(toPixels(minWidth, px) - extra.width(), window->height());
    if (outerHeight < minHeight)
        window->resize(window->width(), toPixels(minHeight, py) - extra.height());

    for (const LayoutRecord::Control &entry : std::as_const(record.controls)) {
        QWidget *control = entry.widget;
        if (!control || !control->parentWidget())
            continue;
        const QString tag = tagOf(control);
        const QSize container = containerSize(control);
        const Box box = layoutControl(tag, entry.design, boxOf(control, px, py),
            toTwips(container.width(), px), toTwips(container.height(), py), px, py,
            dividersFor(tag, window, px, py));
        const QRect placed(toPixels(box.left, px), toPixels(box.top, py), toPixels(box.width, px),
            toPixels(box.height, py));
        if (placed != control->geometry())
            control->setGeometry(placed);
        slimDivider(control);
    }
}

} // namespace FormResize
