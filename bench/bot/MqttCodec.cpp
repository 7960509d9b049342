// SPDX-License-Identifier: MIT
#include "bench/bot/MqttCodec.h"

void MqttCodec::PutLength(std::string& s, size_t n) {
    do {
        uint8_t byte = n % 128;
        n /= 128;
        if (n) {
            byte |= 128;
        }
        s.push_back(static_cast<char>(byte));
    } while (n);
}

void MqttCodec::PutString(std::string& s, const char* p, size_t n) {
    s.push_back(static_cast<char>(n >> 8));
    s.push_back(static_cast<char>(n & 0xff));
    s.append(p, n);
}

void MqttCodec::AppendJoin(std::string& out, const std::string& clientId, const char* topic,
                           size_t topicLen) {
    std::string body;
    PutString(body, "MQTT", 4);
    body.push_back(4); // protocol level 3.1.1
    body.push_back(2); // clean session
    body.push_back(0); // no keep-alive
    body.push_back(0);
    PutString(body, clientId.data(), clientId.size());
    out.push_back(static_cast<char>(0x10));
    PutLength(out, body.size());
    out += body;
    body.clear();
    body.push_back(0); // packet id 1
    body.push_back(1);
    PutString(body, topic, topicLen);
    body.push_back(0); // QoS 0
    out.push_back(static_cast<char>(0x82));
    PutLength(out, body.size());
    out += body;
}

void MqttCodec::AppendPublish(std::string& out, const char* topic, size_t topicLen,
                              const char* payload, size_t n) {
    out.push_back(static_cast<char>(0x30));
    PutLength(out, 2 + topicLen + n);
    PutString(out, topic, topicLen);
    out.append(payload, n);
}

bool MqttCodec::Read(const char* p, const char* end, Packet& packet) {
    if (end - p < 2) {
        return false;
    }
    size_t len = 0;
    int shift = 0;
    const char* q = p + 1;
    bool bComplete = false;
    while (q < end && shift <= 21) {
        uint8_t byte = static_cast<uint8_t>(*q++);
        len |= static_cast<size_t>(byte & 127) << shift;
        shift += 7;
        if (!(byte & 128)) {
            bComplete = true;
            break;
        }
    }
    if (!bComplete || static_cast<size_t>(end - q) < len) {
        return false;
    }
    packet.type = static_cast<uint8_t>(p[0]);
    packet.body = q;
    packet.len = len;
    return true;
}

bool MqttCodec::Payload(const Packet& packet, const char*& begin, const char*& end) {
    const uint8_t type = packet.type;
    const char* q = packet.body;
    const size_t len = packet.len;
    if ((type >> 4) != 3 || len < 2) {
        return false;
    }
    size_t topicLen = (static_cast<uint8_t>(q[0]) << 8) | static_cast<uint8_t>(q[1]);
    size_t skip = 2 + topicLen + ((type & 6) ? 2 : 0);
    if (skip > len) {
        return false;
    }
    begin = q + skip;
    end = q + len;
    return true;
}
