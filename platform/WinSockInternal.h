#pragma once

// What the parts of the WinSock layer share: WinSock.cpp (start-up, errors
// and the socket calls), WinSockTable.cpp (the table of the sockets
// registered for notifications), WinSockEvents.cpp (the delivery of their
// messages) and WinSockLookup.cpp (the asynchronous address lookup). Only
// they include it, each before any system header: the option numbers below
// are WinSock's, which the system headers would replace by macros of the
// same names with the system's own values.

#include "platform/WinSock.h"

namespace vornakle::winsock {

inline constexpr int kWinSockSolSocket = SOL_SOCKET;
inline constexpr int kWinSockReuseAddress = SO_REUSEADDR;
inline constexpr int kWinSockAcceptConnections = SO_ACCEPTCONN;
inline constexpr int kWinSockLinger = SO_LINGER;
inline constexpr int kWinSockSendBuffer = SO_SNDBUF;
inline constexpr int kWinSockReceiveBuffer = SO_RCVBUF;
inline constexpr int kWinSockIpProtocolTcp = IPPROTO_TCP;
inline constexpr int kWinSockTcpNoDelay = TCP_NODELAY;
inline constexpr int kWinSockPeek = MSG_PEEK;
inline constexpr int kWinSockInet6 = AF_INET6;

// Errors (WinSock.cpp). SetError makes error the calling thread's last one
// and returns SOCKET_ERROR; MapErrno gives the WinSock number of a system
// one; SetErrnoError sets the one of errno.
int SetError(int error);
int MapErrno(int error);
int SetErrnoError();
// WSAStartup has been called more often than WSACleanup.
bool Started();

// The socket table (WinSockTable.cpp), as the socket calls change it.
// Forgets the socket's registration; its notifiers go with it.
void Unregister(SOCKET socket);
// A connect on the socket has begun; Completed: it ended at once.
void ConnectStarted(SOCKET socket, bool completed);
void ListenStarted(SOCKET socket);
// recv or accept was called: FD_READ or FD_ACCEPT may be posted again.
// Returns the error of a reset that the close notification took from the
// system, which recv goes on reporting (0: none).
int ReadTaken(SOCKET socket);
// The registration a socket event was posted for (its serial) is still the
// socket's.
bool RegistrationCurrent(SOCKET socket, std::uint64_t serial);

// Address lookup (WinSockLookup.cpp): whether the reply of a lookup is
// still wanted; true once at most, which retires the lookup.
bool TakeLookupReply(HANDLE task);

}  // namespace vornakle::winsock
