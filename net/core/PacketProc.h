// SPDX-License-Identifier: MIT
#pragma once

// Wire format between the server and each client, one TCP connection per client. Every
// character is a byte; text beyond ASCII travels as UTF-8 and is relayed byte for byte.
//
//   stream   = *message
//   message  = code payload CRLF                ; one send per message, no length prefix
//   code     = "{" 1*DIGIT "}"                  ; on receipt: the line up to the first "}"
//   payload  = *byte                            ; never holds CRLF; may hold "{", "}", ";"
//   CRLF     = %x0D %x0A
//
//   chat     = "{1}"  "{" nick "}" text         ; any side; the server echoes it via its queue
//   join     = "{2}"  nick                      ; client, once after connecting
//   leave    = "{3}"                            ; the server's own, never sent
//   users    = "{8}"  *(entry ";")              ; server only
//   status   = "{9}"  text                      ; server only
//   draw     = "{10}" sx ";" sy ";" dx ";" dy ";" clr ";"
//   clear    = "{11}"
//   sx, sy, dx, dy = number                     ; 16-bit signed canvas pixels
//   clr      = number                           ; red + 256*green + 65536*blue, 0..16777215
//   number   = ["-"] 1*DIGIT                    ; shortest form; read leniently on receipt
//
// Lines with any other code, empty lines and lines without "}" are skipped silently.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace zaplo {

class PacketHost;

// The nickname box takes 16 characters (UTF-16 units); a join with a longer nickname, or one
// with more bytes than 16 characters can take in UTF-8, cannot come from the program and is
// refused by the server.
inline constexpr std::size_t kMaxNickChars = 16;
inline constexpr std::size_t kMaxNickBytes = 4 * kMaxNickChars;

// Whether szNick fits the nickname box: at most kMaxNickBytes bytes and kMaxNickChars UTF-16
// units once read as UTF-8.
bool NicknameFits(std::string_view szNick);

// Cuts a received block into CR LF lines and dispatches each, strictly in order, to the host.
// nOrigin is the delivering slot on the server (relaying and answering on) or -1 on a client
// (both off). On return szPacket holds the text after the last CR LF. Keeps all working data
// local, so the host may call it again from inside ServerSendToClient.
void PacketProc(std::string& szPacket, int16_t nOrigin, PacketHost& host);

// The server's own leave for slot nOrigin, whose socket has closed: closes the slot and, when it
// had joined, logs and announces the departure and queues the new user list. A "{3}" from the
// wire is never taken for one.
void PacketLeave(int16_t nOrigin, PacketHost& host);

// Dispatches the lines of szLines (each ending in CR LF; text after the last CR LF is ignored)
// strictly in order, as long as bOpen() holds before each line: a connection closed meanwhile has
// nothing more dispatched in its name. On the server, consecutive draw records and clears that are
// relayed go to each other slot in one send (the same bytes as one send per line); they are sent
// before any other kind of line is dispatched and at the end, so every receiver still gets every
// message in the order read, and nothing is held back once this returns.
void DispatchLines(std::string_view szLines, int16_t nOrigin, PacketHost& host,
                   const std::function<bool()>& bOpen);

} // namespace zaplo
