// Frames of the controller line: the 4-byte command frame, the 8-byte address
// frame and the write continuation frame, the identify request, the
// identification text and the error-code query.
//
// Every exchange is started by the program with a command frame addressed to
// one controller. All functions take the port handle as their first argument
// and the controller address as their second; the protocol serves handles 1 to
// 4 only and answers -3 for a handle above 4 without any traffic.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "checksum.h"
#include "transfer_result.h"

// Byte 0 of every command frame.
constexpr uint8_t kFrameStart = 0x60;
// Command codes (byte 2 of the command frame).
constexpr uint8_t kCmdWrite = 0x40;      // + board
constexpr uint8_t kCmdRead = 0x48;       // + board
constexpr uint8_t kCmdIdentify = 0x21;   // "!"
constexpr uint8_t kCmdIdentText = 0x00;  // followed by the single byte kIdentTextTrigger
constexpr uint8_t kCmdErrorQuery = 0xF0; // 16-byte answer, code in byte 7
constexpr uint8_t kIdentTextTrigger = 0x31;
// The reserve-channel address: whichever single controller is on the line answers it.
constexpr uint8_t kReserveAddress = 0xF0;

constexpr int kMaxPortHandle = 4;
constexpr int kMaxWriteFrameData = 64; // data bytes of one write address frame + continuation
constexpr int kIdentAnswerSize = 4;
constexpr int kIdentTextSize = 1024; // destination of ReadIdentText, zero byte included
constexpr int kErrorAnswerSize = 16;
constexpr int kErrorCodeIndex = 7;
constexpr int kErrorQueryDeadlineMs = 300;
constexpr int kErrorCodeTimeout = 254; // error code noted when the query got no answer
constexpr int kErrorGroupController = 16;

// The four device types a controller may report in its identify answer.
bool IsAcceptedDeviceType(uint8_t type);

// 0x60, controller address, command code, checksum of the three.
std::array<uint8_t, 4> CommandFrame(uint8_t ctrl, uint8_t command);
// 0x01, 0x00, address bits 8-15, 16-23, 0-7, byte5, length, checksum of bytes 0-6.
// A read request carries 0 in byte 5; a write request its first data byte.
std::array<uint8_t, 8> AddressFrame(uint32_t address, uint8_t byte5, uint8_t length);
// Data bytes 2 to n followed by their checksum (n bytes); empty for count < 2.
std::vector<uint8_t> ContinuationFrame(const uint8_t* data, int count);

// The line under the protocol, for the cores that must not reach the port
// layer themselves: the port's name as the port layer has it ("" for no
// port), and new line settings once the controller moved to them (the port
// layer's U_xxx: 0 done, else its error).
std::string LineName(int port);
int SetLineSettings(int port, uint32_t baud, uint8_t dataBits, char parity, uint8_t stopCode);

// Drops waiting input, then writes the command frame. 1, or -1 when the port
// refused the write, -2 when the adapter's echo of it was wrong or missing (the
// echo setting, PortWrite), -3 for a handle above 4. The senders below give -2
// the same way.
int SendCmd(int port, int ctrl, uint8_t command);
// A controller takes a quiet line inside a request for its end and waits for a
// new command frame. When the program itself was held up before the next frame
// of a request (a busy machine oversleeps a pause) for longer than this, the
// rest is not sent: the controller may have dropped the start, and it would
// take the rest (data bytes) for new frames. The frame senders below then give
// kFrameLate, and the request is to be started again from its command frame.
constexpr int kLateFrameMs = 120;
constexpr int kFrameLate = -5;

// Drops waiting input, then writes the read address frame. 1, -1 (write
// failed), -3 (handle above 4) or kFrameLate (the command frame went out too
// long ago; nothing sent).
int SendAddressFrame(int port, uint32_t address, int length);
// Drops waiting input, writes the write address frame carrying data[0] and,
// for 2 or more bytes, waits 50 ms and writes the continuation frame.
// 1; -1 when the port refused a write; -3 handle above 4; -4 count outside 1..64
// (nothing sent); kFrameLate when the previous frame went out too long before
// the address frame or the continuation frame (that frame not sent).
int SendWriteFrames(int port, uint32_t address, int count, const uint8_t* data);

// Drops stale input, sends identify and waits (10 x multiplier + 2 polls of
// 10 ms) for the 4-byte answer. 1 on success (answer in dst, *outAddr = answer
// byte 0, device type stored in Protocol().deviceType); -1 time-out; -2 bad
// checksum or unknown device type; -3 handle above 4. An answer with a good
// checksum from another address than the one asked is a late answer to an
// earlier request: it is dropped and the wait goes on. Asked at the reserve
// address any controller's answer is taken, and *outAddr receives answer byte
// 0 even when the device type is refused (a bad checksum leaves it alone). The
// address is given as 0..255. A wrong or missing echo of the request (the echo
// setting), or the request itself coming back as the answer, is a bad answer (-2).
int Identify(int port, int ctrl, uint8_t* dst4, int* outAddr);

// Drops stale input, requests the identification text and collects it until
// the zero byte that ends it, converting CP866 to CP1251. dst holds
// kIdentTextSize bytes and always ends with a zero byte; a longer text is cut
// at 1023 bytes. The read ends after 250 x multiplier ms without a byte, after
// that plus 10 ms for each of the 1024 bytes a text may have, or once 1024
// bytes came without the end of the text.
// 1 success; -1 nothing came; -2 the text did not end (stopped before its zero
// byte, or never ended within its size or time); -3 handle above 4.
int ReadIdentText(int port, int ctrl, uint8_t* dst);

// The error-code query, one step a call; the caller repeats it about 1 ms apart
// until it returns non-zero. First call: purge, send 0xF0 (not for controller
// address 0), start the 300 ms deadline, return 0. Later calls: 1 with the code
// in Protocol().lastErrorCode once 16 bytes came; -6 with code 254 after the
// deadline; 0 otherwise. -3 (code 254) for a handle above 4.
int QueryErrorCode(int port, int ctrl);
// Runs the error-code query from its start to its end, waiting on the port
// between the steps. The result of its last step: 1, -6 or -3.
int RunErrorQuery(int port, int ctrl);
