/* Tarnlink: the serial link library's C interface.
 *
 * One port object per process; every function works on it. The df functions
 * return 0 for success and 1 for failure, the others a boolean. Nothing here
 * ever shows a message. Not thread-safe: call from one thread only. */
#ifndef TARNLINK_H
#define TARNLINK_H

#include <stdint.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif

#if defined(_WIN32)
#define TARNLINK_API __declspec(dllexport)
#else
#define TARNLINK_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The names are the interface that callers bind by name, leading underscores
 * included. */
/* NOLINTBEGIN(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp) */

/* The library's version: always 0x1000 (shown as "1.00"). */
TARNLINK_API int dfGetDllVersion(void);

/* Opens port COMn (n = 1..16; see the README for where COMn lives on Linux)
 * exclusively and sets it up: raw 8 data bits, no parity, one stop bit at
 * baud_rate, every later read bounded by 2 s. Returns 1 when no port was
 * open and the device cannot be opened (missing, busy, not a terminal, n out
 * of range), or when the port is open already (it stays as it is). Returns 1
 * also when the baud rate or the time-out is refused after the open: the
 * port is then left OPEN, and dfComSetClose() releases it. 0 on success. */
TARNLINK_API int dfComSetReady(int baud_rate, int port_number);

/* Closes the open port, discarding output that has not left; always 0, also
 * when no port was open. */
TARNLINK_API int dfComSetClose(void);

/* Sets the open port's rate (any rate the driver makes within 2 %) and again
 * 8N1. 1 when no port is open or the driver refuses; the line is then as it
 * was. */
TARNLINK_API int dfComSetBaudRate(int baud_rate);

/* Replaces the open port's whole time-out set by a read interval of
 * interval_100ms x 100 ms (the read total time-out becomes 0); the set kept
 * for the next open is not changed. 1 when no port is open or the value is
 * negative or too large. */
TARNLINK_API int dfComSetTimeout1(int interval_100ms);

/* As dfComSetTimeout1, for a read total time-out of total_seconds (the read
 * interval becomes 0). */
TARNLINK_API int dfComSetTimeout2(int total_seconds);

/* Closes any open port, starts afresh with a new port object, and opens
 * COM1 (port_name is not used), then applies baud_rate and the time-outs,
 * ignoring their results. True when COM1 opened; it then stays open. */
TARNLINK_API bool _PortInitial(const char *port_name, int baud_rate, int interval_100ms,
                               int total_seconds);

/* Closes the open port. True when it was open, or when no port was ever
 * opened; false for a port that is closed already or whose open failed. */
TARNLINK_API bool _PortClose(void);

/* dfComSetBaudRate as a boolean: true when the open port took the rate. */
TARNLINK_API bool _SetBaudRate(int baud_rate);

/* Sets the read interval (100 ms units) and read total time-out (seconds)
 * of the open port and keeps them for the next open. False, with nothing
 * changed, when no port is open or a value is negative or too large. */
TARNLINK_API bool _SetTimeouts(int interval_100ms, int total_seconds);

/* Builds the command block [n][address][high_nibble*16+low_nibble][n
 * params][checksum] (n + 4 bytes, the checksum making the 8-bit sum zero)
 * into block_out and its length into *length_out. Returns 1, writing
 * nothing, for n above 251 or a null pointer (params may be null when n is
 * 0); block_out must hold n + 4 bytes. Opens and sends nothing. */
TARNLINK_API int dfComMakeData(uint8_t n, uint8_t address, uint8_t low_nibble, uint8_t high_nibble,
                               const uint8_t *params, uint8_t *block_out, int *length_out);

/* One exchange on the open port: sends the command block (4..255 bytes)
 * with the ENQ/EOT/ACK/NAK handshake and reads the response block
 * [M][header][header][M data][checksum] into response, which must hold the
 * largest, 259 bytes. Each handshake is tried up to retry_limit + 1 times.
 * True when a response with a good checksum was read and acknowledged;
 * false on a bad argument, no open port, time-outs, too many retries or a
 * lost line (response may then hold part of a reply). The port stays open
 * either way. */
TARNLINK_API bool _CommLoop(const uint8_t *block, int block_length, uint8_t *response,
                            int retry_limit);

/* dfComMakeData, then _CommLoop, from the bytes the pointers point to:
 * 0 when the exchange succeeded, 1 otherwise. owner_window and reserved are
 * not used. */
TARNLINK_API int dfComCommunication(void *owner_window, const uint8_t *n, const uint8_t *address,
                                    const uint8_t *low_nibble, const uint8_t *high_nibble,
                                    const uint8_t *params, uint8_t *response, int retry_limit,
                                    int *reserved);

/* NOLINTEND(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp) */

#ifdef __cplusplus
}
#endif

#endif
