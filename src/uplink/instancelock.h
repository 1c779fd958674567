#pragma once

#include <QString>

namespace dorvan::uplink {

// One uplink per working directory: two uplinks of one post would take each
// other's client id in turn and publish every event twice. A kernel lock on
// data/uplink.lock, which goes with the process.
class InstanceLock
{
public:
    explicit InstanceLock(const QString &workDir) : workDir_(workDir) {}
    ~InstanceLock();
    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;

    // False with the reason, naming the process that holds it.
    bool acquire(QString *error);

private:
    QString workDir_;
    int fd_ = -1;
};

} // namespace dorvan::uplink
