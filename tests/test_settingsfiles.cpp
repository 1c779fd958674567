#include "sensors/settingsfiles.h"

#include "base/regularfile.h"
#include "console/operatorcommands.h"
#include "events/eventfile.h"
#include "contextrig.h"
#include "filefaults.h"
#include "testfiles.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <QtEndian>

#include <cmath>
#include <optional>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

using namespace dorvan;
using namespace dorvan::test;

namespace {

// The record a sensor's file holds after a normal shutdown.
SensorRecord storedRecord(quint32 address, qint16 model)
{
    SensorTable table;
    table.Occupy_slot(0, address, model, 3, 46000.5);
    table[0].armed2 = 1;
    table[0].thresholdDc1 = table[0].thresholdDc2 = 25;
    table.Mark_no_link();
    return table[0];
}

int modeOf(const QString &path)
{
    struct stat info = {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

// Ends the test process should a file hang it (a FIFO opened for reading
// waits for a writer for ever), so that the hang shows as a failure.
struct HangGuard
{
    HangGuard() { ::alarm(30); }
    ~HangGuard() { ::alarm(0); }
};

// Puts `kind` where path is: "FIFO", "device" (a link to /dev/zero, which
// never ends), "link to a FIFO", "dangling link", "directory", "link to a
// file" (a regular file elsewhere, holding `contents`).
void plant(const QString &path, const QString &kind, const QString &elsewhere, const QByteArray &contents)
{
    const QByteArray native = QFile::encodeName(path);
    const QByteArray other = QFile::encodeName(elsewhere);
    if (kind == "FIFO") {
        QVERIFY(::mkfifo(native.constData(), 0600) == 0);
    } else if (kind == "device") {
        QVERIFY(::symlink("/dev/zero", native.constData()) == 0);
    } else if (kind == "link to a FIFO") {
        QVERIFY(::mkfifo(other.constData(), 0600) == 0);
        QVERIFY(::symlink(other.constData(), native.constData()) == 0);
    } else if (kind == "dangling link") {
        QVERIFY(::symlink(other.constData(), native.constData()) == 0);
    } else if (kind == "directory") {
        QVERIFY(QDir().mkdir(path));
    } else {
        writeFile(elsewhere, contents);
        QVERIFY(::symlink(other.constData(), native.constData()) == 0);
    }
}

// What stands at path, to see that a refusal left it as it was.
QString describe(const QString &path)
{
    struct stat info = {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return QStringLiteral("nothing");
    if (S_ISLNK(info.st_mode))
        return QStringLiteral("link to ") + QFile::symLinkTarget(path);
    if (S_ISFIFO(info.st_mode))
        return QStringLiteral("FIFO");
    if (S_ISDIR(info.st_mode))
        return QStringLiteral("directory of %1").arg(QDir(path).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size());
    return QStringLiteral("file ") + QString::fromLatin1(readAll(path).toHex());
}

struct Fixture : ContextRig
{
    explicit Fixture(bool withDirectories = true) : ContextRig(withDirectories) {}

    SensorTable table;
    PortChoice port;
    HardwareSettings hardware{ctx, table, port};
    SensorFiles files{ctx, table, hardware};
    OperatorList operators{ctx};

    QString hw() const { return dir.file("data/hw.dat"); }
    QString chop() const { return dir.file("data/chop.dat"); }
};

} // namespace

class TestSettingsFiles : public QObject
{
    Q_OBJECT

private slots:
    void firstStartWritesTheDefaultFile()
    {
        Fixture f;
        f.hardware.Ini_Hw();
        QCOMPARE(readAll(f.hw()), hwBytes(0, 0, 0, 0, 482915));
        QCOMPARE(f.hardware.password, 482915);
        QCOMPARE(f.port.portIndex, 0);
        QVERIFY(f.reported().isEmpty());
    }

    void loadPutsEachSensorInItsSlot()
    {
        Fixture f;
        writeFile(f.hw(), hwBytes(7, 1234, 1, 2, 777));
        f.hardware.Ini_Hw();
        QCOMPARE(f.table[7].address, 1234u);
        QCOMPARE(f.table[7].model, qint16(1));
        QCOMPARE(f.table[7].position, qint16(7));
        QCOMPARE(f.table[31].position, qint16(31));
        QCOMPARE(f.port.portIndex, 2);
        QCOMPARE(f.hardware.password, 777);
    }

    // A file of another length is reported; whole fields are kept, half a
    // slot and a missing password are not guessed; the file stays as it is
    // until the next save writes all of it.
    void loadOfAShortOrDamagedFile_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<quint32>("address");
        QTest::addColumn<int>("portIndex");
        QTest::addColumn<qint32>("password");
        const QByteArray full = hwBytes(1, 99, 1, 5, 1000);
        QTest::newRow("empty") << QByteArray() << 0u << 0 << 482915;
        QTest::newRow("cut after an address") << full.left(10) << 0u << 0 << 482915;
        QTest::newRow("100 bytes") << full.left(100) << 99u << 0 << 482915;
        QTest::newRow("no password") << full.left(196) << 99u << 5 << 482915;
        QTest::newRow("197 bytes") << full.left(197) << 99u << 5 << 482915;
        QTest::newRow("199 bytes") << full + "x" << 99u << 5 << 1000;
        QTest::newRow("port 70") << hwBytes(1, 99, 1, 70, 1) << 99u << 0 << 1;
        QTest::newRow("port -1") << hwBytes(1, 99, 1, -1, 1) << 99u << 0 << 1;
        QTest::newRow("port 69") << hwBytes(1, 99, 1, 69, 1) << 99u << 69 << 1;
    }

    void loadOfAShortOrDamagedFile()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(quint32, address);
        QFETCH(int, portIndex);
        QFETCH(qint32, password);
        Fixture f;
        writeFile(f.hw(), bytes);
        f.hardware.Ini_Hw();
        QCOMPARE(f.table[1].address, address);
        QCOMPARE(f.table[1].model, qint16(address ? 1 : 0));
        QCOMPARE(f.port.portIndex, portIndex);
        QCOMPARE(f.hardware.password, password);
        QCOMPARE(readAll(f.hw()), bytes);
        const QStringList expected = bytes.size() == 198
            ? QStringList()
            : QStringList(QStringLiteral("Ini_Hw: неверная длина файла hw.dat: %1 байт вместо 198").arg(bytes.size()));
        QCOMPARE(f.reported(), expected);
        QVERIFY(f.hardware.Save_Hw());
        QCOMPARE(readAll(f.hw()), hwBytes(1, address, address ? 1 : 0, qint16(portIndex), password));
        // The damaged file is kept beside the new one, and the box says where.
        QStringList entries = QDir(f.dir.file("data")).entryList(QDir::Files);
        entries.removeOne("hw.dat");
        if (bytes.size() == 198) {
            QVERIFY(entries.isEmpty());
            return;
        }
        QCOMPARE(entries, QStringList("hw.dat.damaged-" + f.clock.current.toString("yyyyMMdd-HHmmss")));
        QCOMPARE(readAll(f.dir.file("data/" + entries[0])), bytes);
        QVERIFY(f.reported().last().contains("data/" + entries[0]));
        QCOMPARE(f.prompter.shown.last().caption, QStringLiteral("Внимание"));
        // Only once: the next save has a sound file to replace.
        f.clock.current = f.clock.current.addSecs(5);
        QVERIFY(f.hardware.Save_Hw());
        QCOMPARE(QDir(f.dir.file("data")).entryList(QDir::Files).size(), 2);
    }

    // A save killed before its rename leaves its temporary file, a whole copy
    // with the password; the next start removes such files and nothing else.
    void startUpRemovesTheTemporariesOfAnInterruptedSave()
    {
        Fixture f;
        writeFile(f.hw(), hwBytes(3, 42, 0, 1, 5));
        for (const char *name : {"hw.dat.a1B2c3", "hw.dat.XXXXXX", "hw.dat.damaged-20261206-140327", "hw.dat.bak",
                                 "hw.dat.a1B2c3d", "chop.dat.a1B2c3"})
            writeFile(f.dir.file("data/") + name, "x");
        QVERIFY(QDir().mkdir(f.dir.file("data/hw.dat.Dir123")));
        f.hardware.Ini_Hw();
        QStringList left = QDir(f.dir.file("data")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        left.sort();
        QCOMPARE(left, QStringList({"chop.dat.a1B2c3", "hw.dat", "hw.dat.Dir123", "hw.dat.a1B2c3d", "hw.dat.bak",
                              "hw.dat.damaged-20261206-140327"}));
        QCOMPARE(f.table[3].address, 42u);
        QVERIFY(f.reported().isEmpty());
    }

    void saveWritesTheWholeAssignment()
    {
        Fixture f;
        f.table.Occupy_slot(4, 65535, 1, 0, 1.0);
        f.port.portIndex = 2; // COM3
        f.hardware.password = 482915;
        QVERIFY(f.hardware.Save_Hw());
        const QByteArray bytes = readAll(f.hw());
        QCOMPARE(bytes, hwBytes(4, 65535, 1, 2, 482915));
        QCOMPARE(bytes.mid(192, 2), QByteArray("\x02\x00", 2));
        QCOMPARE(QDir(f.dir.file("data")).entryList(QDir::Files), QStringList("hw.dat"));
    }

    // At first start the box says why hw.dat could not be made.
    void unwritableDataDirectoryIsReported_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("error");
        QTest::newRow("missing") << "missing" << ENOENT;
        QTest::newRow("a file") << "a file" << ENOTDIR;
        QTest::newRow("full disk") << "full disk" << ENOSPC;
    }

    void unwritableDataDirectoryIsReported()
    {
        QFETCH(QString, fault);
        QFETCH(int, error);
        Fixture f(false);
        std::optional<SmallFileSystem> disk;
        if (fault == "a file")
            writeFile(f.dir.file("data"), "x");
        if (fault == "full disk") {
            disk.emplace(f.dir.path(), 256);
            if (!disk->mounted())
                QSKIP(qPrintable(disk->why()));
            WorkDir::makeDirectories(f.dir.path());
            QVERIFY(disk->fill());
        }
        f.hardware.Ini_Hw();
        QCOMPARE(f.hardware.password, 482915);
        QVERIFY(!f.hardware.Save_Hw());
        const QStringList reported = f.reported();
        QCOMPARE(reported.size(), 2);
        QCOMPARE(reported[0], QStringLiteral("Ini_Hw: не открылся файл hw.dat: ") + fileErrorText(error));
        QCOMPARE(f.prompter.shown[0].caption, QStringLiteral("Ошибка"));
        if (fault != "full disk")
            QCOMPARE(reported[1], QStringLiteral("Save_Hw: не открылся файл hw.dat"));
    }

    void failureBeforeTheRenameKeepsTheOldFile()
    {
        Fixture f;
        const QByteArray old = hwBytes(3, 42, 0, 1, 5);
        writeFile(f.hw(), old);
        f.hardware.Ini_Hw();
        f.table.Occupy_slot(9, 7, 0, 0, 1.0);
        bool reached = false;
        f.hardware.beforeReplace = [&] {
            reached = true;
            return false;
        };
        QVERIFY(!f.hardware.Save_Hw());
        QVERIFY(reached);
        QCOMPARE(readAll(f.hw()), old);
        QCOMPARE(QDir(f.dir.file("data")).entryList(QDir::Files), QStringList("hw.dat"));
        QCOMPARE(f.reported(), QStringList(QStringLiteral("Save_Hw: не записался файл hw.dat: ошибка ввода-вывода")));
    }

    // A save that cannot be completed leaves the old file whole and says so:
    // on a full disk, and where start-up could not read the file that is
    // there now (data/ missing at start and put back, a file it may not read).
    void saveThatCannotBeDoneKeepsTheOldFile_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("message");
        const QString unread = QStringLiteral("Save_Hw: файл hw.dat не был прочитан при запуске и не перезаписан");
        QTest::newRow("full disk") << "full disk" << "Save_Hw: не записался файл hw.dat: нет места на диске";
        QTest::newRow("data/ put back since start-up") << "data put back" << unread;
        QTest::newRow("unreadable at start-up") << "unreadable" << unread;
    }

