// dorvan-alarmdrill: the console's own alarm sound (QtAlarmSound) through
// alarm/all-clear cycles, for measuring it on a real sound server
// (scripts/measure-alarm-sound.sh). Prints one line per moment, with the
// wall clock in milliseconds: "start", "stop", "beeping" and "heard" (the
// sound's own judgement changing), and "end".
//
//   dorvan-alarmdrill WAVE [CYCLES [ON_MS [OFF_MS]]]

#include "base/log.h"
#include "sound/qtalarmsound.h"

#include <QApplication>
#include <QDateTime>
#include <QTimer>

#include <cstdio>

namespace {

void say(const char *what, int cycle)
{
    std::printf("%lld %s %d\n", QDateTime::currentMSecsSinceEpoch(), what, cycle);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    dorvan::installLogFormat();
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: dorvan-alarmdrill WAVE [CYCLES [ON_MS [OFF_MS]]]\n");
        return 2;
    }
    const QString wave = args.at(1);
    const int cycles = args.size() > 2 ? args.at(2).toInt() : 30;
    const int onMs = args.size() > 3 ? args.at(3).toInt() : 3000;
    const int offMs = args.size() > 4 ? args.at(4).toInt() : 1000;

    dorvan::QtAlarmSound sound([] { QApplication::beep(); });
    int cycle = 0;
    bool on = false;
    bool beeping = false;
    bool heard = false;

    QTimer watch;
    watch.setInterval(5);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (sound.beeping() != beeping) {
            beeping = sound.beeping();
            say(beeping ? "beeping" : "not-beeping", cycle);
        }
        if (sound.heard() != heard) {
            heard = sound.heard();
            say(heard ? "heard" : "not-heard", cycle);
        }
    });
    watch.start();

    QTimer step;
    step.setSingleShot(true);
    QObject::connect(&step, &QTimer::timeout, [&] {
        if (on) {
            sound.stop();
            say("stop", cycle);
            on = false;
            ++cycle;
            step.start(offMs);
            return;
        }
        if (cycle >= cycles) {
            say("end", cycle);
            app.quit();
            return;
        }
        say("start", cycle);
        sound.startLoop(wave);
        on = true;
        step.start(onMs);
    });
    step.start(500);
    return app.exec();
}
