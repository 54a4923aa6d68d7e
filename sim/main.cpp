// tavik-instrument-sim: simulated instruments answering the protocol on one UDP port.
#include "sim/InstrumentSimulator.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <signal.h>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int EXIT_BAD_OPTIONS = 2;

void PrintUsage(std::FILE* pFile) {
    std::fprintf(
        pFile,
        "Usage: tavik-instrument-sim [OPTION]... --instrument DESC [--instrument DESC]...\n"
        "       tavik-instrument-sim [OPTION]... --farm A.B.C.D,COUNT\n"
        "Simulated instruments that answer the instrument protocol over UDP, all on one\n"
        "socket; each instrument answers from its own address.\n"
        "\n"
        "Options (also written --option=VALUE):\n"
        "  --port N             port the instruments listen on (default 19798)\n"
        "  --client-port N      port the replies go to, at the sender's address (default 19798)\n"
        "  --bind ADDR          local address to bind (default 0.0.0.0, every address; a\n"
        "                       socket bound to one address receives no broadcasts)\n"
        "  --instrument DESC    one instrument (repeatable); DESC is comma-separated key=value:\n"
        "                         address=A.B.C.D  required: the instrument answers datagrams\n"
        "                                          sent to this address\n"
        "                         host=NAME        its host name\n"
        "                         name=NAME        its instrument name (empty: none yet)\n"
        "                         in-use=N         in-use flag, 0..255 (1 = busy)\n"
        "                         claimed=N        claimed flag, 0..255 (nonzero = claimed)\n"
        "                         owner=NAME       host name of the claiming client\n"
        "                         owner-address=A.B.C.D  address of the claiming client\n"
        "                         mute=0|1         this instrument never answers\n"
        "  --farm A.B.C.D,COUNT COUNT instruments (1 to 65536) at consecutive addresses from\n"
        "                       A.B.C.D, instrument N (from 1) with host tavik-fN and name\n"
        "                       Farm-N, none in use or claimed; may join --instrument\n"
        "  --mute               no instrument answers (SIGUSR1 mutes, SIGUSR2 unmutes)\n"
        "  --mute-codes LIST    requests with these codes (comma-separated) get no answer\n"
        "  --delay-ms N         every answer waits N milliseconds\n"
        "  --answer-twice       every answer goes out twice\n"
        "  --malformed          a malformed datagram goes out before every answer\n"
        "  --burst              the answers due at once (every instrument's answer to a\n"
        "                       broadcast) go out in batches of sendmmsg calls, as fast as\n"
        "                       the kernel takes them, as a segment of real instruments\n"
        "                       answers; the log then has no line per answer\n"
        "  --quiet              no log; by default every datagram in and out is logged to\n"
        "                       standard output, one line each\n"
        "  --help               this text\n"
        "\n"
        "Whenever more than one answer goes out at once, the log says how many and at what\n"
        "rate: \"burst of 2000 answers, sendmmsg, in 3.1 ms (645161/s)\".\n"
        "\n"
        "SIGTERM and SIGINT stop the simulator (exit status 0); bad options exit with 2, a\n"
        "port that cannot be bound with 1.\n"
        "\n"
        "%s",
        CSimulatedInstruments::PolicyText());
}

[[noreturn]] void BadOptions(const std::string& strMessage) {
    std::fprintf(stderr, "tavik-instrument-sim: %s\nTry 'tavik-instrument-sim --help'.\n",
                 strMessage.c_str());
    std::exit(EXIT_BAD_OPTIONS);
}

std::optional<unsigned long> ParseNumber(const std::string& strText, unsigned long nMax) {
    if (strText.empty() || strText.find_first_not_of("0123456789") != std::string::npos ||
        strText.size() > 10) {
        return std::nullopt;
    }
    const unsigned long nValue = std::stoul(strText);
    if (nValue > nMax) {
        return std::nullopt;
    }
    return nValue;
}

std::optional<std::uint32_t> ParseAddress(const std::string& strText) {
    in_addr address{};
    if (::inet_pton(AF_INET, strText.c_str(), &address) != 1) {
        return std::nullopt;
    }
    return ntohl(address.s_addr);
}

