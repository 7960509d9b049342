// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The few MQTT 3.1.1 packets the bot speaks: CONNECT, SUBSCRIBE and PUBLISH at QoS 0.
class MqttCodec {
public:
    // One complete packet at the front of a buffer.
    struct Packet {
        uint8_t type = 0;           // the first byte of the fixed header
        const char* body = nullptr; // after the remaining-length field
        size_t len = 0;             // bytes of body
    };

    static void PutLength(std::string& s, size_t n);
    static void PutString(std::string& s, const char* p, size_t n);

    // CONNECT with a clean session and no keep-alive, then SUBSCRIBE to `topic` at QoS 0.
    static void AppendJoin(std::string& out, const std::string& clientId, const char* topic,
                           size_t topicLen);
    static void AppendPublish(std::string& out, const char* topic, size_t topicLen,
                              const char* payload, size_t n);

    // Reads the packet at p; false while it has not arrived whole.
    static bool Read(const char* p, const char* end, Packet& packet);
    // The payload of a PUBLISH; false for other packets and malformed ones.
    static bool Payload(const Packet& packet, const char*& begin, const char*& end);
};