    void saveThatCannotBeDoneKeepsTheOldFile()
    {
        QFETCH(QString, fault);
        QFETCH(QString, message);
        Fixture f(false);
        std::optional<SmallFileSystem> disk;
        const QByteArray old = hwBytes(3, 42, 0, 1, 5);
        if (fault == "full disk") {
            disk.emplace(f.dir.path(), 256);
            if (!disk->mounted())
                QSKIP(qPrintable(disk->why()));
            WorkDir::makeDirectories(f.dir.path());
            writeFile(f.hw(), old);
            f.hardware.Ini_Hw();
            QVERIFY(disk->fill());
        } else if (fault == "data put back") {
            f.hardware.Ini_Hw();
            QVERIFY(QDir(f.dir.path()).mkdir("data"));
            writeFile(f.hw(), old);
        } else {
            WorkDir::makeDirectories(f.dir.path());
            writeFile(f.hw(), old);
            QVERIFY(::chmod(QFile::encodeName(f.hw()).constData(), 0) == 0);
            {
                UnprivilegedFiles unprivileged;
                f.hardware.Ini_Hw();
            }
            QCOMPARE(f.hardware.password, 482915);
            QVERIFY(::chmod(QFile::encodeName(f.hw()).constData(), 0600) == 0); // readable again, still unread
        }
        f.table.Occupy_slot(9, 7, 0, 0, 1.0);
        QVERIFY(!f.hardware.Save_Hw());
        QCOMPARE(readAll(f.hw()), old);
        QCOMPARE(QDir(f.dir.file("data")).entryList(QDir::Files), QStringList("hw.dat"));
        QCOMPARE(f.reported().last(), message);
    }

