// The transfers of TTcpSocket: sending, line reading, captures, Transaction
// and Accept.

#include "net/TcpSocket.h"
#include "net/TransferSupport.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

namespace vornakle {

namespace {

// The reply number of a Transaction is at most this many leading digits.
constexpr std::size_t kMaxReplyDigits = 10;

}  // namespace

int TTcpSocket::SocketReceive(char* Data, int Length, int Flags) {
    const bool peek = (Flags & winsock::MSG_PEEK) != 0;
    const int received = Tls != nullptr && Tls->Established()
                             ? Tls->Receive(Data, Length, peek)
                             : winsock::recv(SocketHandle, Data, Length, Flags);
    if (received > 0 && !peek) {
        ReceivedCount += received;
    }
    return received;
}

bool TTcpSocket::StillOpen() {
    if (!Connected || SocketHandle == winsock::INVALID_SOCKET || ReadAheadHeld() > 0) {
        return false;
    }
    char byte = 0;
    try {
        return SocketReceive(&byte, 1, winsock::MSG_PEEK) == winsock::SOCKET_ERROR &&
               winsock::WSAGetLastError() == winsock::WSAEWOULDBLOCK;
    } catch (const ESockError&) {
        // A fault of the secure connection: it carries nothing more.
        return false;
    }
}

int TTcpSocket::SocketSend(const char* Data, int Length) {
    if (Tls != nullptr && Tls->Established()) {
        return Tls->Send(Data, Length);
    }
    return winsock::send(SocketHandle, Data, Length, 0);
}

int TTcpSocket::SendStallLimit() const {
    return TimeOut > 0 ? TimeOut : kSendStallLimitMilliseconds;
}

bool TTcpSocket::WaitForSendRoom(int Milliseconds) {
    const int result = winsock::WaitWritable(SocketHandle, Milliseconds);
    if (result == winsock::SOCKET_ERROR) {
        std::string text;
        CheckSocketError(winsock::WSAEWOULDBLOCK, text);
    }
    return result == 1;
}

bool TTcpSocket::AwaitSendRoom(SendPace Pace) {
    if (Pace == SendPace::Plain) {
        // Processing no messages here, nothing can end the wait but room to
        // send; a peer that stopped reading would hold it for good, so the
        // wait is bounded and then counts as a time-out.
        return WaitForSendRoom(SendStallLimit());
    }
    // Waits for room in short slices so that messages (a cancel) still come
    // through, and gives up on a peer that has taken nothing for the stall
    // limit.
    const auto stallStart = std::chrono::steady_clock::now();
    while (!Canceled && !WaitForSendRoom(kSendFileWaitSliceMilliseconds)) {
        ProcessMessages(Dispatch::Pending);
        if (std::chrono::steady_clock::now() - stallStart >
            std::chrono::milliseconds(SendStallLimit())) {
            return false;
        }
    }
    return true;
}

bool TTcpSocket::SendAll(const char* Data, std::size_t Length, SendPace Pace) {
    std::size_t remaining = Length;
    while (remaining > 0 && !Canceled) {
        const int sent = SocketSend(Data + (Length - remaining), static_cast<int>(remaining));
        if (sent == 0) {
            break;
        }
        if (sent < 0) {
            std::string text;
            CheckSocketError(winsock::WSAEWOULDBLOCK, text);
            // The socket is full.
            if (!AwaitSendRoom(Pace)) {
                return false;
            }
        } else {
            remaining -= static_cast<std::size_t>(sent);
            if (Pace == SendPace::Progress) {
                AddWrapping(BytesSent, sent);
                if (OnPacketSent) {
                    OnPacketSent(this);
                }
            }
        }
        if (Pace == SendPace::Progress) {
            ProcessMessages(Dispatch::Pending);
        }
    }
    return true;
}

void TTcpSocket::SendBuffer(const char* Data, std::uint16_t Length) {
    ReportStatus(kReportConnection, "Sending Buffer");
    TimerOn();
    ScopeExit timerOff([this] { TimerOff(); });
    bool stalled = false;
    if (!Canceled) {
        std::size_t length = Length;
        if (length == 0) {
            length = strnlen(Data, kBufferSize);
            if (length > std::numeric_limits<std::uint16_t>::max()) {
                throw ERangeError();
            }
        }
        stalled = !SendAll(Data, length, SendPace::Plain);
    }
    if (Canceled || stalled) {
        RaiseAborted("Socket send aborted", stalled || TimedOut);
    }
}

void TTcpSocket::Write(const std::string& Text) {
    ReportStatus(kReportDetail, "Write");
    const std::size_t length = std::min<std::size_t>(Text.size(), kBufferSize);
    std::memcpy(Buffer, Text.data(), length);
    Buffer[length] = '\0';
    SendBuffer(Buffer, 0);
}

void TTcpSocket::Writeln(const std::string& Text) {
    ReportStatus(kReportDetail, "Writeln");
    Write(Text + "\r\n");
}

bool TTcpSocket::ReceiveFailedAtEnd() {
    LastErrorNo = winsock::WSAGetLastError();
    if (LastErrorNo == winsock::WSAENOTCONN) {
        return true;
    }
    std::string text;
    CheckSocketError(winsock::WSAEWOULDBLOCK, text);
    return false;
}

int TTcpSocket::BufferedReceive(char* Data, int Length) {
    const std::size_t held = ReadAheadHeld();
    if (held == 0) {
        return SocketReceive(Data, Length, 0);
    }
    const std::size_t taken = std::min(held, static_cast<std::size_t>(std::max(Length, 0)));
    std::memcpy(Data, ReadAhead.data() + ReadAheadStart, taken);
    ReadAheadStart += taken;
    if (ReadAheadStart == ReadAheadEnd) {
        DropReadAhead();
    }
    return static_cast<int>(taken);
}

std::string TTcpSocket::ReadLn() {
    ReportStatus(kReportDetail, "ReadLn");
    if (ReadAhead.empty()) {
        ReadAhead.resize(kBufferSize);
    }
    // The time-out runs only while the line waits for the network: a line
    // already received needs none, and arming a timer for it would cost
    // more than the line.
    bool timerArmed = false;
    ScopeExit timerOff([&] {
        if (timerArmed) {
            TimerOff();
        }
    });
    if (TimeOut < 0) {
        throw ERangeError();
    }
    TimedOut = false;
    // The bytes read ahead hold no line end before this many.
    std::size_t searched = 0;
    // A piece of a line came in: messages (a cancel) get their turn before
    // the next receive, as in a stream that never pauses.
    bool progressed = false;
    for (;;) {
        const char* held = ReadAhead.data() + ReadAheadStart;
        const void* found = std::memchr(held + searched, '\n', ReadAheadHeld() - searched);
        if (found != nullptr) {
            if (Canceled) {
                // A cancel ends the read even when the line has come: the
                // line stays for a later read.
                RaiseAborted("Socket readln aborted", TimedOut);
            }
            const std::size_t length =
                static_cast<std::size_t>(static_cast<const char*>(found) - held) + 1;
            std::string line(held, length);
            ReadAheadStart += length;
            if (ReadAheadStart == ReadAheadEnd) {
                DropReadAhead();
            }
            return line;
        }
        searched = ReadAheadHeld();
        if (Canceled) {
            // The unfinished line is given up with the read.
            DropReadAhead();
            RaiseAborted("Socket readln aborted", TimedOut);
        }
        if (searched >= static_cast<std::size_t>(kBufferSize)) {
            throw ELineTooLong();
        }
        if (progressed) {
            progressed = false;
            ProcessMessages(Dispatch::Pending);
            continue;
        }
        if (ReadAheadStart > 0) {
            std::memmove(ReadAhead.data(), held, searched);
            ReadAheadStart = 0;
            ReadAheadEnd = searched;
        }
        const int received = SocketReceive(ReadAhead.data() + ReadAheadEnd,
                                           kBufferSize - static_cast<int>(ReadAheadEnd), 0);
        if (received == 0) {
            // The peer closed: an unfinished line is dropped.
            DropReadAhead();
            return std::string();
        }
        if (received > 0) {
            ReadAheadEnd += static_cast<std::size_t>(received);
            progressed = true;
            continue;
        }
        if (ReceiveFailedAtEnd()) {
            // 10057: the peer's close was handled while no data was waiting
            // and the socket was replaced. That is the end of the stream, met
            // the other way round, so it ends the same way as recv returning
            // 0: an empty line, the bytes of an unfinished line dropped.
            DropReadAhead();
            return std::string();
        }
        if (!timerArmed) {
            TimerOn();
            timerArmed = true;
        }
        ProcessMessages(Dispatch::Blocking);
    }
}

std::string TTcpSocket::Transaction(const std::string& Command) {
    ReportStatus(kReportDetail, "Transaction");
    ReplyNumber = 0;
    Writeln(Command);
    LastReply = ReadLn();
    if (!LastReply.empty()) {
        ReportStatus(kReportReply, LastReply);
        std::size_t digits = 0;
        while (digits < LastReply.size() && digits < kMaxReplyDigits && LastReply[digits] >= '0' &&
               LastReply[digits] <= '9') {
            ++digits;
        }
        if (digits > 0) {
            const long long value = std::stoll(LastReply.substr(0, digits));
            if (value <= std::numeric_limits<std::int32_t>::max()) {
                if (value > std::numeric_limits<std::int16_t>::max()) {
                    throw ERangeError();
                }
                ReplyNumber = static_cast<std::int16_t>(value);
            }
        }
    }
    return LastReply;
}

void TTcpSocket::SendFile(const std::string& FileName) {
    ReportStatus(kReportDetail, "SendFile");
    FileHandle file(std::fopen(FileName.c_str(), "rb"));
    if (!file) {
        throw FileFailure(FileStep::Open, FileName);
    }
    bool stalled = false;
    while (!Canceled && !stalled) {
        const std::size_t got = std::fread(Buffer, 1, kBufferSize, file.get());
        if (std::ferror(file.get())) {
            throw FileFailure(FileStep::Read, FileName);
        }
        stalled = !SendAll(Buffer, got, SendPace::Progress);
        if (got < static_cast<std::size_t>(kBufferSize) || std::feof(file.get())) {
            break;
        }
    }
    file.reset();
    if (Canceled || stalled) {
        // SendFile arms no time-out: only its own stall limit ends it so.
        RaiseAborted("Socket send aborted", stalled);
    }
}

void TTcpSocket::ReceiveStream(const TReceiveTarget& Target) {
    std::int64_t remaining = Target.Length;
    while (!Canceled && remaining != 0 && (!Target.WantsMore || Target.WantsMore())) {
        int wanted = kBufferSize;
        if (remaining > 0 && remaining < wanted) {
            wanted = static_cast<int>(remaining);
        }
        const int got = BufferedReceive(Buffer, wanted);
        bool idle = false;
        if (got == 0) {
            break;
        }
        if (got > 0) {
            const bool restartTimeOut = Target.Take(got);
            AddWrapping(BytesRecvd, got);
            if (remaining > 0) {
                remaining -= got;
            }
            if (OnPacketRecvd) {
                OnPacketRecvd(this);
            }
            // The time-out limits idle time, not the whole capture.
            if (restartTimeOut) {
                TimerOn();
            }
        } else {
            if (ReceiveFailedAtEnd()) {
                break;
            }
            idle = true;
        }
        if (remaining != 0) {
            ProcessMessages(idle ? Dispatch::Blocking : Dispatch::Pending);
        }
    }
}

void TTcpSocket::CaptureFile(const std::string& FileName) {
    ReportStatus(kReportDetail, "CaptureFile");
    BytesRecvd = 0;
    TimerOn();
    {
        ScopeExit timerOff([this] { TimerOff(); });
        OutputFile file(FileName);
        TReceiveTarget target;
        target.Take = [&](int Got) {
            file.Write(Buffer, static_cast<std::size_t>(Got));
            return true;
        };
        ReceiveStream(target);
        file.Close();
    }
    if (Canceled) {
        RaiseAborted("Socket send aborted", TimedOut);
    }
}

void TTcpSocket::CaptureString(std::string& Dest, std::int32_t MaxLength) {
    ReportStatus(kReportDetail, "Capture String");
    Dest.clear();
    BytesRecvd = 0;
    TimerOn();
    {
        ScopeExit timerOff([this] { TimerOff(); });
        TReceiveTarget target;
        // Tested before each receive, which may take more: Dest is not cut.
        target.WantsMore = [&] {
            return MaxLength == -1 || static_cast<std::int64_t>(Dest.size()) < MaxLength;
        };
        target.Take = [&](int Got) {
            Dest.append(Buffer, static_cast<std::size_t>(Got));
            return true;
        };
        ReceiveStream(target);
    }
    if (Canceled) {
        RaiseAborted("Socket capture aborted", TimedOut);
    }
}

bool TTcpSocket::DataAvailable() {
    ReportStatus(kReportDetail, "Data Available");
    if (ReadAheadHeld() > 0) {
        return true;
    }
    if (Tls != nullptr && Tls->Established()) {
        return Tls->DataWaiting();
    }
    return winsock::recv(SocketHandle, Buffer, 1, winsock::MSG_PEEK) >= 1;
}

std::uint16_t TTcpSocket::Accept() {
    ReportStatus(kReportConnection, "Accepting");
    // An incoming connection ends the wait too: without it, nothing but a
    // cancel or an abort would, and a connection could never be taken.
    while (!AsyncDone && !Canceled && !AcceptPending) {
        ProcessMessages(Dispatch::Blocking);
    }
    if (Canceled) {
        throw ESockError("Accepting Canceled", SockFailure::Canceled);
    }
    if (!Succeeded) {
        throw ESockError("Error creating Data Connection", SockFailure::ConnectFailed);
    }
    AcceptPending = false;
    winsock::sockaddr_in address{};
    int length = sizeof address;
    const winsock::SOCKET accepted =
        winsock::accept(SocketHandle, reinterpret_cast<winsock::sockaddr*>(&address), &length);
    if (accepted == winsock::INVALID_SOCKET) {
        std::string text;
        CheckSocketError(winsock::WSAEWOULDBLOCK, text);
        // Nothing was pending after all: no handle to give.
        throw ERangeError();
    }
    winsock::WSAAsyncSelect(accepted, WindowHandle.get(), WM_SOCKET_EVENT, kSocketEvents);
    RemoteAddress = address;
    return accepted;
}

}  // namespace vornakle
