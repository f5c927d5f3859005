#pragma once
// The camera's connection record; every component that talks to the camera copies it.
#include <cstdint>
#include <string>

namespace korvane {

struct DEVICE_INFO {
    virtual ~DEVICE_INFO() = default;

    uint32_t requestTimeoutMs = 5000;  // every time-out of the HTTP sender
    uint32_t secondTimeoutMs = 15000;  // receive time-out of the streaming parts
    std::string address;
    uint32_t port = 80;
    std::string userName;
    std::string password;
    std::string model;
    std::string spare;
};

}  // namespace korvane