    // hw.dat holds the password: the site's mode survives every save, and a
    // new file is for its owner only.
    void savedFileKeepsTheSitesMode_data()
    {
        QTest::addColumn<int>("oldMode");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("group"); // -1: the process's own
        QTest::newRow("new file") << -1 << 0600 << -1;
        QTest::newRow("0640") << 0640 << 0640 << -1;
        QTest::newRow("0644") << 0644 << 0644 << -1;
        QTest::newRow("0640 another group") << 0640 << 0640 << 1;
        QTest::newRow("02640 another group") << 02640 << 02640 << 1;
    }

    void savedFileKeepsTheSitesMode()
    {
        QFETCH(int, oldMode);
        QFETCH(int, mode);
        QFETCH(int, group);
        Fixture f;
        if (oldMode >= 0) {
            writeFile(f.hw(), hwBytes(0, 0, 0, 0, 1));
            if (group >= 0 && ::chown(QFile::encodeName(f.hw()).constData(), uid_t(-1), gid_t(group)) != 0)
                QSKIP("the file's group cannot be changed here (not root)");
            QVERIFY(::chmod(QFile::encodeName(f.hw()).constData(), mode_t(oldMode)) == 0);
        }
        f.hardware.Ini_Hw(); // creates the file when there is none
        QCOMPARE(modeOf(f.hw()), mode);
        QVERIFY(f.hardware.Save_Hw());
        QCOMPARE(modeOf(f.hw()), mode);
        struct stat info = {};
        QVERIFY(::stat(QFile::encodeName(f.hw()).constData(), &info) == 0);
        QCOMPARE(int(info.st_gid), group >= 0 ? group : int(::getegid()));
    }