std::uint32_t RequireAddress(const std::string& strText, const std::string& strWhat) {
    const auto dwAddress = ParseAddress(strText);
    if (!dwAddress) {
        BadOptions(strWhat + ": '" + strText + "' is not an IPv4 address");
    }
    return *dwAddress;
}

unsigned long RequireNumber(const std::string& strText, unsigned long nMax,
                            const std::string& strWhat) {
    const auto nValue = ParseNumber(strText, nMax);
    if (!nValue) {
        BadOptions(strWhat + ": '" + strText + "' is not a number from 0 to " +
                   std::to_string(nMax));
    }
    return *nValue;
}

std::vector<std::string> Split(const std::string& strText, char cSeparator) {
    std::vector<std::string> listParts;
    std::stringstream stream(strText);
    std::string strPart;
    while (std::getline(stream, strPart, cSeparator)) {
        listParts.push_back(strPart);
    }
    return listParts;
}

std::string RequireText(const std::string& strText, const std::string& strWhat) {
    if (strText.size() > TEXT_FIELD_MAX_UNITS) {
        BadOptions(strWhat + ": at most " + std::to_string(TEXT_FIELD_MAX_UNITS) + " bytes");
    }
    return strText;
}

SSimulatedInstrument ParseInstrument(const std::string& strSpec) {
    SSimulatedInstrument instrument;
    bool bHaveAddress = false;
    for (const std::string& strPair : Split(strSpec, ',')) {
        if (strPair.empty()) {
            continue;
        }
        const auto nEquals = strPair.find('=');
        if (nEquals == std::string::npos) {
            BadOptions("--instrument: '" + strPair + "' is not key=value");
        }
        const std::string strKey = strPair.substr(0, nEquals);
        const std::string strValue = strPair.substr(nEquals + 1);
        const std::string strWhat = "--instrument " + strKey;
        if (strKey == "address") {
            instrument.dwAddress = RequireAddress(strValue, strWhat);
            bHaveAddress = true;
        } else if (strKey == "host") {
            instrument.strHostName = RequireText(strValue, strWhat);
        } else if (strKey == "name") {
            instrument.strName = RequireText(strValue, strWhat);
        } else if (strKey == "in-use") {
            instrument.bInUse = static_cast<std::uint8_t>(RequireNumber(strValue, 255, strWhat));
        } else if (strKey == "claimed") {
            instrument.bClaimed = static_cast<std::uint8_t>(RequireNumber(strValue, 255, strWhat));
        } else if (strKey == "owner") {
            instrument.strOwnerHostName = RequireText(strValue, strWhat);
        } else if (strKey == "owner-address") {
            instrument.dwOwnerAddress = RequireAddress(strValue, strWhat);
        } else if (strKey == "mute") {
            instrument.bMute = RequireNumber(strValue, 1, strWhat) != 0;
        } else {
            BadOptions("--instrument: unknown key '" + strKey + "'");
        }
    }
    if (!bHaveAddress) {
        BadOptions("--instrument '" + strSpec + "': address= is required");
    }
    return instrument;
}

