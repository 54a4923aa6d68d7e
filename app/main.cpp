// Tavik Instrument Connection: ties this computer to one instrument of the Tavik family.
#include "app/CommandLine.h"
#include "app/Logging.h"
#include "app/MolvarInstrumentConnectionApplication.h"
#include "app/TerminationSignals.h"
#include "link/UDPInstrumentInterface.h"
#include "platform/NetworkAdapters.h"
#include "platform/window/MessageBox.h"

#include <QApplication>
#include <QIcon>
#include <memory>
#include <new>
#include <optional>

namespace {

const QString APPLICATION_TITLE = QStringLiteral("Tavik Instrument Connection");

int Refuse(const QString& strReason) {
    qCWarning(AppCategory).noquote() << strReason;
    ShowMessageBox(nullptr,
                   QStringLiteral("The connection to the instruments could not be set up: ") +
                       strReason,
                   APPLICATION_TITLE, EMessageIcon::Exclamation);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    PrepareCommandLinePlatform(argc, argv);
    QApplication application(argc, argv);
    if (const std::optional<int> nExitStatus = ProcessCommandLine()) {
        return *nExitStatus;
    }
    EndRunOnTerminationSignals();
    Q_INIT_RESOURCE(resources);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/tavik-connection.svg")));

    std::unique_ptr<CMolvarInstrumentConnectionApplication> pApplication;
    try {
        pApplication =
            std::make_unique<CMolvarInstrumentConnectionApplication>(ListNetworkAdapters());
    } catch (const InterfaceException nException) {
        return Refuse(QString::fromUtf8(DescribeInterfaceException(nException)));
    } catch (const std::bad_alloc&) {
        return Refuse(QStringLiteral("there is not enough memory."));
    }
    pApplication->InitInstance();
    return pApplication->ExitStatus();
}