    void sensorFileAppendsAndUpdatesTheLastRecord()
    {
        Fixture f;
        f.table.Occupy_slot(0, 1234, 1, 2, 100.0);
        const SensorRecord first = f.table[0];
        f.files.Save_sm(first, 'a');
        f.table[0].connectedAt = 200.0;
        const SensorRecord second = f.table[0];
        f.files.Save_sm(second, 'a');
        f.table[0].armed1 = 1;
        f.files.Save_sm(f.table[0], 'u');
        QCOMPARE(readAll(f.dir.file("Dorvan302DK/1234")), bytesOf(first) + bytesOf(f.table[0]));
        QVERIFY(f.reported().isEmpty());
    }

    void sensorFileRefusals()
    {
        Fixture f;
        SensorRecord record;
        f.files.Save_sm(record, 'a'); // address 0: nothing at all
        record.address = 7;
        f.files.Save_sm(record, 'x');
        f.files.Save_sm(record, 'u'); // update never creates the file
        record.model = 1;
        QVERIFY(QDir(f.dir.path()).rmdir("Dorvan302DK"));
        f.files.Save_sm(record, 'a');
        QCOMPARE(f.reported(),
                 QStringList({QStringLiteral("Save_sm: передан неверный параметр"),
                              QStringLiteral("Save_sm: не открылся файл Dorvan301DK\\7"),
                              QStringLiteral("Save_sm: не открылся файл Dorvan302DK\\7")}));
        QCOMPARE(f.prompter.shown[0].icon, Prompter::Icon::None);
        QCOMPARE(f.prompter.shown[1].caption, QStringLiteral("Ошибка"));
        QVERIFY(QDir(f.dir.file("Dorvan301DK")).isEmpty());
    }

    // Whole records stay byte for byte: a new record goes at the last
    // whole-record boundary, over a torn tail; an update goes over the last
    // whole record; a write cut short leaves the file as it was.
    void writesBesideTornTails_data()
    {
        QTest::addColumn<char>("mode");
        QTest::addColumn<int>("oldSize");
        QTest::addColumn<qint64>("sizeLimit"); // 0: none
        QTest::addColumn<int>("offset");       // where the record lands; -1: nowhere
        QTest::addColumn<int>("newSize");
        QTest::newRow("update: shorter than a record") << 'u' << 100 << qint64(0) << 0 << 232;
        QTest::newRow("update: torn tail") << 'u' << 232 * 2 + 100 << qint64(0) << 232 << 232 * 2 + 100;
        QTest::newRow("append: shorter than a record") << 'a' << 100 << qint64(0) << 0 << 232;
        QTest::newRow("append: torn tail") << 'a' << 232 * 2 + 100 << qint64(0) << 464 << 696;
        QTest::newRow("append cut short") << 'a' << 232 * 2 + 100 << qint64(600) << -1 << 564;
    }

    void writesBesideTornTails()
    {
        QFETCH(char, mode);
        QFETCH(int, oldSize);
        QFETCH(qint64, sizeLimit);
        QFETCH(int, offset);
        QFETCH(int, newSize);
        Fixture f;
        const QString path = f.dir.file("Dorvan301DK/5");
        const QByteArray old(oldSize, '\x77');
        writeFile(path, old);
        f.table.Occupy_slot(0, 5, 0, 0, 1.0);
        {
            std::optional<FileSizeLimit> limit;
            if (sizeLimit > 0)
                limit.emplace(sizeLimit);
            QCOMPARE(f.files.Save_sm(f.table[0], mode), offset >= 0);
        }
        QByteArray expected = old;
        if (offset >= 0)
            expected = expected.left(offset) + bytesOf(f.table[0]) + expected.mid(offset + 232);
        QCOMPARE(readAll(path), expected);
        QCOMPARE(expected.size(), newSize);
        const QStringList failure{QStringLiteral("Save_sm: не записался файл Dorvan301DK\\5: превышен допустимый размер файла")};
        QCOMPARE(f.reported(), offset >= 0 ? QStringList() : failure);
    }

