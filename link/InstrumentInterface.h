// The abstract instrument link: five operations, in this slot order.
#pragma once

#include <cstdint>

class CInstrumentInterface {
public:
    virtual int Connect() = 0;
    virtual void Disconnect() = 0;
    virtual int Transact(const std::uint8_t* pbRequest, std::uint32_t dwRequestLength,
                         std::uint8_t* pbReply, std::uint32_t* pdwReplyLength,
                         std::uint32_t dwReplyCapacity) = 0;
    virtual int Receive(std::uint8_t* pbBuffer, std::uint32_t* pdwLength,
                        std::uint32_t dwCapacity) = 0;
    virtual int Send(const std::uint8_t* pbPayload, std::uint32_t dwLength) = 0;

protected:
    // The single link is destroyed as the concrete class, never through this interface.
    ~CInstrumentInterface() = default;
};
