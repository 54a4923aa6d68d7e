#include "ui/ReplyRegistration.h"

#include "protocol/DatagramRouter.h"

void CReplyRegistration::Register(CDatagramRouter& router,
                                  std::initializer_list<std::uint8_t> listCodes,
                                  std::string_view strName) {
    Unregister();
    for (const std::uint8_t nCode : listCodes) {
        router.Register(nCode, m_receiver, strName);
    }
    m_pRouter = &router;
}

void CReplyRegistration::Unregister() {
    if (m_pRouter != nullptr) {
        m_pRouter->Unregister(m_receiver);
        m_pRouter = nullptr;
    }
}
