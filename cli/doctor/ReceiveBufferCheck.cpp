#include "cli/doctor/ReceiveBufferCheck.h"

#include "link/UDPInstrumentInterface.h"

#include <QFile>
#include <sys/socket.h>
#include <unistd.h>

SReceiveBuffer CReceiveBufferCheck::Measure() {
    SReceiveBuffer buffer;
    const int hSocket = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (hSocket >= 0) {
        const int nAsked = CUDPInstrumentInterface::SOCKET_RECEIVE_BUFFER_BYTES;
        socklen_t nLength = sizeof(buffer.nGrantedBytes);
        if (setsockopt(hSocket, SOL_SOCKET, SO_RCVBUF, &nAsked, sizeof(nAsked)) != 0 ||
            getsockopt(hSocket, SOL_SOCKET, SO_RCVBUF, &buffer.nGrantedBytes, &nLength) != 0) {
            buffer.nGrantedBytes = 0;
        }
        close(hSocket);
    }
    QFile file(QStringLiteral("/proc/sys/net/core/rmem_max"));
    bool bRead = false;
    const long nRmemMax =
        file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().toLong(&bRead) : 0;
    if (bRead) {
        buffer.nRmemMax = nRmemMax;
    }
    return buffer;
}

SDoctorCheck CReceiveBufferCheck::Check(const SReceiveBuffer& buffer) {
    const QString strName = QStringLiteral("receive-buffer");
    if (buffer.nGrantedBytes <= 0) {
        return {strName, EDoctorResult::Unknown,
                QStringLiteral("no socket could be opened to ask the kernel"), QString()};
    }
    const int nAsked = CUDPInstrumentInterface::SOCKET_RECEIVE_BUFFER_BYTES;
    const QString strDetail =
        QStringLiteral("the kernel grants a program without root %1 KiB of the %2 KiB the link "
                       "asks for%3: room for "
                       "about %4 to %5 instruments' replies to one broadcast")
            .arg(buffer.nGrantedBytes / 2 / 1024)
            .arg(nAsked / 1024)
            .arg(buffer.nRmemMax ? QStringLiteral(" (net.core.rmem_max %1)").arg(*buffer.nRmemMax)
                                 : QString())
            .arg(buffer.nGrantedBytes / ETHERNET_REPLY_CHARGE)
            .arg(buffer.nGrantedBytes / LOOPBACK_REPLY_CHARGE);
    if (buffer.nGrantedBytes / 2 >= nAsked) {
        return {strName, EDoctorResult::Ok, strDetail, QString()};
    }
    return {strName, EDoctorResult::Warning, strDetail,
            QStringLiteral("on a segment with more instruments, raise the limit: sudo sysctl -w "
                           "net.core.rmem_max=%1 (to keep it, put net.core.rmem_max=%1 in "
                           "/etc/sysctl.d/60-tavik-connection.conf)")
                .arg(nAsked)};
}
