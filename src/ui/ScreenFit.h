#pragma once

#include <QSize>

class QWidget;

// The room a window has on the screen it shows on. Projectors mirrored at
// 1024x768 and laptops at 1366x768 with 150 % scaling (910x512 logical
// pixels, less the taskbar) are where the installers work, so every dialog
// has to fit there with all of its buttons in view.

// The part of a screen's available area (the taskbar left out) that a
// window's client area may take: the title bar and the borders need the rest.
QSize ClientRoom(const QSize& available);

// The available area of the screen the widget shows on, or of the primary
// screen before it shows.
QSize AvailableScreenSize(const QWidget& widget);

// Caps a dialog at the room of a screen of that available size: one with a
// layout never goes below its layout's minimum, one of a template scrolls
// its controls (CDialogBase::FitScreen).
void FitToScreen(QWidget& dialog, const QSize& available);
