#include "cli/doctor/PortCheck.h"

#include "link/Messages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <arpa/inet.h>
#include <optional>
#include <pwd.h>
#include <unistd.h>

namespace {

// "0100007F" or the 32 digits of an IPv6 address: the address bytes read as this machine's
// words, in hexadecimal.
QString LocalText(const QByteArray& abAddress, std::uint16_t nPort) {
    if (abAddress.size() == 8) {
        return QStringLiteral("%1:%2")
            .arg(QString::fromStdString(DottedAddress(htonl(abAddress.toUInt(nullptr, 16)))))
            .arg(nPort);
    }
    return QStringLiteral("[%1]:%2")
        .arg(abAddress.count('0') == abAddress.size() ? QStringLiteral("::")
                                                      : QString::fromLatin1(abAddress))
        .arg(nPort);
}

QString UserName(unsigned nUid) {
    const passwd* pEntry = getpwuid(nUid);
    return pEntry != nullptr ? QString::fromLocal8Bit(pEntry->pw_name)
                             : QStringLiteral("uid %1").arg(nUid);
}

std::optional<QByteArray> ReadAll(const QString& strPath) {
    QFile file(strPath);
    return file.open(QIODevice::ReadOnly) ? std::optional<QByteArray>(file.readAll())
                                          : std::nullopt;
}

} // namespace

std::vector<SUDPSocketEntry> CPortCheck::SocketsOnPort(const QByteArray& abTable,
                                                       std::uint16_t nPort) {
    // "sl local_address rem_address st tx_queue:rx_queue tr:tm->when retrnsmt uid timeout inode"
    std::vector<SUDPSocketEntry> listSockets;
    const QList<QByteArray> listLines = abTable.split('\n');
    for (qsizetype i = 1; i < listLines.size(); ++i) {
        const QList<QByteArray> listFields = listLines[i].simplified().split(' ');
        if (listFields.size() < 10) {
            continue;
        }
        const QList<QByteArray> listLocal = listFields[1].split(':');
        bool bPort = false;
        if (listLocal.size() != 2 || listLocal[1].toUInt(&bPort, 16) != nPort || !bPort) {
            continue;
        }
        listSockets.push_back(
            {LocalText(listLocal[0], nPort), listFields[7].toUInt(), listFields[9].toULongLong()});
    }
    return listSockets;
}

std::vector<SSocketOwner> CPortCheck::FindOwners(const std::vector<SUDPSocketEntry>& listSockets) {
    std::vector<SSocketOwner> listOwners;
    if (listSockets.empty()) {
        return listOwners;
    }
    const QStringList listPids =
        QDir(QStringLiteral("/proc")).entryList({QStringLiteral("[0-9]*")}, QDir::Dirs);
    for (const QString& strPid : listPids) {
        const QString strFds = QStringLiteral("/proc/%1/fd").arg(strPid);
        for (const QString& strFd : QDir(strFds).entryList(QDir::System | QDir::NoDotAndDotDot)) {
            const QString strTarget = QFile::symLinkTarget(strFds + QLatin1Char('/') + strFd);
            for (const SUDPSocketEntry& socket : listSockets) {
                if (strTarget.endsWith(QStringLiteral("socket:[%1]").arg(socket.nInode))) {
                    const QByteArray abCommand =
                        ReadAll(QStringLiteral("/proc/%1/cmdline").arg(strPid)).value_or("");
                    listOwners.push_back(
                        {socket.nInode, strPid.toLongLong(),
                         QFileInfo(QString::fromLocal8Bit(abCommand.left(abCommand.indexOf('\0'))))
                             .fileName()});
                }
            }
        }
    }
    return listOwners;
}

SDoctorCheck CPortCheck::Check(const std::vector<SUDPSocketEntry>& listSockets,
                               const std::vector<SSocketOwner>& listOwners, bool bSeesAll,
                               std::uint16_t nPort) {
    const QString strName = QStringLiteral("port");
    if (listSockets.empty()) {
        return {strName, EDoctorResult::Ok, QStringLiteral("UDP port %1 is free").arg(nPort),
                QString()};
    }
    QStringList listHolders;
    bool bOnlyDesktop = true;
    bool bUnseen = false;
    for (const SUDPSocketEntry& socket : listSockets) {
        QStringList listPrograms;
        for (const SSocketOwner& owner : listOwners) {
            if (owner.nInode == socket.nInode) {
                listPrograms << QStringLiteral("%1 (PID %2)").arg(owner.strProgram).arg(owner.nPid);
                bOnlyDesktop =
                    bOnlyDesktop && owner.strProgram == QLatin1String("tavik-connection");
            }
        }
        if (listPrograms.isEmpty()) {
            bUnseen = true;
            bOnlyDesktop = false;
            listPrograms << QStringLiteral("a program of %1").arg(UserName(socket.nUid));
        }
        listHolders << QStringLiteral("%1 holds %2")
                           .arg(listPrograms.join(QStringLiteral(", ")), socket.strLocal);
    }
    QString strDetail = QStringLiteral("UDP port %1 is in use: %2")
                            .arg(nPort)
                            .arg(listHolders.join(QStringLiteral("; ")));
    if (bUnseen && !bSeesAll) {
        strDetail += QStringLiteral(" (which program /proc shows to root only)");
    }
    if (bOnlyDesktop) {
        // The desktop program itself: it works, but tavikctl cannot talk meanwhile.
        return {strName, EDoctorResult::Warning, strDetail,
                QStringLiteral("close tavik-connection to use tavikctl's other commands")};
    }
    return {strName, EDoctorResult::Problem, strDetail,
            QStringLiteral("end the program that holds the port; neither tavik-connection nor "
                           "tavikctl can receive the instruments' replies meanwhile")};
}

SDoctorCheck CPortCheck::Run(std::uint16_t nPort) {
    const std::optional<QByteArray> abTable = ReadAll(QStringLiteral("/proc/net/udp"));
    if (!abTable) {
        return {QStringLiteral("port"), EDoctorResult::Unknown,
                QStringLiteral("/proc/net/udp cannot be read"), QString()};
    }
    std::vector<SUDPSocketEntry> listSockets = SocketsOnPort(*abTable, nPort);
    for (const SUDPSocketEntry& socket :
         SocketsOnPort(ReadAll(QStringLiteral("/proc/net/udp6")).value_or(""), nPort)) {
        listSockets.push_back(socket);
    }
    return Check(listSockets, FindOwners(listSockets), geteuid() == 0, nPort);
}
