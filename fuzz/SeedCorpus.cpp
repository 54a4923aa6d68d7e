// Writes the fuzz targets' seed inputs: real datagrams and files as the instruments and the
// program make them, each in its target's input form.
//   fuzz_seed_corpus <folder>        (the tree's fuzz/corpus)
#include "link/Messages.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t CLIENT = 0x7F000001;
constexpr std::uint32_t BROADCAST = 0x7FFFFFFF;
constexpr std::uint32_t INSTRUMENT = 0xC0A80114; // 192.168.1.20

std::filesystem::path g_root;

void Write(const std::string& strTarget, const std::string& strName, const Bytes& bytes) {
    const std::filesystem::path folder = g_root / strTarget;
    std::filesystem::create_directories(folder);
    std::ofstream file(folder / strName, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

template <typename Payload>
Bytes Framed(const Payload& payload, std::uint32_t dwDestination = CLIENT,
             std::uint32_t dwSource = INSTRUMENT) {
    Bytes datagram(MAX_DATAGRAM_SIZE);
    datagram.resize(FrameDatagram(dwDestination, dwSource,
                                  std::span<const std::uint8_t>(payload.data(), payload.size()),
                                  datagram.data()));
    return datagram;
}

SInstrumentDescriptionFields Description(std::uint32_t dwAddress, const std::string& strName,
                                         std::uint8_t bClaimed) {
    SInstrumentDescriptionFields f;
    f.strHostName = "inst" + std::to_string(dwAddress & 0xFF);
    f.dwAddress = dwAddress;
    f.bClaimed = bClaimed;
    f.strName = strName;
    if (bClaimed) {
        f.strOwnerHostName = "client";
        f.dwOwnerAddress = CLIENT;
    }
    return f;
}

// The datagrams an instrument or a client sends, and some that neither sends.
std::vector<std::pair<std::string, Bytes>> Datagrams() {
    std::vector<std::pair<std::string, Bytes>> list = {
        {"claim-granted", Framed(BuildStatusReply(MSG_CLAIM, STATUS_OK))},
        {"claim-refused", Framed(BuildStatusReply(MSG_CLAIM, 1))},
        {"release-in-use", Framed(BuildStatusReply(MSG_RELEASE, RELEASE_STATUS_IN_USE))},
        {"release-overridable", Framed(BuildStatusReply(MSG_RELEASE, RELEASE_STATUS_OVERRIDABLE))},
        {"rename-granted", Framed(BuildStatusReply(MSG_RENAME, STATUS_OK))},
        {"repair-done", Framed(BuildRepairReply(STATUS_OK, INSTRUMENT))},
        {"discovery-reply", Framed(BuildDiscoveryReply(Description(INSTRUMENT, "Lab-1", 0)))},
        {"discovery-reply-broadcast",
         Framed(BuildDiscoveryReply(Description(INSTRUMENT, "", 0)), BROADCAST)},
        {"verify-held", Framed(BuildVerifyReply(STATUS_OK, Description(INSTRUMENT, "Lab-1", 1)))},
        {"verify-other-owner", Framed(BuildVerifyReply(1, Description(INSTRUMENT, "Lab-1", 1)))},
        {"discovery-request", Framed(BuildDiscoveryRequest(), BROADCAST, CLIENT)},
        {"claim-request",
         Framed(BuildNamedRequest(MSG_CLAIM, u"Lab-1", u"client"), INSTRUMENT, CLIENT)},
        {"verify-request",
         Framed(BuildNamedRequest(MSG_VERIFY, u"Lab-1", u"client"), INSTRUMENT, CLIENT)},
    };
    // Twenty bytes whose header announces a payload of 100.
    Bytes shortDatagram(20, 0);
    WriteDatagramHeader(shortDatagram.data(), DatagramHeader{CLIENT, INSTRUMENT, 100});
    list.emplace_back("announces-more", shortDatagram);
    // A name field of 64 bytes without its NUL.
    auto reply = BuildDiscoveryReply(Description(INSTRUMENT, "x", 0));
    std::fill(reply.begin() + 1 + InstrumentDescription::NAME,
              reply.begin() + 1 + InstrumentDescription::NAME + TEXT_FIELD_SIZE, 'N');
    list.emplace_back("name-without-nul", Framed(reply));
    return list;
}

Bytes Word(std::size_t n) {
    return {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8)};
}

Bytes Concat(std::initializer_list<Bytes> list) {
    Bytes all;
    for (const Bytes& b : list) {
        all.insert(all.end(), b.begin(), b.end());
    }
    return all;
}

void WriteMessages() {
    for (const auto& [strName, datagram] : Datagrams()) {
        Write("messages", strName, datagram);
    }
}

void WriteInstrumentList() {
    // Steps: 0 merge a description, 1 merge a changed one, 2 copy over, 3 copy back,
    // 4 copy onto itself, 5 clear, 6 look up a row.
    Bytes steps;
    for (const std::uint32_t dwAddress : {0xC0A8010Au, 0xC0A80102u, 0x0A000007u}) {
        const auto reply = BuildDiscoveryReply(Description(dwAddress, "Lab", 0));
        steps.push_back(0);
        steps.insert(steps.end(), reply.begin() + 1, reply.end());
    }
    Write("instrument_list", "three-out-of-order", steps);
    Bytes changes = steps;
    for (const Bytes& step : {Bytes{1, 0, 0, 1}, Bytes{1, 1, 3, 'x'}, Bytes{1, 2, 6, 5}, Bytes{2},
                              Bytes{6, 1, 0}, Bytes{5}, Bytes{3}, Bytes{4}, Bytes{6, 3, 0}}) {
        changes.insert(changes.end(), step.begin(), step.end());
    }
    Write("instrument_list", "changes-copies-lookups", changes);
}

void WriteLinkReceive() {
    // Steps: 0 raw bytes (length, bytes), 1 framed (length field, carried-bytes delta,
    // destination), 2 take, 3 take the length only.
    Bytes raw;
    for (const auto& [strName, datagram] : Datagrams()) {
        raw.push_back(0);
        const Bytes length = Word(datagram.size());
        raw.insert(raw.end(), length.begin(), length.end());
        raw.insert(raw.end(), datagram.begin(), datagram.end());
        if (strName == "claim-refused" || strName == "verify-held") {
            raw.push_back(2);
        }
    }
    Write("link_receive", "replies-then-takes", raw);
    Write("link_receive", "framed-short-exact-long",
          Concat({{1},
                  Word(10),
                  {1, 0},
                  Bytes(9, 'a'),
                  {1},
                  Word(10),
                  {2, 0},
                  Bytes(10, 'b'),
                  {2},
                  {1},
                  Word(512),
                  {4, 1},
                  Bytes(514, 'c'),
                  {3},
                  {2}}));
}

void WriteRouting() {
    // Steps: 0 raw datagram (length, bytes), 1 framed (choice of length and destination, code,
    // payload bytes).
    for (const auto& [strName, datagram] : Datagrams()) {
        Write("routing", strName, Concat({{0}, Word(datagram.size()), datagram}));
    }
    Write("routing", "verify-then-claim",
          Concat({{0}, Word(14), Framed(BuildStatusReply(MSG_CLAIM, STATUS_OK)), {1, 6, 5}}));
}

void WriteSimulator() {
    // Steps: first byte 0 raw (then where it was received, length, bytes) or 1 request (where,
    // code, name length and bytes, host length and bytes, source choice).
    for (const auto& [strName, datagram] : Datagrams()) {
        Write("simulator", strName, Concat({{0, 3}, Word(datagram.size()), datagram}));
    }
    const Bytes claim = {1, 0,   MSG_CLAIM, 5,   'L', 'a', 'b', '-', '9',
                         6, 'c', 'l',       'i', 'e', 'n', 't', 1};
    const Bytes release = {1, 0,   MSG_RELEASE, 5,   'L', 'a', 'b', '-', '9',
                           6, 'c', 'l',         'i', 'e', 'n', 't', 1};
    const Bytes repair = {1, 3, MSG_REPAIR, 5, 'L', 'a', 'b', '-', '9', 0, 1};
    Write("simulator", "claim-release-repair", Concat({claim, release, claim, repair}));
    Write("simulator", "discover-verify-rename",
          Concat({{1, 3, MSG_DISCOVERY_REQUEST, 1},
                  {1, 1, MSG_VERIFY, 0, 0, 1},
                  {1, 2, MSG_RENAME, 3, 'n', 'e', 'w', 1, 'h', 0}}));
}

void WriteConfiguration() {
    auto text = [](const std::string& s) { return Bytes(s.begin(), s.end()); };
    Write("configuration", "sound",
          text("[General]\nstrInstrumentName=Lab-1\nstrInstrumentHostName=inst7\n"
               "dwInstrumentIPAddress=3232235796\n"));
    Write("configuration", "empty-after-release",
          text("[General]\nstrInstrumentName=\nstrInstrumentHostName=\n"
               "dwInstrumentIPAddress=0\n"));
    Write("configuration", "address-as-text",
          text("[General]\nstrInstrumentName=Lab-1\ndwInstrumentIPAddress=abc\n"));
    Write("configuration", "address-too-large",
          text("[General]\ndwInstrumentIPAddress=4294967296\nstrInstrumentHostName=@Invalid()\n"));
    Write("configuration", "list-and-escapes",
          text("[General]\nstrInstrumentName=a, b\nstrInstrumentHostName=\"\\x141 \\\"q\\\"\"\n"
               "dwInstrumentIPAddress=@Variant(\\0\\0\\0\\x3\\0\\0\\0\\x5)\n"));
    Write("configuration", "other-group", text("[Other]\nstrInstrumentName=Lab-1\n"));
}

void WriteCommandLine() {
    // The arguments, a NUL between each two.
    const std::vector<std::pair<std::string, std::vector<std::string>>> listRuns = {
        {"status-json", {"--json", "status"}},
        {"discover-cycles-to", {"discover", "--cycles", "3", "--to", "10.77.1.11"}},
        {"claim-named", {"claim", "tavik-a101", "--name=Lab 7"}},
        {"rename-after-dashes", {"--adapter", "eth1", "rename", "Bench-2", "--", "--x"}},
        {"command-help", {"repair", "--help"}},
        {"unknown-option", {"discover", "--watch", "--frobnicate"}},
    };
    for (const auto& [strName, listArguments] : listRuns) {
        Bytes bytes;
        for (const std::string& strArgument : listArguments) {
            if (!bytes.empty()) {
                bytes.push_back(0);
            }
            bytes.insert(bytes.end(), strArgument.begin(), strArgument.end());
        }
        Write("command_line", strName, bytes);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
        return 2;
    }
    g_root = argv[1];
    WriteMessages();
    WriteInstrumentList();
    WriteLinkReceive();
    WriteRouting();
    WriteSimulator();
    WriteConfiguration();
    WriteCommandLine();
    return 0;
}
