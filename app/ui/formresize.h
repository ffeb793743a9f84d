#pragma once

#include <QList>
#include <QPointer>
#include <QString>

#include <array>
#include <optional>

class QWidget;

/// \brief Tag-driven layout of a window's hand-placed controls, recomputed from their design
/// geometry on every resize so that rounding never accumulates.
///
/// A control takes part when it carries its keywords in the string property "tag" (in Designer:
/// add a dynamic string property named "tag"; in code: setProperty("tag", ...)). The keywords are
/// case-sensitive and found anywhere in the text; unknown words are ignored:
///   scaleleft, scaletop, scaleright, scalebottom  the edge scales with its container
///   holdright, holdbottom   the edge keeps its distance from the container's right/bottom side
///   nohorzsize, novertsize  with scale*/hold* of that axis: move the control, keep its size
///   posright, posbottom     keep the distance to the container's right/bottom side and the size
///   poshorz, posvert        the centre keeps its relative position; size unchanged
///   centerhorz, centervert  centred in the container
///   leftdivN, topdivN       the edge sits 5 pixels right of / below divider N
///   rightdivN, bottomdivN   the edge sits 5 pixels left of / above divider N
/// Divider N (0 to 9) is the widget named "divider_N"; it shares the container of the controls
/// that refer to it, and a divider designed 16 pixels high is made 7 pixels high. Tagged
/// controls sit in containers without a QLayout. The container of a control is its parent
/// widget; window sizes are outer sizes (with the frame, where the window system reports one).
///
/// All arithmetic is in twips of 1/1440 inch: 1440 / logicalDpi twips per pixel.
namespace FormResize {

/// A control's place in twips, relative to its container.
struct Box
{
    double left = 0;
    double top = 0;
    double width = 0;
    double height = 0;

    bool operator==(const Box &) const = default;
};

/// A control's recorded design geometry, in twips.
struct Design
{
    int Left0 = 0;
    int Top0 = 0;
    int Right0 = 0;
    int Bottom0 = 0;
    int ContainerHeight0 = 0;
    int ContainerWidth0 = 0;
};

/// The current places of the dividers 0 to 9, where they exist.
using Dividers = std::array<std::optional<Box>, 10>;

/// One window's layout record; created empty with the window and filled once.
struct LayoutRecord
{
    struct Control
    {
        QPointer<QWidget> widget;
        Design design;
    };

    bool Initialized = false;
    QList<Control> controls;
};

/// The name of the property that carries a control's keywords.
inline constexpr char tagProperty[] = "tag";

/// Where the keywords of \a tag put a control that now sits at \a current and was designed as
/// \a design, in a container that now measures \a containerWidth x \a containerHeight; \a px and
/// \a py are twips per pixel. Steps that cannot be taken (a missing divider, a container
/// recorded with size 0, a negative size) are skipped.
Box layoutControl(const QString &tag, const Design &design, Box current, double containerWidth,
    double containerHeight, double px, double py, const Dividers &dividers);

/// Twips per pixel of the screen \a widget is on, horizontally and vertically.
double twipsPerPixelX(const QWidget *widget);
double twipsPerPixelY(const QWidget *widget);

/// Records the design geometry of \a window's tagged controls, once, and lays the window out.
/// A non-zero \a width or \a height (twips) sizes the window first; a zero one receives the
/// window's current size. The two then serve as the window's minimum size.
void RecordLayout(QWidget *window, int &width, int &height, LayoutRecord &record);
/// Called from the window's resize handler: records the current size as the design the first
/// time, lays the window out afterwards.
void ResizeForm(QWidget *window, int minWidth, int minHeight, LayoutRecord &record);
/// Brings the window back to its minimum size (twips) where it is smaller, then places every
/// recorded control. Does nothing before the record was filled.
void ApplyLayout(QWidget *window, int minWidth, int minHeight, LayoutRecord &record);

} // namespace FormResize
