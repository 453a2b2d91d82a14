#include "ScreenFit.h"

#include "DialogBase.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace {

// A Windows 10 and 11 caption is 31 logical pixels high and the borders 8
// wide each (mostly invisible, but they count against the screen).
constexpr int kFrameWidth = 16;
constexpr int kFrameHeight = 39;

} // namespace

QSize ClientRoom(const QSize& available) {
    return QSize(std::max(0, available.width() - kFrameWidth),
                 std::max(0, available.height() - kFrameHeight));
}

QSize AvailableScreenSize(const QWidget& widget) {
    const QScreen* pScreen = widget.screen();
    if (!pScreen)
        pScreen = QGuiApplication::primaryScreen();
    return pScreen ? pScreen->availableGeometry().size() : QSize(1024, 728);
}

void FitToScreen(QWidget& dialog, const QSize& available) {
    const QSize room = ClientRoom(available);
    // A dialog of a template keeps its controls' places and scrolls them.
    if (auto* pTemplated = qobject_cast<CDialogBase*>(&dialog)) {
        pTemplated->FitScreen(room);
        return;
    }
    const QSize minimum = dialog.minimumSizeHint().expandedTo(dialog.minimumSize());
    // A dialog nobody sized yet would show at its layout's size.
    const QSize natural = dialog.testAttribute(Qt::WA_Resized) ? dialog.size() : dialog.sizeHint();
    const QSize wanted = natural.boundedTo(room).expandedTo(minimum);
    dialog.resize(wanted);
}
