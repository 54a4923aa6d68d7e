// A window's place in the application's datagram router for as long as it is open: taken when
// the window opens, given up when it closes, and at the latest when the window goes away.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>

class CDatagramRouter;
class CReplyReceiver;

class CReplyRegistration {
public:
    explicit CReplyRegistration(CReplyReceiver& receiver) : m_receiver(receiver) {}
    ~CReplyRegistration() { Unregister(); }
    CReplyRegistration(const CReplyRegistration&) = delete;
    CReplyRegistration& operator=(const CReplyRegistration&) = delete;

    // The receiver takes replies of these codes, under this name in the routing log. A second
    // call replaces the first.
    void Register(CDatagramRouter& router, std::initializer_list<std::uint8_t> listCodes,
                  std::string_view strName);
    void Unregister();

private:
    CReplyReceiver& m_receiver;
    CDatagramRouter* m_pRouter = nullptr;
};