    // A sensor's file of any length starts at once: only its last whole
    // record is read, and an update writes only that one.
    void hugeSensorFileIsNotReadWhole()
    {
        Fixture f;
        const QString path = f.dir.file("Dorvan302DK/77");
        const qint64 records = 20'000'000; // 4.6 GB, all but the last record a hole
        SensorRecord last = storedRecord(77, 1);
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.seek((records - 1) * 232));
            QCOMPARE(file.write(bytesOf(last)), 232);
            QVERIFY(file.resize(records * 232 + 100)); // and a torn tail
        }
        writeFile(f.hw(), hwBytes(4, 77, 1, 0, 1));
        f.hardware.Ini_Hw();
        {
            MemoryAllowance allowance(256 << 20);
            f.files.Ini_sm();
        }
        last.position = 4;
        QCOMPARE(bytesOf(f.table[4]), bytesOf(last));
        f.table[4].armed1 = 1;
        f.files.Save_sm(f.table[4], 'u');
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.size(), records * 232 + 100);
        QVERIFY(file.seek((records - 1) * 232));
        QCOMPARE(file.read(232), bytesOf(f.table[4]));
        QVERIFY(f.reported().isEmpty());
    }

    void startUpLoadsTheLastWholeRecord()
    {
        Fixture f;
        SensorRecord older;
        older.address = 55;
        older.position = 7;
        older.connectedBy = 1;
        SensorRecord last = older;
        last.connectedBy = 2;
        last.armed2 = 1;
        last.thresholdDc1 = 12;
        last.position = 3; // saved from another slot
        writeFile(f.dir.file("Dorvan301DK/55"), bytesOf(older) + bytesOf(last) + QByteArray(50, 'x'));
        writeFile(f.hw(), hwBytes(7, 55, 0, 0, 1));
        f.hardware.Ini_Hw();
        f.files.Ini_sm();
        SensorRecord expected = last;
        expected.position = 7;
        QCOMPARE(bytesOf(f.table[7]), bytesOf(expected));
        QVERIFY(f.reported().isEmpty());
    }

    // A last record the console cannot have written for the sensor gives
    // nothing: the sensor keeps its place and identity from hw.dat, without
    // link, both loops armed, its DC components unknown, and it is reported.
    void startUpRefusesADamagedLastRecord_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("message");
        const SensorRecord own = storedRecord(1001, 0);
        const auto changed = [&own](auto change) {
            SensorRecord r = own;
            change(r);
            return bytesOf(r);
        };
        const QString damaged = QStringLiteral("Ini_sm: повреждена последняя запись файла Dorvan301DK\\1001");
        const QString noRecord = QStringLiteral("Ini_sm: нет ни одной целой записи в файле Dorvan301DK\\1001");
        QTest::newRow("zeroed") << bytesOf(own) + QByteArray(232, '\0') << damaged;
        QTest::newRow("foreign sensor") << changed([](SensorRecord &r) { r.address = 5555; }) << damaged;
        QTest::newRow("other model") << changed([](SensorRecord &r) { r.model = 1; }) << damaged;
        QTest::newRow("mark 0") << changed([](SensorRecord &r) { r.recordMark = 0; }) << damaged;
        QTest::newRow("arming flag 0x7f") << changed([](SensorRecord &r) { r.armed1 = 0x7F; }) << damaged;
        QTest::newRow("DC not a number") << changed([](SensorRecord &r) { r.thresholdDc2 = std::nanf(""); }) << damaged;
        // An append behind a torn tail, as the console once wrote it.
        QTest::newRow("spliced behind a torn tail") << bytesOf(own) + QByteArray(100, '\x7f') + bytesOf(own) << damaged;
        QTest::newRow("torn first record") << bytesOf(own).left(100) << noRecord;
        QTest::newRow("empty") << QByteArray() << noRecord;
        QTest::newRow("own record, torn tail") << bytesOf(own) + QByteArray(100, '\x7f') << QString();
    }

    void startUpRefusesADamagedLastRecord()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, message);
        Fixture f;
        writeFile(f.dir.file("Dorvan301DK/1001"), file);
        writeFile(f.hw(), hwBytes(5, 1001, 0, 0, 1));
        f.hardware.Ini_Hw();
        f.files.Ini_sm();
        const SensorRecord &r = f.table[5];
        QCOMPARE(r.address, 1001u);
        QCOMPARE(r.model, qint16(0));
        QCOMPARE(r.position, qint16(5));
        QCOMPARE(r.state, 15);
        QCOMPARE(r.alarm1 + r.alarm2, 2);
        if (message.isEmpty()) {
            QCOMPARE(f.table.storedRecord[5], StoredRecord::Sound);
            QCOMPARE(r.armed2, quint8(1));
            QCOMPARE(r.thresholdDc1, 25.0f);
            QVERIFY(f.reported().isEmpty());
        } else {
            QCOMPARE(f.table.storedRecord[5], StoredRecord::Damaged);
            QCOMPARE(r.armed1 + r.armed2, 2);
            QCOMPARE(r.thresholdDc1 + r.thresholdDc2, 0.0f);
            QCOMPARE(r.connectedBy, qint16(-1));
            QCOMPARE(f.reported(), QStringList(message + QStringLiteral("; оба шлейфа взяты на охрану, постоянная "
                                                                        "составляющая порога не передаётся, пока её не задаст оператор")));
        }
        QCOMPARE(readAll(f.hw()), hwBytes(5, 1001, 0, 0, 1));
    }

    // Only a sensor whose file is missing is dropped from hw.dat; one whose
    // file is there but cannot be read keeps its slot, without link and
    // guarded, its file left as it is, and the box says why.
    void startUpDropsOnlyASensorWithoutFile_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("error"); // 0: dropped
        QTest::newRow("missing") << "missing" << 0;
        QTest::newRow("no permission") << "mode 0" << EACCES;
        QTest::newRow("a FIFO") << "FIFO" << NotRegularFile;
    }

    void startUpDropsOnlyASensorWithoutFile()
    {
        QFETCH(QString, file);
        QFETCH(int, error);
        HangGuard guard;
        Fixture f;
        const QString path = f.dir.file("Dorvan302DK/4711");
        const QByteArray stored = bytesOf(storedRecord(4711, 1));
        if (file == "mode 0") {
            writeFile(path, stored);
            QVERIFY(::chmod(QFile::encodeName(path).constData(), 0) == 0);
        } else if (file == "FIFO") {
            QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        }
        writeFile(f.hw(), hwBytes(2, 4711, 1, 3, 9));
        f.hardware.Ini_Hw();
        {
            std::optional<UnprivilegedFiles> unprivileged;
            if (file == "mode 0")
                unprivileged.emplace(); // root would read it all the same
            f.files.Ini_sm();
        }
        const QStringList reported = f.reported();
        QCOMPARE(reported.size(), 1);
        QVERIFY2(reported[0].startsWith(QStringLiteral("Ini_sm: не открылся файл Dorvan302DK\\4711")),
                 qPrintable(reported[0]));
        if (error == 0) {
            QCOMPARE(f.table[2].address, 0u);
            QCOMPARE(f.table.Count_sensors(), 0);
            QCOMPARE(readAll(f.hw()), hwBytes(0, 0, 0, 3, 9));
            return;
        }
        QVERIFY2(reported[0].contains(fileErrorText(error)), qPrintable(reported[0]));
        QCOMPARE(f.table[2].address, 4711u);
        QCOMPARE(f.table[2].state, 15);
        QCOMPARE(f.table[2].armed1 + f.table[2].armed2, 2);
        QCOMPARE(f.table.Count_sensors(), 1);
        QCOMPARE(readAll(f.hw()), hwBytes(2, 4711, 1, 3, 9));
        // Shutdown leaves the file alone as well.
        f.files.saveSlot(2, false);
        QVERIFY(f.hardware.Save_Hw());
        QCOMPARE(readAll(f.hw()), hwBytes(2, 4711, 1, 3, 9));
        if (file == "mode 0") {
            QCOMPARE(modeOf(path), 0);
            QCOMPARE(readAll(path), stored);
        }
    }

    // Nothing but a regular file is read or written: whatever else stands in
    // a file's place is refused at once, with the reason, as a file that
    // cannot be opened is, and left as it is. A link to a regular file is
    // followed (a site may keep its files elsewhere).
    void specialFilesAreRefused_data()
    {
        QTest::addColumn<QString>("place");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("error"); // 0: the file is used
        const QList<std::pair<QString, int>> kinds = {
            {"FIFO", NotRegularFile},         {"device", NotRegularFile}, {"link to a FIFO", NotRegularFile},
            {"dangling link", DanglingLink}, {"directory", EISDIR},        {"link to a file", 0}};
        for (const QString place : {"hw.dat", "chop.dat", "sensor file at start-up", "sensor file append",
                                    "sensor file update", "event file report"}) {
            for (const auto &[kind, error] : kinds)
                QTest::addRow("%s: %s", qPrintable(place), qPrintable(kind)) << place << kind << error;
        }
    }

    void specialFilesAreRefused()
    {
        QFETCH(QString, place);
        QFETCH(QString, kind);
        QFETCH(int, error);
        HangGuard guard;
        Fixture f;
        const QString elsewhere = f.dir.file("elsewhere");
        const SensorRecord record = storedRecord(1001, 0);
        QString path = f.dir.file("Dorvan301DK/1001");
        QByteArray contents = bytesOf(record);
        QString head = QStringLiteral("Save_sm: не открылся файл Dorvan301DK\\1001");
        if (place == "hw.dat") {
            path = f.hw();
            contents = hwBytes(5, 1001, 0, 3, 777);
            head = QStringLiteral("Ini_Hw: не открылся файл hw.dat");
        } else if (place == "chop.dat") {
            path = f.chop();
            contents = operatorRecord("A");
            head = QStringLiteral("Ini_chop: не открылся файл chop.dat");
        } else if (place == "event file report") {
            path = f.dir.file("Dorvan301DK_mess/1001");
            contents = QByteArray(328, '\1');
        } else if (place == "sensor file at start-up") {
            head = QStringLiteral("Ini_sm: не открылся файл Dorvan301DK\\1001");
        }
        if (place.startsWith("sensor file"))
            writeFile(f.hw(), hwBytes(5, 1001, 0, 3, 777));
        plant(path, kind, elsewhere, contents);
        const QString before = describe(path);

        SensorRecord changed = record;
        changed.armed1 = 1;
        if (place == "hw.dat") {
            f.hardware.Ini_Hw();
            QCOMPARE(f.hardware.password, error ? 482915 : 777);
            f.table.Occupy_slot(9, 7, 0, 0, 1.0);
            QCOMPARE(f.hardware.Save_Hw(), error == 0);
        } else if (place == "chop.dat") {
            f.operators.Ini_chop();
            QCOMPARE(f.operators.operatorCount(), error ? 0 : 1);
        } else if (place == "sensor file at start-up") {
            f.hardware.Ini_Hw();
            f.files.Ini_sm();
            // Kept in its slot, without link, whatever its file is.
            QCOMPARE(f.table[5].address, 1001u);
            QCOMPARE(f.table[5].state, 15);
            QCOMPARE(f.table[5].armed1, quint8(error ? 1 : 0));
            f.files.saveSlot(5, false);
            QCOMPARE(readAll(f.hw()), hwBytes(5, 1001, 0, 3, 777));
        } else if (place == "sensor file append") {
            QCOMPARE(f.files.Save_sm(changed, 'a'), error == 0);
        } else if (place == "sensor file update") {
            QCOMPARE(f.files.Save_sm(changed, 'u'), error == 0);
        } else {
            ReportScan scan;
            QCOMPARE(scanEventFile(path, ReportScope::All, -1, scan), error == 0);
            EventFileReader reader(path);
            QCOMPARE(reader.open(), error == 0);
            if (error)
                QCOMPARE(reader.errorString(), fileErrorText(error));
            else
                QCOMPARE(scan.total, 1);
        }

        const QStringList reported = f.reported();
        if (error == 0) {
            QVERIFY2(reported.isEmpty(), qPrintable(reported.join(u'\n')));
            QVERIFY(QFileInfo(path).isSymLink());
            if (place == "sensor file append" || place == "sensor file update") // written through the link
                QVERIFY(readAll(elsewhere).endsWith(bytesOf(changed)));
            return;
        }
        QVERIFY(!reported.isEmpty() || place == "event file report");
        if (!reported.isEmpty()) {
            QVERIFY2(reported.first().startsWith(head), qPrintable(reported.first()));
            QVERIFY2(reported.first().contains(fileErrorText(error)), qPrintable(reported.first()));
        }
        QCOMPARE(describe(path), before);
    }

    void operatorListSkipsDeletedRecords()
    {
        Fixture f;
        writeFile(f.chop(), operatorRecord("A") + operatorRecord("B", true) + operatorRecord("C")
                                + operatorRecord("D").left(20)); // a torn tail
        f.operators.Ini_chop();
        QCOMPARE(f.operators.names(), QStringList({"A", "C"}));
        QCOMPARE(f.operators.operatorTable()[1].recordNumber, qint16(2));
        QCOMPARE(f.operators.operatorRecordCount(), 3);

        f.prompter.inputs.push_back(QStringLiteral("Иванов"));
        QCOMPARE(Add_operator(f.operators, f.prompter), std::optional<int>(2));
        QCOMPARE(f.operators.operatorTable()[2].recordNumber, qint16(3));
        const QByteArray stored = readAll(f.chop());
        QCOMPARE(stored.size(), 160);
        QCOMPARE(stored.mid(120), operatorRecord("\xC8\xE2\xE0\xED\xEE\xE2"));
        QCOMPARE(f.prompter.shown[0].caption, QStringLiteral("Пожалуйста,представьтесь"));
        QCOMPARE(f.prompter.shown[0].text, QStringLiteral("Укажите Вашу фамилию"));
    }

    void storedNamesAreReadWithinTheirRecord()
    {
        Fixture f;
        writeFile(f.chop(), operatorRecord("ABCDEFGHIJKLMNOPQRST") + operatorRecord(QByteArray(38, 'Z'))
                                + operatorRecord("next"));
        f.operators.Ini_chop();
        QCOMPARE(f.operators.names(), QStringList({"ABCDEFGHIJKLMNOP", QString(16, 'Z'), "next"}));
        QString name;
        f.operators.Read_chop(0, name);
        QCOMPARE(name, QStringLiteral("ABCDEFGHIJKLMNOPQRST"));
        f.operators.Read_chop(1, name);
        QCOMPARE(name, QString(38, 'Z'));
        f.operators.Read_chop(3, name);
        QCOMPARE(name, QString());
        const QByteArray before = readAll(f.chop());
        f.operators.Del_chop(3);
        f.operators.Del_chop(-1);
        QCOMPARE(readAll(f.chop()), before);
        QVERIFY(f.reported().isEmpty());
    }

    void addingAnOperator_data()
    {
        QTest::addColumn<int>("existing");
        QTest::addColumn<std::optional<QString>>("input");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QByteArray>("stored"); // the new record's name; empty: refused
        QTest::newRow("fifty") << 50 << std::optional<QString>("X") << "Слишком много фамилий испытателей" << QByteArray();
        QTest::newRow("cancel") << 1 << std::optional<QString>() << QString() << QByteArray();
        QTest::newRow("empty") << 1 << std::optional<QString>("") << QString() << QByteArray();
        QTest::newRow("17 characters") << 1 << std::optional<QString>(QString(17, 'x'))
                                       << "Слишком длинное имя" << QByteArray();
        QTest::newRow("same name") << 1 << std::optional<QString>("op0") << "Уже есть такой испытатель" << QByteArray();
        const QString outside = QStringLiteral("Имя содержит недопустимые символы");
        QTest::newRow("Chinese") << 1 << std::optional<QString>(QStringLiteral("王小明")) << outside << QByteArray();
        QTest::newRow("Müller") << 1 << std::optional<QString>(QStringLiteral("Müller")) << outside << QByteArray();
        QTest::newRow("16 letters й typed decomposed")
            << 1 << std::optional<QString>(QString(QStringLiteral("и\u0306")).repeated(16)) << QString()
            << QByteArray(16, '\xE9');
        QTest::newRow("Ёлкин №1") << 1 << std::optional<QString>(QStringLiteral("Ёлкин №1")) << QString()
                                  << QByteArray("\xA8\xEB\xEA\xE8\xED \xB9\x31");
    }

    void addingAnOperator()
    {
        QFETCH(int, existing);
        QFETCH(std::optional<QString>, input);
        QFETCH(QString, message);
        QFETCH(QByteArray, stored);
        Fixture f;
        QByteArray bytes;
        for (int i = 0; i < existing; ++i)
            bytes += operatorRecord("op" + QByteArray::number(i));
        writeFile(f.chop(), bytes);
        f.operators.Ini_chop();
        f.prompter.inputs.push_back(input);
        const bool added = !stored.isEmpty();
        QCOMPARE(Add_operator(f.operators, f.prompter), added ? std::optional<int>(existing) : std::nullopt);
        QCOMPARE(readAll(f.chop()), added ? bytes + operatorRecord(stored) : bytes);
        QCOMPARE(f.operators.operatorCount(), existing + (added ? 1 : 0));
        const QStringList texts = f.reported();
        QCOMPARE(texts.size(), (existing < 50 ? 1 : 0) + (message.isEmpty() ? 0 : 1));
        if (!message.isEmpty())
            QCOMPARE(texts.last(), message);
    }

    void removingKeepsTheRecordForItsNumber()
    {
        Fixture f;
        writeFile(f.chop(), operatorRecord("A") + operatorRecord("B"));
        f.operators.Ini_chop();
        QVERIFY(!Remove_operator(f.operators, f.prompter, 0)); // answered No
        f.prompter.answers.push_back(true);
        QVERIFY(Remove_operator(f.operators, f.prompter, 0));
        QCOMPARE(f.prompter.shown.last().caption, QStringLiteral("Удаление"));
        QCOMPARE(f.prompter.shown.last().text,
                 QStringLiteral("Вы действительно хотите удалить фамилию этого испытателя ?\n\nA"));
        QCOMPARE(f.operators.names(), QStringList("B"));
        QCOMPARE(readAll(f.chop()), operatorRecord("A", true) + operatorRecord("B"));
        QString name;
        f.operators.Read_chop(0, name);
        QCOMPARE(name, QStringLiteral("A"));
        QVERIFY(!Remove_operator(f.operators, f.prompter, 5));
    }

    void operatorFileIsCreatedOrReported()
    {
        Fixture f;
        f.operators.Ini_chop();
        QVERIFY(QFile::exists(f.chop()));
        QCOMPARE(readAll(f.chop()).size(), 0);

        Fixture broken(false);
        broken.operators.Ini_chop();
        QString name = QStringLiteral("kept");
        broken.operators.Read_chop(0, name);
        QCOMPARE(name, QStringLiteral("kept"));
        QCOMPARE(broken.reported(),
                 QStringList({QStringLiteral("Ini_chop: не открылся файл chop.dat"),
                              QStringLiteral("Read_chop: не открылся файл chop.dat")}));
    }
};

QTEST_GUILESS_MAIN(TestSettingsFiles)
#include "test_settingsfiles.moc"
