// One command of tavikctl: its own options and usage text, its checks, the exchanges it drives
// and its output. The table of commands (cli/CommandTable.h) declares its word, its arguments and
// what it needs; the session sets that up (an adapter and the link, the configuration, the name
// rule) and hands the command the rest.
#pragma once

#include <QCommandLineOption>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>
#include <string_view>

class CTavikctlSession;
class QCommandLineParser;

// A new name the name rule judges before anything is sent.
struct SNameToCheck {
    QString strName;
    // The refusal of an empty name; none where an empty name is judged later.
    std::u16string_view strEmptyText;
};

class CCliCommand {
public:
    virtual ~CCliCommand() = default;

    // ---- The command line ----
    // One line for the program's help.
    virtual const char* Summary() const = 0;
    // The command's own options, and how its usage line shows them ("[--cycles N]"), after its
    // arguments.
    virtual QList<QCommandLineOption> Options() const { return {}; }
    virtual const char* OptionsSyntax() const { return ""; }
    // Its options' values and its arguments (as many as the table declares), once the command
    // line has parsed; the reason of a usage error, or an empty text.
    virtual QString ReadArguments(const QCommandLineParser& /*parser*/,
                                  const QStringList& /*listArguments*/) {
        return {};
    }
    // A command that needs the name rule: the name to judge, if one was given.
    virtual std::optional<SNameToCheck> NameToCheck() const { return std::nullopt; }

    // ---- The run, over its session (which outlives nothing of the command's) ----
    void Attach(CTavikctlSession& session) { m_pSession = &session; }
    // A command that needs no link: all of it, answering the exit status.
    virtual int RunWithoutLink() { return 0; }
    // A command that needs the link if possible: what it does before the link takes the port,
    // answering why the link is not to be tried, or an empty text.
    virtual QString BeforeLink() { return {}; }
    // A command that needs the link: its start on the event loop; it ends with the session's
    // Finish or Report.
    virtual void Start() {}
    // An event of a timer the command started through the session.
    virtual void OnTimer(unsigned /*nTimerId*/) {}
    // A command that needs the configuration, when nothing is configured: "Not configured" as
    // a refusal, unless the command says it otherwise.
    virtual void ReportNotConfigured();
    // SIGINT or SIGTERM while the command waits: "interrupted", status 130, unless the command
    // ends otherwise.
    virtual void OnInterrupted();

protected:
    CTavikctlSession& Session() const { return *m_pSession; }

private:
    CTavikctlSession* m_pSession = nullptr;
};
