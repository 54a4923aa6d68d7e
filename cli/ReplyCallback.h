// A receiver of routed replies made of two functions, so that the command line's one session
// can take the replies of each exchange it drives.
#pragma once

#include "protocol/ReplyReceiver.h"

#include <functional>
#include <utility>

class CReplyCallback final : public CReplyReceiver {
public:
    CReplyCallback(std::function<bool()> fnIsTaking,
                   std::function<void(const SDatagramView&)> fnTake)
        : m_fnIsTaking(std::move(fnIsTaking)), m_fnTake(std::move(fnTake)) {}
    ~CReplyCallback() = default;

    bool IsTakingReplies() const override { return m_fnIsTaking(); }
    void TakeReply(const SDatagramView& datagram) override { m_fnTake(datagram); }

private:
    std::function<bool()> m_fnIsTaking;
    std::function<void(const SDatagramView&)> m_fnTake;
};
