// SPDX-License-Identifier: MIT
#pragma once
// Plain sockets for the box bench's peers and hosts, all on 127.0.0.1.
#include <cstdint>
#include <string>

// Connects to nPort; ends the bench when that fails.
int Connect(uint16_t nPort);
void SendAll(int fd, const std::string& data);
// A listening socket on a port the client window accepts (1 to 32767).
int ListenLow(uint16_t* nPort);
// Bytes that reached the other end of the connection fd but that its process has not read yet
// (from /proc/net/tcp); -1 when that end is not found.
long UnreadAtPeer(int fd);