// COUNT instruments from a first address, one argument for a whole segment of them.
std::vector<SSimulatedInstrument> ParseFarm(const std::string& strSpec) {
    const auto nComma = strSpec.find(',');
    if (nComma == std::string::npos) {
        BadOptions("--farm: '" + strSpec + "' is not A.B.C.D,COUNT");
    }
    const std::uint32_t dwFirst = RequireAddress(strSpec.substr(0, nComma), "--farm");
    const unsigned long nCount = RequireNumber(strSpec.substr(nComma + 1), 65536, "--farm count");
    if (nCount == 0 || dwFirst + static_cast<std::uint64_t>(nCount - 1) > 0xFFFFFFFFu) {
        BadOptions("--farm: " + std::to_string(nCount) + " addresses from " +
                   strSpec.substr(0, nComma) + " do not fit");
    }
    std::vector<SSimulatedInstrument> listFarm(nCount);
    for (unsigned long i = 0; i < nCount; ++i) {
        listFarm[i].dwAddress = dwFirst + static_cast<std::uint32_t>(i);
        listFarm[i].strHostName = "tavik-f" + std::to_string(i + 1);
        listFarm[i].strName = "Farm-" + std::to_string(i + 1);
    }
    return listFarm;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<SSimulatedInstrument> listInstruments;
    SSimulatorOptions options;
    bool bQuiet = false;

    for (int i = 1; i < argc; ++i) {
        std::string strOption = argv[i];
        std::optional<std::string> value;
        if (const auto nEquals = strOption.find('=');
            strOption.rfind("--", 0) == 0 && nEquals != std::string::npos) {
            value = strOption.substr(nEquals + 1);
            strOption.resize(nEquals);
        }
        auto takeValue = [&]() -> std::string {
            if (value) {
                return *value;
            }
            if (i + 1 >= argc) {
                BadOptions(strOption + " needs a value");
            }
            return argv[++i];
        };
        auto noValue = [&]() {
            if (value) {
                BadOptions(strOption + " takes no value");
            }
        };

        if (strOption == "--help" || strOption == "-h") {
            noValue();
            PrintUsage(stdout);
            return 0;
        } else if (strOption == "--port") {
            options.nPort = static_cast<std::uint16_t>(RequireNumber(takeValue(), 65535, "--port"));
        } else if (strOption == "--client-port") {
            options.nClientPort =
                static_cast<std::uint16_t>(RequireNumber(takeValue(), 65535, "--client-port"));
        } else if (strOption == "--bind") {
            options.dwBindAddress = RequireAddress(takeValue(), "--bind");
        } else if (strOption == "--instrument") {
            listInstruments.push_back(ParseInstrument(takeValue()));
        } else if (strOption == "--farm") {
            const auto listFarm = ParseFarm(takeValue());
            listInstruments.insert(listInstruments.end(), listFarm.begin(), listFarm.end());
        } else if (strOption == "--mute") {
            noValue();
            options.bMute = true;
        } else if (strOption == "--mute-codes") {
            for (const std::string& strCode : Split(takeValue(), ',')) {
                if (!strCode.empty()) {
                    options.setMuteCodes.insert(
                        static_cast<std::uint8_t>(RequireNumber(strCode, 255, "--mute-codes")));
                }
            }
        } else if (strOption == "--delay-ms") {
            options.delay = std::chrono::milliseconds(
                RequireNumber(takeValue(), 24UL * 3600 * 1000, "--delay-ms"));
        } else if (strOption == "--answer-twice") {
            noValue();
            options.bAnswerTwice = true;
        } else if (strOption == "--malformed") {
            noValue();
            options.bMalformed = true;
        } else if (strOption == "--burst") {
            noValue();
            options.bBurst = true;
        } else if (strOption == "--quiet") {
            noValue();
            bQuiet = true;
        } else {
            BadOptions("unknown option '" + strOption + "'");
        }
    }
    if (listInstruments.empty()) {
        BadOptions("at least one --instrument or a --farm is needed");
    }

    if (!bQuiet) {
        std::setvbuf(stdout, nullptr, _IOLBF, 0);
        options.fnLog = [](const std::string& strLine) { std::printf("%s\n", strLine.c_str()); };
    }

    // The signals are taken here, by this thread, so the simulator's thread must not see them.
    sigset_t signals;
    sigemptyset(&signals);
    for (int nSignal : {SIGUSR1, SIGUSR2, SIGTERM, SIGINT}) {
        sigaddset(&signals, nSignal);
    }
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    const std::size_t nInstruments = listInstruments.size();
    CInstrumentSimulator simulator(std::move(listInstruments), options);
    if (!simulator.Start()) {
        std::fprintf(stderr, "tavik-instrument-sim: cannot listen on port %u: %s\n",
                     static_cast<unsigned>(options.nPort), std::strerror(errno));
        return 1;
    }
    if (!bQuiet) {
        std::printf("listening on port %u, replies to port %u, %zu instrument(s)\n",
                    static_cast<unsigned>(simulator.Port()),
                    static_cast<unsigned>(options.nClientPort), nInstruments);
    }

    for (;;) {
        int nSignal = 0;
        if (sigwait(&signals, &nSignal) != 0) {
            continue;
        }
        if (nSignal == SIGUSR1 || nSignal == SIGUSR2) {
            simulator.SetMute(nSignal == SIGUSR1);
            if (!bQuiet) {
                std::printf("%s\n", nSignal == SIGUSR1 ? "muted" : "unmuted");
            }
            continue;
        }
        break;
    }
    simulator.Stop();
    return 0;
}
