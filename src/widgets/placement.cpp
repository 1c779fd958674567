#include "widgets/placement.h"

#include "base/windowplacement.h"

#include <algorithm>

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QGuiApplication>
#include <QFontMetrics>
#include <QScreen>
#include <QStyle>
#include <QWindow>
#include <QWidget>

namespace dorvan {

QRect screenArea(const QWidget &window)
{
    const QScreen *screen = window.screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

void centreOnScreen(QWidget &window)
{
    const QRect area = screenArea(window);
    if (area.isEmpty())
        return;
    QRect client(QPoint(), window.size());
    client.moveCenter(area.center());
    const QPoint frameOffset = window.geometry().topLeft() - window.pos();
    window.move(client.topLeft() - frameOffset);
}

QRect frameOf(const QWidget &window)
{
    const QRect frame = window.frameGeometry();
    if (frame != window.geometry())
        return frame;
    constexpr int Border = 4;
    constexpr int TitleBar = 28;
    return QRect(window.pos(), window.size() + QSize(2 * Border, TitleBar + Border));
}

void moveFrameTo(QWidget &window, const QPoint &frameTopLeft)
{
    window.move(frameTopLeft);
}

QWidget *shownAlarmWindow()
{
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        if (window->objectName() == QLatin1String("FormAlarmWindow") && window->isVisible())
            return window;
    }
    return nullptr;
}

namespace {

// Takes the alarm window back to the middle of the screen once the dialog it
// gave way to has closed.
class AlarmWindowReturn : public QObject
{
public:
    AlarmWindowReturn(QWidget &dialog, QWidget &alarm) : QObject(&dialog), alarm_(&alarm)
    {
        dialog.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Hide && watched == parent()) {
            if (alarm_ && alarm_->isVisible())
                centreOnScreen(*alarm_);
            deleteLater();
        }
        return false;
    }

private:
    QPointer<QWidget> alarm_;
};

} // namespace

void alarmWindowGivesWay(QWidget &alarm, QWidget &dialog, const QPoint &alarmFrameTopLeft)
{
    if (alarmFrameTopLeft == frameOf(alarm).topLeft())
        return;
    moveFrameTo(alarm, alarmFrameTopLeft);
    new AlarmWindowReturn(dialog, alarm);
}

void keepClearOfAlarms(QWidget &window)
{
    QWidget *alarm = shownAlarmWindow();
    if (!alarm || alarm == &window)
        return;
    const placement::Places places =
        placement::placeDialog(screenArea(window), frameOf(window), frameOf(*alarm));
    moveFrameTo(window, places.dialog);
    alarmWindowGivesWay(*alarm, window, places.alarm);
}

void centreClearOfAlarms(QWidget &window)
{
    centreOnScreen(window);
    keepClearOfAlarms(window);
}

QWidget *operatorsDialog(const QWidget &alarm)
{
    if (QWidget *modal = QApplication::activeModalWidget(); modal && modal != &alarm)
        return modal;
    QWidget *active = QApplication::activeWindow();
    if (active && active != &alarm && active->isWindow()
        && (active->windowType() == Qt::Dialog || active->windowType() == Qt::Sheet))
        return active;
    return nullptr;
}

int widthForTitle(const QWidget &dialog, const QString &caption)
{
    constexpr int TitleBarButtons = 4;
    QFont title = dialog.font();
    title.setBold(true);
    title.setPixelSize(QFontInfo(title).pixelSize() + 2);
    const int buttons = TitleBarButtons * dialog.style()->pixelMetric(QStyle::PM_TitleBarHeight);
    return QFontMetrics(title).horizontalAdvance(caption) * 6 / 5 + buttons;
}

void moveToTopLeft(QWidget &window)
{
    const QPoint corner = screenArea(window).topLeft();
    window.move(corner);
    // Before the first opening Qt already takes the window to be at the
    // corner, and a move there would not reach the window manager, which then
    // places the window itself (over its parent).
    if (QWindow *handle = window.windowHandle())
        handle->setFramePosition(corner);
}

void keepWhollyOnScreen(QWidget &window)
{
    const QRect area = screenArea(window);
    QRect frame = frameOf(window);
    if (area.isEmpty() || area.contains(frame))
        return;
    frame.moveRight(std::min(frame.right(), area.right()));
    frame.moveBottom(std::min(frame.bottom(), area.bottom()));
    frame.moveLeft(std::max(frame.left(), area.left()));
    frame.moveTop(std::max(frame.top(), area.top()));
    moveFrameTo(window, frame.topLeft());
}

bool windowMapped(const QWidget &window)
{
    const QWindow *handle = window.windowHandle();
    return handle && handle->isExposed();
}

bool windowInSight(const QWidget &window)
{
    return window.isVisible() && !window.isMinimized() && windowMapped(window)
           && screenArea(window).contains(frameOf(window));
}

void bringIntoSight(QWidget &window)
{
    if (window.isActiveWindow() && windowInSight(window))
        return;
    // show() alone would not map again a window Qt takes for shown.
    if (window.isVisible() && !window.isMinimized() && !windowMapped(window))
        window.hide();
    const bool operatorBusy = operatorsDialog(window) != nullptr;
    window.setAttribute(Qt::WA_ShowWithoutActivating, operatorBusy);
    // Qt passes the attribute to the window system only when it creates the
    // window; the window manager reads it at every showing.
    window.winId();
    window.windowHandle()->setProperty("_q_showWithoutActivating", operatorBusy);
    if (window.isMinimized())
        window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.show();
    keepWhollyOnScreen(window);
    window.raise();
    if (!operatorBusy)
        window.activateWindow();
}

} // namespace dorvan
