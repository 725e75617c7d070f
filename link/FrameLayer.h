// The link layer between the PC and the car kit: builds and byte-stuffs the
// frames the PC sends, removes the stuffing from what the car kit sends and
// assembles it into frames. All state is process-wide, since the process has
// one link at a time; the blocks are allocated by the UPDATEProtocol object.
//
// Wire format of a frame before stuffing: start byte 0x1C, type, payload
// length (16 bits, low byte first), payload, check byte (XOR of every
// preceding byte, the start byte included). Every byte after the start byte
// that equals 0x1B goes out as 1B 00 and one that equals 0x1C as 1B 01, so
// 0x1C on the wire always begins a frame.
#pragma once

#include "link/UPDATEFrame.h"
#include "platform/base/WinTypes.h"
#include "platform/serial/Serial.h"

// Frame types. The PC sends 1 to 7, the car kit 1, 2, 4, 6, 7, 8, 10 and 11.
enum {
    PtNone = 0,  // no complete frame (a frame of type 0 is lost too)
    PtConnect = 1,
    PtDisconnect = 2,
    PtFileRequest = 3,  // file name and its NUL
    PtHostNak = 4,      // PC: u32 0, u8 reason
    PtFileInfo = 4,     // car kit: u32 size, u32 CRC-32
    PtFileHeader = 5,   // u32 size, file name and its NUL
    PtFileData = 6,     // u32 sequence number, 0 to 1024 data bytes
    PtFileEnd = 7,      // PC: u32 size, u32 CRC-32; car kit: not read
    PtNak = 8,          // u32 sequence number, u8 reason
    PtFileOK = 10,      // the car kit accepted the file just ended
    PtFileOK2 = 11      // the same as PtFileOK
};

// Reason bytes of PtNak (car kit) and PtHostNak (PC).
enum {
    NAK_REASON_REQUEUE = 0,
    NAK_REASON_RESEND = 2,
    NAK_REASON_UNEXPECTED_COMMAND = 3,
    NAK_REASON_MAX = 9  // higher reasons are ignored by every session
};

// Results of WaitForEvent.
enum {
    EVENT_READ_IND = 1,       // bytes were received, or unconsumed bytes remain
    EVENT_TRANSMIT_DONE = 2,  // the last write completed
    EVENT_TIMEOUT = 3,        // nothing happened within the time
    EVENT_ERROR = 5,          // the wait or the read failed, or no port is open
    EVENT_WOKEN = 6           // the wake event of WaitForEventOr was signalled
};

// Sizes of the blocks. A frame of L unstuffed bytes takes up to 2 * L - 1
// bytes on the wire; m_TxEncoded holds the stuffed form of any frame that
// fits m_TxFrame, the largest data frame (1033 bytes, 2065 stuffed) included.
const int FRAME_BLOCK_SIZE = 2050;
const int FRAME_ENCODED_SIZE = 2 * FRAME_BLOCK_SIZE - 1;
const int FRAME_READ_SIZE = 2048;
const int FRAME_MAX_PAYLOAD = FRAME_BLOCK_SIZE - 5;

// Process-wide state of the layer.
extern BYTE* m_TxFrame;          // the unstuffed frame being built
extern BYTE* m_TxFramePos;       // its build cursor
extern BYTE* m_TxEncoded;        // the stuffed frame handed to the port
extern BYTE* m_RxBuffer;         // raw bytes of the last read
extern BYTE* m_RxPos;            // read cursor into m_RxBuffer
extern DWORD m_RxAvailable;      // raw bytes that the last read delivered
extern DWORD m_RxConsumed;       // of those, the bytes already consumed
extern int m_ReadPending;        // 1 while a read is outstanding
extern BYTE m_PrevRawByte;       // the last raw byte consumed (escape state)
extern BYTE* m_FrameBuffer;      // the frame being assembled, without start byte
extern BYTE* m_FramePos;         // its write cursor
extern DWORD m_FrameLength;      // unstuffed bytes stored since its start
extern int m_FrameDiscarding;    // 1 while a frame too long for the block is skipped
extern UPDATEFrame m_ReadFrame;  // the last completed frame

// Port management and sending (FramePort.cpp).
class SERIALInterface;
extern SERIALInterface* m_pSerialPort;  // the one port; null when none is open
extern HANDLE m_hReadEvent;             // the port's read event, copied at open
extern HANDLE m_hWriteEvent;            // the port's write event, copied at open
extern OVERLAPPED* m_pReadOverlapped;   // the port's read OVERLAPPED, copied at open

// Opens COM<portNumber>. 1 when the port is open, else 0 (no port remains).
int OpenSerialPort(int portNumber);
void CloseSerialPort();
// The port number of the per-user value "PortNumber", or -1.
int QueryPortNumber();

// Builds the frame (payload part1 then part2), stuffs it and hands it to the
// port. A write that is still outstanding is waited for first, so frames go
// out whole and in order. Returns 1, or 0 when the frame cannot go out: the
// earlier write did not end in time or lost its frame, the port refused the
// write, or the payload does not fit the block. Without a port nothing is
// written and the result is 1. The completion is reported by WaitForEvent
// as EVENT_TRANSMIT_DONE, or as EVENT_ERROR when the frame did not go out
// whole.
int SendFrame(BYTE type, const void* part1, int length1, const void* part2 = nullptr, int length2 = 0);
int SendConnect();

// Starts a read when every received byte is consumed and waits up to the
// time for a read, a write completion or the time-out.
UINT WaitForEvent(DWORD milliseconds);
// The same wait that also ends, with EVENT_WOKEN, when wake (an event, or
// null for none) is signalled. A read or a write completion that is there
// at the same time is reported first; a read stays outstanding.
UINT WaitForEventOr(DWORD milliseconds, HANDLE wake);

// The reason byte of the PtNak that ReadFrame returned last (payload byte
// 4), or NAK_REASON_MISSING when the frame is too short to carry one; that
// value lies above NAK_REASON_MAX, so every session ignores such a frame.
const int NAK_REASON_MISSING = 0x100;
int ReceivedNakReason();

// Allocates the five blocks and resets every cursor and counter; called by
// the UPDATEProtocol object when it is built. FreeFrameBuffers releases them.
void AllocateFrameBuffers();
void FreeFrameBuffers();

// Builds a frame of the given type in m_TxFrame whose payload is part1
// followed by part2. Returns the unstuffed length, or 0 when the payload
// does not fit the block (nothing is built then).
int BuildFrame(BYTE type, const void* part1, int length1, const void* part2 = nullptr, int length2 = 0);

// Writes the stuffed form of an unstuffed frame into m_TxEncoded and returns
// its length.
int EncodeFrame(const BYTE* frame, int length);

// Removes the stuffing from up to count raw bytes at m_RxPos into the frame
// being assembled; stops before a start byte. Returns the bytes stored.
int DecodeBytes(int count);

// Consumes received bytes up to the next start byte and returns the type of
// the frame that they complete, or PtNone while it is incomplete.
UINT ReadFrame();
