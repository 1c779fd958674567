#include "link/link.h"

namespace dorvan {

void Link::showTotal(const char *label, qint32 value)
{
    captions_.set(QString::fromLatin1(label), QString::number(value));
}

int Link::Send_Cmd1(const quint8 *data, quint16 length)
{
    if (length > Frame::SIZE_TR_BUF) {
        context_.faults.warning(LogArea::Line, QStringLiteral("Send_Cmd1: usDataLen>SIZE_TR_BUF!"));
        return -2;
    }
    for (quint16 i = 0; i < length; ++i) {
        // A failed byte ends the frame: the rest is not sent and the frame
        // is not counted.
        if (!line_.writeByte(data[i]))
            return -2;
        bumpCount(totals_.N_tr_byte);
    }
    showTotal("N_tr_byte", totals_.N_tr_byte);
    bumpCount(totals_.N_tr_frame);
    showTotal("N_tr_frame", totals_.N_tr_frame);
    return 0;
}

} // namespace dorvan
