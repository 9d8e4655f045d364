#pragma once
// The platform's socket headers, for callers that name socket types and
// notification sets (SOCK_DGRAM, FD_READ) when they open a socket, and
// options and ioctl commands (SO_RCVBUF, FIONREAD).
#ifdef _WIN32
#include <winsock2.h>
#else
#include <sys/ioctl.h>
#include <sys/socket.h>
#ifndef FD_READ
#define FD_READ 0x01
#endif
#endif
